#pragma once
// "Поле скоростей": switches the velocity vectors at the grid points on and
// off and sets their length factor; defines the sampling plane (corners,
// lattice counts, orientation) and computes its stencils ("Вычислить");
// switches the interpolated vectors on the plane on and off and sets their
// length factor; exports the plane's fields ("Winsurf").

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace brelvik {

struct SimulationState;

class CVelocityField : public QDialog {
  Q_OBJECT
 public:
  explicit CVelocityField(SimulationState& s, QWidget* parent = nullptr);

  // The folder below which "Winsurf" writes (the working directory unless a
  // caller says otherwise).
  void setExportDirectory(const QString& dir) { exportDir_ = dir; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void fill();
  void choosePlane(int plane);
  void applyReadOnlyRule();
  // "<-" / "->" of a length factor: steps of 0.1 in single precision; a
  // decrease that would not stay above 0 keeps the value read.
  void stepScale(QLineEdit* edit, double& scale, bool add);
  void computePlane();
  void exportPlane();
  void toggleInterpolated();

  SimulationState& s_;
  QString exportDir_;
  QCheckBox* showComputed_ = nullptr;
  QLineEdit* computedScale_ = nullptr;
  QLineEdit* corner_[6] = {};    // x1 y1 z1 x2 y2 z2
  QLineEdit* counts_[3] = {};    // Nx Ny Nz
  QCheckBox* planeBox_[3] = {};  // XY XZ YZ
  QCheckBox* showInterpolated_ = nullptr;
  QLineEdit* interpolatedScale_ = nullptr;
};

}  // namespace brelvik
