#include "gui/render/brelvik_view.h"

#include <QMetaObject>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPainter>
#include <QSurfaceFormat>

#include <GL/gl.h>
#include <GL/glu.h>

#include <mutex>

#include "post/sampling_plane.h"
#include "gui/render/render_math.h"
#include "gui/render/volume_outline.h"
#include "state/simulation_state.h"
#include "state/view_snapshot.h"

namespace brelvik {

QSurfaceFormat CBrelvikView::viewFormat() {
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  format.setVersion(2, 1);
  format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
  format.setRedBufferSize(8);
  format.setGreenBufferSize(8);
  format.setBlueBufferSize(8);
  format.setDepthBufferSize(24);
  return format;
}

CBrelvikView::CBrelvikView(SimulationState& s, QWidget* parent)
    : QOpenGLWidget(parent), state_(s) {
  setFormat(viewFormat());
  setMinimumSize(200, 150);
  // The callback runs on whichever thread asks; it only posts the update.
  // A call queued before this view is destroyed is dropped by Qt because
  // `this` is the context object.
  state_.setRepaintCallback([this] { requestRepaint(); });
}

CBrelvikView::~CBrelvikView() {
  // After this no thread can reach the view through the state any more.
  state_.setRepaintCallback({});
  if (sphereQuadric_) {
    makeCurrent();
    gluDeleteQuadric(sphereQuadric_);
    sphereQuadric_ = nullptr;
    doneCurrent();
  }
}

void CBrelvikView::requestRepaint() {
  QMetaObject::invokeMethod(this, [this] { update(); }, Qt::QueuedConnection);
}

int CBrelvikView::shownParts() const {
  const SimulationState& s = state_;
  int parts = 0;
  if (s.showMinMax == 1) parts |= kSnapshotRanges;
  if (s.displayMode == 2 && s.coefficientPlotOn == 1) parts |= kSnapshotHistory;
  if (s.displayMode == 1 &&
      (s.samplingPlane.showComputed == 1 || s.samplingPlane.showInterpolated == 1))
    parts |= kSnapshotVelocity;
  return parts;
}

void CBrelvikView::initializeGL() {
  if (!sphereQuadric_) sphereQuadric_ = gluNewQuadric();
}

void CBrelvikView::resizeGL(int, int) {}

void CBrelvikView::resetFixedFunctionState() {
  if (QOpenGLContext* ctx = QOpenGLContext::currentContext()) {
    QOpenGLFunctions* f = ctx->functions();
    f->glUseProgram(0);
    f->glBindBuffer(GL_ARRAY_BUFFER, 0);
    f->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    f->glActiveTexture(GL_TEXTURE0);
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_STENCIL_TEST);
  glDisable(GL_CULL_FACE);
  glDepthMask(GL_TRUE);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glLineWidth(1.0f);
  // Every frame starts from identity matrices, with the model-view matrix
  // current; the scene keeps its own changes inside a push/pop pair.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void CBrelvikView::paintGL() {
  // GL works in device pixels, the overlays in the widget's logical pixels.
  const qreal ratio = devicePixelRatioF();
  const int W = width(), H = height();
  const int Wd = static_cast<int>(W * ratio), Hd = static_cast<int>(H * ratio);
  const int S = (W / 3) * 2;
  const int Sd = (Wd / 3) * 2;

  snapshot_ = currentViewSnapshot(state_, shownParts());
  resetFixedFunctionState();
  // The whole window starts white, as an erased window background would.
  glViewport(0, 0, Wd, Hd);
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  if (state_.displayMode == 1) renderScene(Sd, Hd);

  const bool plot = state_.displayMode == 2 && state_.coefficientPlotOn == 1;
  const bool legend = state_.showMinMax == 1;
  if (!plot && !legend) return;

  // The overlays cover the whole window and must not be lit or depth tested.
  glViewport(0, 0, Wd, Hd);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  QPainter painter(this);
  // Centres one-pixel lines on the pixels their integer coordinates name
  // (the GL paint engine would otherwise round them up and to the left).
  painter.translate(0.5, 0.5);
  if (plot) drawCoefficientPlot(painter, S, H);
  if (legend) drawLegend(painter, S, H);
}

void CBrelvikView::renderScene(int S, int H) {
  if (S <= 0 || H <= 0) return;
  const SimulationState& s = state_;
  const GLfloat lightPosition[4] = {1.0f, 1.5f, 6.0f, 1.0f};

  glViewport(0, 0, S, H);
  glPushMatrix();
  const double aspect = static_cast<double>(static_cast<float>(S) / static_cast<float>(H));
  glOrtho(-5.0 * aspect, 5.0 * aspect, -5.0, 5.0, 0.0, 40.0);
  glTranslatef(s.shiftX, s.shiftY, s.shiftZ - 20.0f);
  glScalef(s.zoom, s.zoom, s.zoom);

  glEnable(GL_DEPTH_TEST);
  glClear(GL_DEPTH_BUFFER_BIT);
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);

  glEnable(GL_LIGHTING);
  glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
  glEnable(GL_LIGHT0);
  glEnable(GL_COLOR_MATERIAL);
  // The projection sits on the model-view stack, so normals reach the
  // lighting stage scaled by up to 20 (the depth range); unnormalised they
  // saturate every lit surface to white. Renormalising keeps the shading.
  glEnable(GL_NORMALIZE);

  glRotatef(s.rotX, 1.0f, 0.0f, 0.0f);
  glRotatef(s.rotY, 0.0f, 1.0f, 0.0f);
  glRotatef(s.rotZ, 0.0f, 0.0f, 1.0f);

  drawSphere();

  const int count = std::min<int>(s.volumeCount, static_cast<int>(s.volumes.size()));
  if (s.volumesMode == 2) {
    for (int n = 0; n < count; ++n) drawVolumeOutline(n);
  }
  if (s.gridMode == 2) {
    for (int n = 0; n < count; ++n) drawGridPoints(n);
  }
  if (s.samplingPlane.showComputed == 1) {
    const float scale = static_cast<float>(s.samplingPlane.computedScale);
    for (int n = 0; n < count; ++n) drawNodeVectors(n, scale);
  }
  if (s.samplingPlane.showInterpolated == 1) drawInterpolatedField();
  if (s.showStreamlines == 1) drawStreamlines();

  glPopMatrix();
}

void CBrelvikView::drawSphere() {
  const int mode = state_.sphereMode;
  if ((mode != 2 && mode != 3) || !sphereQuadric_) return;
  if (mode == 2) {
    glColor3f(0.0f, 0.0f, 0.0f);
  } else {
    const float grey = colourComponent(192.0f);
    glColor3f(grey, grey, grey);
  }
  glPushMatrix();
  // The quadric's poles lie on its z axis; turned onto the y axis.
  glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
  gluQuadricDrawStyle(sphereQuadric_, mode == 2 ? GLU_LINE : GLU_FILL);
  gluSphere(sphereQuadric_, 0.5, 20, 20);
  glPopMatrix();
}


void CBrelvikView::drawVolumeOutline(int volume) {
  const FiniteVolume& vol = state_.volumes[static_cast<size_t>(volume)];
  glColor3f(colourComponent(static_cast<float>(vol.color[0])),
            colourComponent(static_cast<float>(vol.color[1])),
            colourComponent(static_cast<float>(vol.color[2])));
  const std::vector<OutlineSegment> segments = volumeOutline(vol);
  glBegin(GL_LINES);
  for (const OutlineSegment& seg : segments) {
    glVertex3f(static_cast<float>(seg.a[0]), static_cast<float>(seg.a[1]),
               static_cast<float>(seg.a[2]));
    glVertex3f(static_cast<float>(seg.b[0]), static_cast<float>(seg.b[1]),
               static_cast<float>(seg.b[2]));
  }
  glEnd();
}

namespace {

// The grid points shown for a volume: the middle k layer, computed points
// only; the volumes with index 1 and 3 show none. Calls f(n) per point.
template <class F>
void forShownLayer(const FiniteVolume& vol, F&& f) {
  if (vol.index == 1 || vol.index == 3) return;
  const int k = vol.Nz / 2;
  const size_t points = vol.type_point.size();
  for (int i = 0; i <= vol.Nx; ++i) {
    for (int j = 0; j <= vol.Ny; ++j) {
      const int n = pointIndex(vol, i, j, k);
      if (n < 0 || static_cast<size_t>(n) >= points) continue;
      if (vol.type_point[static_cast<size_t>(n)] != kPointComputed) continue;
      if (3 * static_cast<size_t>(n) + 2 >= vol.point_glob.size()) continue;
      f(static_cast<size_t>(n));
    }
  }
}

}  // namespace

void CBrelvikView::drawGridPoints(int volume) {
  const FiniteVolume& vol = state_.volumes[static_cast<size_t>(volume)];
  glPointSize(1.0f);
  glColor3f(0.0f, 0.0f, 0.0f);
  glBegin(GL_POINTS);
  forShownLayer(vol, [&](size_t n) {
    const double* p = &vol.point_glob[3 * n];
    glVertex3f(static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2]));
  });
  glEnd();
}

void CBrelvikView::drawNodeVectors(int volume, float scale) {
  const FiniteVolume& vol = state_.volumes[static_cast<size_t>(volume)];
  const ViewSnapshot& snap = *snapshot_;
  if (snap.volumesGeneration != state_.volumesGeneration.load() ||
      static_cast<size_t>(volume) >= snap.uGlob.size())
    return;
  const std::vector<double>& u = snap.uGlob[static_cast<size_t>(volume)];
  const std::vector<double>& v = snap.vGlob[static_cast<size_t>(volume)];
  const std::vector<double>& w = snap.wGlob[static_cast<size_t>(volume)];
  glDisable(GL_LIGHTING);
  glColor3f(0.0f, 0.0f, 0.0f);
  const size_t points = vol.type_point.size();
  if (u.size() >= points && v.size() >= points && w.size() >= points) {
    glBegin(GL_LINES);
    forShownLayer(vol, [&](size_t n) {
      const double* p = &vol.point_glob[3 * n];
      const float x = static_cast<float>(p[0]), y = static_cast<float>(p[1]),
                  z = static_cast<float>(p[2]);
      glVertex3f(x, y, z);
      glVertex3f(x + scale * static_cast<float>(u[n]), y + scale * static_cast<float>(v[n]),
                 z + scale * static_cast<float>(w[n]));
    });
    glEnd();
  }
  glEnable(GL_LIGHTING);
}


// Vectors at the sampling plane's samples, formed from the snapshot's flow
// through the stencils of "Вычислить". Stencils computed on volumes that
// have since been rebuilt or replaced are not used.
void CBrelvikView::drawInterpolatedField() {
  SimulationState& s = state_;
  const ViewSnapshot& snap = *snapshot_;
  glDisable(GL_LIGHTING);
  glColor3f(0.0f, 0.0f, 0.0f);
  if (samplingPlaneValid(s) && snap.volumesGeneration == s.volumesGeneration.load()) {
    VolumeVelocities velocity;
    for (size_t n = 0; n < snap.uGlob.size(); ++n)
      velocity.push_back({&snap.uGlob[n], &snap.vGlob[n], &snap.wGlob[n]});
    const SamplingPlane& p = s.samplingPlane;
    sampleVelocitiesOf(p, velocity, sampleU_, sampleV_, sampleW_);
    const size_t samples = std::min({static_cast<size_t>(p.iMax + 1) * static_cast<size_t>(p.jMax + 1),
                                     p.donorVolume.size(), p.positions.size() / 3, sampleU_.size(),
                                     sampleV_.size(), sampleW_.size()});
    const float scale = static_cast<float>(p.interpolatedScale);
    glBegin(GL_LINES);
    for (size_t n = 0; n < samples; ++n) {
      if (p.donorVolume[n] == -1) continue;
      const float x = static_cast<float>(p.positions[3 * n]);
      const float y = static_cast<float>(p.positions[3 * n + 1]);
      const float z = static_cast<float>(p.positions[3 * n + 2]);
      glVertex3f(x, y, z);
      glVertex3f(x + scale * static_cast<float>(sampleU_[n]),
                 y + scale * static_cast<float>(sampleV_[n]),
                 z + scale * static_cast<float>(sampleW_[n]));
    }
    glEnd();
  }
  glEnable(GL_LIGHTING);
}

void CBrelvikView::drawStreamlines() {
  SimulationState& s = state_;
  glDisable(GL_LIGHTING);
  glColor3f(0.0f, 0.0f, 0.0f);
  {
    // The streamline thread appends to these rows; the lock keeps a row from
    // being reallocated while it is read.
    std::lock_guard<std::mutex> lock(s.seriesMutex);
    const int rows = std::min({s.lineX.rowCount(), s.lineY.rowCount(), s.lineZ.rowCount()});
    const int current = s.currentLine.load();
    auto drawLine = [&](int m, int points) {
      if (m < 0 || m >= rows) return;
      const ValueSeries& X = s.lineX.row(m);
      const ValueSeries& Y = s.lineY.row(m);
      const ValueSeries& Z = s.lineZ.row(m);
      points = std::min({points, X.size(), Y.size(), Z.size()});
      if (points < 2) return;
      glBegin(GL_LINES);
      for (int n = 0; n + 1 < points; ++n) {
        glVertex3f(static_cast<float>(X.item(n)), static_cast<float>(Y.item(n)),
                   static_cast<float>(Z.item(n)));
        glVertex3f(static_cast<float>(X.item(n + 1)), static_cast<float>(Y.item(n + 1)),
                   static_cast<float>(Z.item(n + 1)));
      }
      glEnd();
    };
    for (int m = 0; m < current && m < rows; ++m) drawLine(m, s.lineX.row(m).size());
    drawLine(current, s.currentLinePoints.load());
  }
  glEnable(GL_LIGHTING);
}

void CBrelvikView::drawLegend(QPainter& p, int S, int H) {
  p.setPen(Qt::black);
  // Text cells are painted with the window's white background, so a label
  // written over a right-aligned number hides only its leading blanks.
  p.setBackgroundMode(Qt::OpaqueMode);
  p.setBackground(Qt::white);
  p.drawLine(S, 0, S, H);
  const int x = S + 5;
  for (const LegendText& t : legendTexts(*snapshot_)) {
    p.drawText(QRect(x, t.y, 10000, 100), Qt::AlignLeft | Qt::AlignTop,
               QString::fromUtf8(t.text.c_str()));
  }
}

void CBrelvikView::drawCoefficientPlot(QPainter& p, int S, int H) {
  const PlotLayout plot =
      coefficientPlotLayout(snapshot_->historyTime, snapshot_->historyCx, S, H);
  if (!plot.drawn) return;
  p.setPen(Qt::black);
  p.setBackgroundMode(Qt::OpaqueMode);
  p.setBackground(Qt::white);
  for (const PlotLine& l : plot.axes) p.drawLine(l.x1, l.y1, l.x2, l.y2);
  for (const PlotLabel& l : plot.labels) {
    p.drawText(QRect(l.x, l.y, 10000, 100), Qt::AlignLeft | Qt::AlignTop,
               QString::fromUtf8(l.text.c_str()));
  }
  for (const PlotLine& l : plot.curve) p.drawLine(l.x1, l.y1, l.x2, l.y2);
}

}  // namespace brelvik
