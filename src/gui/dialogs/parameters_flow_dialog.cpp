#include "gui/dialogs/parameters_flow_dialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <cstring>
#include <mutex>

#include "gui/app/dialog_support.h"
#include "gui/app/number_text.h"
#include "grid/geometry.h"
#include "state/simulation_state.h"

namespace brelvik {

CParametersFlow::CParametersFlow(SimulationState& s, QWidget* parent)
    : QDialog(parent), s_(s) {
  setObjectName(QStringLiteral("CParametersFlow"));
  setWindowTitle(QStringLiteral("Параметры течения"));
  dt_ = makeEdit(1000, this);
  re_ = makeEdit(1014, this);
  m_ = makeEdit(1015, this);
  pr_ = makeEdit(1016, this);
  k_ = makeEdit(1018, this);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("dt"), dt_);
  form->addRow(QStringLiteral("Re"), re_);
  form->addRow(QStringLiteral("M"), m_);
  form->addRow(QStringLiteral("Pr"), pr_);
  form->addRow(QStringLiteral("k"), k_);

  farField_ = new QComboBox(this);
  farField_->setObjectName(QStringLiteral("farField"));
  farField_->addItem(QStringLiteral("отражающее"));
  farField_->addItem(QStringLiteral("поглощающее"));
  auto* farForm = new QFormLayout;
  farForm->addRow(QStringLiteral("Дальнее поле"), farField_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(farForm);
  layout->addLayout(rightAlignedRow({makeOkButton(this)}));
}

void CParametersFlow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  fillFields();
}

void CParametersFlow::fillFields() {
  dt_->setText(cFormat("%.2e", s_.dt));
  re_->setText(cFormat("%.2f", s_.Re));
  m_->setText(cFormat("%.2f", s_.M));
  pr_->setText(cFormat("%.2f", s_.Pr));
  k_->setText(cFormat("%.2f", s_.k));
  farField_->setCurrentIndex(s_.farField == FarField::Absorbing ? 1 : 0);
}

// The texts are taken as shown (so the stored values carry at most the
// displayed digits), each rounded to the nearest single-precision value. The
// flow field, time and histories are left alone: the new parameters apply
// from the solver's next pass, and the pass lock keeps a pass from reading a
// half-written set.
void CParametersFlow::accept() {
  const FarField farField = farField_->currentIndex() == 1 ? FarField::Absorbing
                                                           : FarField::Reflecting;
  const double dt = toSingle(leadingDouble(dt_->text()));
  const double re = toSingle(leadingDouble(re_->text()));
  const double m = toSingle(leadingDouble(m_->text()));
  const double pr = toSingle(leadingDouble(pr_->text()));
  const double k = toSingle(leadingDouble(k_->text()));
  // Values the solver cannot run with are refused before anything is
  // stored: letters read as 0, and 0 or a negative value would fill the
  // next pass with NaN. The energy equation divides by k - 1.
  const struct {
    const char* field;
    double value;
    bool ok;
  } checks[] = {{"dt", dt, std::isfinite(dt) && dt > 0},
                {"Re", re, std::isfinite(re) && re > 0},
                {"M", m, std::isfinite(m) && m > 0},
                {"Pr", pr, std::isfinite(pr) && pr > 0},
                {"k", k, std::isfinite(k) && k > 1}};
  for (const auto& c : checks) {
    if (c.ok) continue;
    const bool isK = std::strcmp(c.field, "k") == 0;
    QMessageBox::warning(this, windowTitle(),
                         QStringLiteral("%1: значение должно быть %2 (введено %3). "
                                        "Параметры не изменены.")
                             .arg(QLatin1String(c.field),
                                  isK ? QStringLiteral("конечным и больше 1")
                                      : QStringLiteral("конечным и больше 0"),
                                  QString::number(c.value)));
    return;
  }
  {
    std::lock_guard<std::mutex> pass(s_.passMutex);
    s_.dt = dt;
    s_.Re = re;
    s_.M = m;
    s_.Pr = pr;
    s_.k = k;
    s_.farField = farField;
  }
  QDialog::accept();
}

}  // namespace brelvik
