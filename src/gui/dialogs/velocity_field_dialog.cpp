#include "gui/dialogs/velocity_field_dialog.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/app/dialog_support.h"
#include "gui/app/error_text.h"
#include "gui/app/number_text.h"
#include "grid/geometry.h"
#include "post/sampling_plane.h"
#include "state/simulation_state.h"

namespace brelvik {

CVelocityField::CVelocityField(SimulationState& s, QWidget* parent)
    : QDialog(parent), s_(s), exportDir_(QDir::currentPath()) {
  setObjectName(QStringLiteral("CVelocityField"));
  setWindowTitle(QStringLiteral("Поле скоростей"));
  auto* layout = new QVBoxLayout(this);

  // Vectors at the grid points.
  {
    auto* box = new QGroupBox(QStringLiteral("Расчётное поле скоростей"), this);
    auto* row = new QHBoxLayout(box);
    showComputed_ = makeCheck(1009, QStringLiteral("Показать"), box);
    computedScale_ = makeEdit(1000, box, kNumberEditWidth);
    QPushButton* less = makeButton(1017, QStringLiteral("<-"), box);
    QPushButton* more = makeButton(1018, QStringLiteral("->"), box);
    row->addWidget(showComputed_);
    row->addWidget(less);
    row->addWidget(computedScale_);
    row->addWidget(more);
    connect(showComputed_, &QCheckBox::clicked, this, [this](bool on) {
      s_.samplingPlane.showComputed = on ? 1 : 0;
      s_.requestRepaint();
    });
    connect(less, &QPushButton::clicked, this,
            [this] { stepScale(computedScale_, s_.samplingPlane.computedScale, false); });
    connect(more, &QPushButton::clicked, this,
            [this] { stepScale(computedScale_, s_.samplingPlane.computedScale, true); });
    layout->addWidget(box);
  }

  // The plane.
  {
    auto* box = new QGroupBox(this);
    auto* grid = new QGridLayout(box);
    const char* cornerLabels[6] = {"x1", "y1", "z1", "x2", "y2", "z2"};
    const int cornerIds[6] = {1014, 1015, 1016, 1019, 1020, 1021};
    for (int c = 0; c < 6; ++c) {
      corner_[c] = makeEdit(cornerIds[c], box, kNumberEditWidth);
      grid->addWidget(new QLabel(QString::fromLatin1(cornerLabels[c]), box), c / 3, (c % 3) * 2);
      grid->addWidget(corner_[c], c / 3, (c % 3) * 2 + 1);
    }
    const char* countLabels[3] = {"Nx", "Ny", "Nz"};
    const int countIds[3] = {1026, 1027, 1028};
    for (int c = 0; c < 3; ++c) {
      counts_[c] = makeEdit(countIds[c], box, kNumberEditWidth);
      grid->addWidget(new QLabel(QString::fromLatin1(countLabels[c]), box), 2, c * 2);
      grid->addWidget(counts_[c], 2, c * 2 + 1);
    }
    const char* planeLabels[3] = {"XY", "XZ", "YZ"};
    const int planeIds[3] = {1010, 1011, 1012};
    auto* planes = new QHBoxLayout;
    for (int p = 0; p < 3; ++p) {
      planeBox_[p] = makeCheck(planeIds[p], QString::fromLatin1(planeLabels[p]), box);
      planes->addWidget(planeBox_[p]);
      connect(planeBox_[p], &QCheckBox::clicked, this, [this, p] { choosePlane(p + 1); });
    }
    QPushButton* compute = makeButton(1022, QStringLiteral("Вычислить"), box);
    QPushButton* winsurf = makeButton(1023, QStringLiteral("Winsurf"), box);
    planes->addStretch(1);
    planes->addWidget(compute);
    planes->addWidget(winsurf);
    grid->addLayout(planes, 3, 0, 1, 6);
    connect(compute, &QPushButton::clicked, this, &CVelocityField::computePlane);
    connect(winsurf, &QPushButton::clicked, this, &CVelocityField::exportPlane);
    layout->addWidget(box);
  }

  // Vectors on the plane.
  {
    auto* box = new QGroupBox(QStringLiteral("Интерполяционное поле скоростей"), this);
    auto* row = new QHBoxLayout(box);
    showInterpolated_ = makeCheck(1013, QStringLiteral("Показать"), box);
    interpolatedScale_ = makeEdit(1001, box, kNumberEditWidth);
    QPushButton* less = makeButton(1024, QStringLiteral("<-"), box);
    QPushButton* more = makeButton(1025, QStringLiteral("->"), box);
    row->addWidget(showInterpolated_);
    row->addWidget(less);
    row->addWidget(interpolatedScale_);
    row->addWidget(more);
    connect(showInterpolated_, &QCheckBox::clicked, this, &CVelocityField::toggleInterpolated);
    connect(less, &QPushButton::clicked, this,
            [this] { stepScale(interpolatedScale_, s_.samplingPlane.interpolatedScale, false); });
    connect(more, &QPushButton::clicked, this,
            [this] { stepScale(interpolatedScale_, s_.samplingPlane.interpolatedScale, true); });
    layout->addWidget(box);
  }

  layout->addLayout(rightAlignedRow({makeOkButton(this)}));
}

void CVelocityField::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  setWindowTitle(QStringLiteral("Поле скоростей"));
  fill();
}

void CVelocityField::fill() {
  SamplingPlane& p = s_.samplingPlane;
  // Stencils computed on volumes that were rebuilt or replaced since are of
  // no use: the plane counts as not computed and its vectors are off.
  if (!samplingPlaneValid(s_)) p.showInterpolated = 0;
  computedScale_->setText(cFormat("%.1f", p.computedScale));
  interpolatedScale_->setText(cFormat("%.1f", p.interpolatedScale));
  const double corners[6] = {p.x1, p.y1, p.z1, p.x2, p.y2, p.z2};
  for (int c = 0; c < 6; ++c) corner_[c]->setText(cFormat("%.2f", corners[c]));
  const int counts[3] = {p.Nx, p.Ny, p.Nz};
  for (int c = 0; c < 3; ++c) counts_[c]->setText(cFormat("%d", counts[c]));
  showComputed_->setChecked(p.showComputed == 1);
  showInterpolated_->setChecked(p.showInterpolated == 1);
  for (int b = 0; b < 3; ++b) planeBox_[b]->setChecked(p.plane == b + 1);
  applyReadOnlyRule();
}

void CVelocityField::choosePlane(int plane) {
  s_.samplingPlane.plane = plane;
  for (int b = 0; b < 3; ++b) planeBox_[b]->setChecked(plane == b + 1);
  applyReadOnlyRule();
}

// The second corner's coordinate along the plane's normal is not used: its
// edit is read-only (z2 for XY, y2 for XZ, x2 for YZ).
void CVelocityField::applyReadOnlyRule() {
  const int plane = s_.samplingPlane.plane;
  corner_[3]->setReadOnly(plane == 3);
  corner_[4]->setReadOnly(plane == 2);
  corner_[5]->setReadOnly(plane == 1);
}

void CVelocityField::stepScale(QLineEdit* edit, double& scale, bool add) {
  const float a = static_cast<float>(leadingDouble(edit->text()));
  float value = a;
  if (add) {
    value = a + 0.1f;
  } else if (a - 0.1f > 0.0f) {
    value = a - 0.1f;
  }
  scale = static_cast<double>(value);
  edit->setText(cFormat("%.1f", scale));
  s_.requestRepaint();
}

void CVelocityField::computePlane() {
  SamplingPlane& p = s_.samplingPlane;
  // The typed plane replaces the stored one only if it can be computed.
  const double oldCorners[6] = {p.x1, p.y1, p.z1, p.x2, p.y2, p.z2};
  const int oldCounts[3] = {p.Nx, p.Ny, p.Nz};
  double* corners[6] = {&p.x1, &p.y1, &p.z1, &p.x2, &p.y2, &p.z2};
  int* counts[3] = {&p.Nx, &p.Ny, &p.Nz};
  for (int c = 0; c < 6; ++c) *corners[c] = toSingle(leadingDouble(corner_[c]->text()));
  for (int c = 0; c < 3; ++c) *counts[c] = leadingInt(counts_[c]->text());
  CoreError error;
  bool ok = false;
  {
    BusyCursor busy;
    ok = computeSamplingPlane(s_, &error);
  }
  if (!ok) {
    for (int c = 0; c < 6; ++c) *corners[c] = oldCorners[c];
    for (int c = 0; c < 3; ++c) *counts[c] = oldCounts[c];
    showError(this, windowTitle(), errorText(error), error.detail);
    return;
  }
  s_.requestRepaint();
}

void CVelocityField::exportPlane() {
  CoreError error;
  bool ok = false;
  {
    BusyCursor busy;
    ok = exportWinsurf(s_, exportDir_.toStdString(), &error);
  }
  if (!ok) showError(this, windowTitle(), errorText(error), error.detail);
}

void CVelocityField::toggleInterpolated() {
  SamplingPlane& p = s_.samplingPlane;
  if (p.planeComputed == 1 && samplingPlaneValid(s_)) {
    p.showInterpolated = showInterpolated_->isChecked() ? 1 : 0;
  } else {
    showInterpolated_->setChecked(false);
  }
  s_.requestRepaint();
}

}  // namespace brelvik
