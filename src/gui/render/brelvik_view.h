#pragma once
// The main window's view: an OpenGL picture of the sphere, the volume
// outlines, grid points, velocity vectors and streamlines in the left two
// thirds, with the legend and the drag-history plot painted over it.
//
// Drawing uses the fixed-function pipeline (OpenGL 1.1 + GLU) in a
// compatibility context. Worker threads never touch the view: they call
// SimulationState::requestRepaint(), which this view answers with a queued
// update() on the GUI thread. Flow values, coefficients and histories come
// from a ViewSnapshot (state/view_snapshot.h), never from the live arrays.

#include <QOpenGLWidget>

#include <memory>
#include <vector>

class QPainter;
struct GLUquadric;

namespace brelvik {

struct SimulationState;
struct ViewSnapshot;

class CBrelvikView : public QOpenGLWidget {
  Q_OBJECT
 public:
  explicit CBrelvikView(brelvik::SimulationState& s, QWidget* parent = nullptr);
  ~CBrelvikView() override;

  SimulationState& state() const { return state_; }

  // Asks for a repaint; callable from any thread (queued to the GUI thread).
  void requestRepaint();

  // The format the view asks for: compatibility profile, double buffered,
  // RGB 8-8-8, depth 24 (the widest depth every driver offers).
  static QSurfaceFormat viewFormat();

 protected:
  void initializeGL() override;
  void paintGL() override;
  void resizeGL(int w, int h) override;

 private:
  // The ViewSnapshotPart bits the current display switches draw.
  int shownParts() const;
  // The 3-D scene into a viewport S x H device pixels (left part).
  void renderScene(int S, int H);
  void drawSphere();
  void drawVolumeOutline(int volume);
  void drawGridPoints(int volume);
  void drawNodeVectors(int volume, float scale);
  void drawInterpolatedField();
  void drawStreamlines();
  // Puts back the fixed-function state that QPainter's engine may have
  // changed in the previous frame.
  void resetFixedFunctionState();

  void drawLegend(QPainter& p, int S, int H);
  void drawCoefficientPlot(QPainter& p, int S, int H);

  SimulationState& state_;
  // The flow as of the latest pass boundary, taken at the start of each
  // frame; nothing in a frame reads the arrays the solver writes.
  std::shared_ptr<const ViewSnapshot> snapshot_;
  // Velocity at the sampling plane's samples, formed from the snapshot.
  std::vector<double> sampleU_, sampleV_, sampleW_;
  GLUquadric* sphereQuadric_ = nullptr;
};

}  // namespace brelvik
