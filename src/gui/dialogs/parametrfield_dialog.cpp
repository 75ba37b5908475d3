#include "gui/dialogs/parametrfield_dialog.h"

#include <QApplication>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <atomic>
#include <memory>

#include "gui/app/dialog_support.h"
#include "gui/app/error_text.h"
#include "gui/app/unsaved_changes.h"
#include "gui/app/number_text.h"
#include "grid/geometry.h"
#include "grid/interpolation.h"
#include "state/simulation_state.h"

namespace brelvik {

namespace {

// Grid defaults shown before the first Create.
constexpr double kDefaultSize = 15;
constexpr double kDefaultStep = 0.02;
constexpr int kDefaultNx = 19;
constexpr int kDefaultNyNz = 12;

}  // namespace

CParametrfield::CParametrfield(SimulationState& s, QWidget* parent) : QDialog(parent), s_(s) {
  setObjectName(QStringLiteral("CParametrfield"));
  setWindowTitle(QStringLiteral("Параметры области"));

  size_ = makeEdit(1000, this);
  step_ = makeEdit(1021, this);
  nx_ = makeEdit(1014, this);
  ny_ = makeEdit(1015, this);
  nz_ = makeEdit(1016, this);
  total_ = makeEdit(1018, this);
  processed_ = makeEdit(1019, this);
  create_ = makeButton(1017, QStringLiteral("Создать"), this);
  start_ = makeButton(1020, QStringLiteral("Старт"), this);
  QPushButton* ok = makeOkButton(this);

  auto* top = new QFormLayout;
  top->addRow(QStringLiteral("Размер области (рад):"), size_);
  top->addRow(QStringLiteral("Сжатие:"), step_);

  auto* grid = new QGroupBox(QStringLiteral("Сетка"), this);
  grid->setObjectName(QStringLiteral("gridGroup"));
  auto* gl = new QGridLayout(grid);
  gl->addWidget(new QLabel(QStringLiteral("Nx"), grid), 0, 0);
  gl->addWidget(nx_, 0, 1);
  gl->addWidget(new QLabel(QStringLiteral("Ny"), grid), 1, 0);
  gl->addWidget(ny_, 1, 1);
  gl->addWidget(new QLabel(QStringLiteral("Nz"), grid), 2, 0);
  gl->addWidget(nz_, 2, 1);
  gl->addWidget(create_, 3, 0, 1, 2);

  auto* interp = new QGroupBox(QStringLiteral("Интерполяция"), this);
  interp->setObjectName(QStringLiteral("interpolationGroup"));
  auto* il = new QGridLayout(interp);
  il->addWidget(new QLabel(QStringLiteral("Всего"), interp), 0, 0);
  il->addWidget(total_, 0, 1);
  il->addWidget(new QLabel(QStringLiteral("Обработано"), interp), 1, 0);
  il->addWidget(processed_, 1, 1);
  il->addWidget(start_, 2, 0, 1, 2);

  auto* groups = new QHBoxLayout;
  groups->addWidget(grid);
  groups->addWidget(interp);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(groups);
  layout->addLayout(rightAlignedRow({ok}));

  connect(create_, &QPushButton::clicked, this, [this] { create(); });
  connect(start_, &QPushButton::clicked, this, &CParametrfield::toggleInterpolationRun);
}

CParametrfield::~CParametrfield() { detachFromWorkers(); }

void CParametrfield::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  attachToWorkers();
  refreshFields();
  // Reopened while the thread works: the button offers to pause it.
  start_->setText(s_.interpolRunning.load() ? QStringLiteral("стоп") : QStringLiteral("Старт"));
}

void CParametrfield::hideEvent(QHideEvent* event) {
  detachFromWorkers();
  QDialog::hideEvent(event);
}

// The interpolation thread reaches the "Обработано" field and the button only
// through these callbacks, and only by queued calls onto the window thread.
// Progress arrives once per point; the calls are coalesced so that at most
// one is queued at a time and it shows the newest count.
void CParametrfield::attachToWorkers() {
  if (attached_) return;
  attached_ = true;
  struct Progress {
    std::atomic<int> latest{0};
    std::atomic<bool> queued{false};
  };
  auto progress = std::make_shared<Progress>();
  QPointer<QLineEdit> field = processed_;
  QPointer<QPushButton> button = start_;
  s_.setInterpolCallbacks(
      [progress, field](int processed) {
        progress->latest.store(processed);
        if (!field || progress->queued.exchange(true)) return;
        QMetaObject::invokeMethod(
            field.data(),
            [progress, field] {
              progress->queued.store(false);
              if (field) field->setText(QString::number(progress->latest.load()));
            },
            Qt::QueuedConnection);
      },
      [button](RunState state) {
        if (!button) return;
        const QString text = interpolationButtonCaption(state);
        QMetaObject::invokeMethod(
            button.data(),
            [button, text] {
              if (button) button->setText(text);
            },
            Qt::QueuedConnection);
      });
}

void CParametrfield::detachFromWorkers() {
  if (!attached_) return;
  attached_ = false;
  s_.setInterpolCallbacks({}, {});
}

void CParametrfield::refreshFields() {
  if (s_.volumeCount != 0 && !s_.volumes.empty()) {
    const FiniteVolume& v = s_.volumes[0];
    size_->setText(cFormat("%.2f", 2 * v.r_out));
    step_->setText(cFormat("%lf", v.first_step));
    nx_->setText(cFormat("%d", v.Nx - s_.schemeOrder));
    ny_->setText(cFormat("%d", v.Ny - s_.schemeOrder));
    nz_->setText(cFormat("%d", v.Nz - s_.schemeOrder));
    total_->setText(cFormat("%d", s_.interpolTotal.load()));
    processed_->setText(cFormat("%d", s_.interpolProcessed.load()));
  } else {
    size_->setText(cFormat("%.2f", kDefaultSize));
    step_->setText(cFormat("%lf", kDefaultStep));
    nx_->setText(cFormat("%d", kDefaultNx));
    ny_->setText(cFormat("%d", kDefaultNyNz));
    nz_->setText(cFormat("%d", kDefaultNyNz));
    total_->setText(cFormat("%d", 0));
    processed_->setText(cFormat("%d", 0));
  }
}

bool CParametrfield::create() {
  DomainInputs in;
  // Size and first step are used in single precision, as stored in a case.
  in.D = toSingle(leadingDouble(size_->text()));
  in.s = toSingle(leadingDouble(step_->text()));
  in.nx = leadingInt(nx_->text());
  in.ny = leadingInt(ny_->text());
  in.nz = leadingInt(nz_->text());
  // Zero cells build volumes without arrays: a case the solver cannot run.
  const std::pair<const char*, int> counts[] = {{"Nx", in.nx}, {"Ny", in.ny}, {"Nz", in.nz}};
  for (const auto& [name, value] : counts) {
    if (value == 0) {
      QMessageBox::warning(this, windowTitle(),
                           QStringLiteral("Область не создана: %1: число ячеек должно быть не меньше 1")
                               .arg(QLatin1String(name)));
      return false;
    }
  }
  if (!confirmDiscardCase(s_, this)) return false;
  CoreError error;
  bool ok;
  {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ok = createDomain(s_, in, &error);
    QApplication::restoreOverrideCursor();
  }
  if (!ok) {
    showError(this, windowTitle(), QStringLiteral("Область не создана: %1").arg(errorText(error)),
              error.detail);
    return false;
  }
  refreshFields();
  s_.requestRepaint();
  return true;
}

// The caption follows through the run-state callback.
void CParametrfield::toggleInterpolationRun() { toggleInterpolation(s_); }

}  // namespace brelvik
