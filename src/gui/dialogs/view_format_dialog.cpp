#include "gui/dialogs/view_format_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/app/dialog_support.h"
#include "gui/app/number_text.h"
#include "state/simulation_state.h"

namespace brelvik {

namespace {

QPushButton* makeArrow(int id, const QString& text, QWidget* parent) {
  QPushButton* b = makeButton(id, text, parent);
  b->setMaximumWidth(40);
  return b;
}

}  // namespace

CViewFormat::CViewFormat(SimulationState& s, QWidget* parent) : QDialog(parent), s_(s) {
  setObjectName(QStringLiteral("CViewFormat"));
  setWindowTitle(QStringLiteral("Ориентация СК"));

  struct Row {
    const char* label;
    float* value;
    int editId, subtractId, addId;
  };
  struct GroupLayout {
    const char* title;
    Group group;
    int stepId;
    std::vector<Row> rows;
  };
  const GroupLayout groups[] = {
      {"Поворот", Group::Rotation, 1016,
       {{"x", &s_.rotX, 1000, 1017, 1018},
        {"y", &s_.rotY, 1014, 1019, 1020},
        {"z", &s_.rotZ, 1015, 1021, 1022}}},
      {"Сдвиг", Group::Shift, 1033,
       {{"x", &s_.shiftX, 1001, 1023, 1024},
        {"y", &s_.shiftY, 1031, 1025, 1026},
        {"z", &s_.shiftZ, 1032, 1027, 1028}}},
      {"Увеличение", Group::Zoom, 1003, {{"", &s_.zoom, 1002, 1029, 1030}}},
  };

  auto* layout = new QVBoxLayout(this);
  for (const GroupLayout& g : groups) {
    auto* box = new QGroupBox(QString::fromUtf8(g.title), this);
    auto* grid = new QGridLayout(box);
    int row = 0;
    for (const Row& r : g.rows) {
      QLineEdit* edit = makeEdit(r.editId, box, kNumberEditWidth);
      QPushButton* subtract = makeArrow(r.subtractId, QStringLiteral("<-"), box);
      QPushButton* add = makeArrow(r.addId, QStringLiteral("->"), box);
      grid->addWidget(new QLabel(QString::fromUtf8(r.label), box), row, 0);
      grid->addWidget(subtract, row, 1);
      grid->addWidget(edit, row, 2);
      grid->addWidget(add, row, 3);
      quantities_.push_back({r.value, edit, g.group});
      const Quantity q = quantities_.back();
      connect(subtract, &QPushButton::clicked, this, [this, q] { step(q, false); });
      connect(add, &QPushButton::clicked, this, [this, q] { step(q, true); });
      ++row;
    }
    QLineEdit* stepEdit = makeEdit(g.stepId, box, kNumberEditWidth);
    grid->addWidget(new QLabel(QStringLiteral("шаг"), box), row, 0);
    grid->addWidget(stepEdit, row, 2);
    (g.group == Group::Rotation ? rotationStep_ : g.group == Group::Shift ? shiftStep_ : zoomStep_) =
        stepEdit;
    layout->addWidget(box);
  }

  layout->addLayout(rightAlignedRow({makeOkButton(this)}));
}

void CViewFormat::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  setWindowTitle(QStringLiteral("Ориентация СК"));
  fill();
}

void CViewFormat::fill() {
  for (const Quantity& q : quantities_) q.edit->setText(cFormat("%.1f", double(*q.value)));
  rotationStep_->setText(cFormat("%.1f", double(s_.rotationStep)));
  shiftStep_->setText(cFormat("%.1f", double(s_.shiftStep)));
  zoomStep_->setText(cFormat("%.1f", double(s_.zoomStep)));
}

void CViewFormat::step(const Quantity& q, bool add) {
  QLineEdit* stepEdit = nullptr;
  float* stepValue = nullptr;
  switch (q.group) {
    case Group::Rotation: stepEdit = rotationStep_; stepValue = &s_.rotationStep; break;
    case Group::Shift: stepEdit = shiftStep_; stepValue = &s_.shiftStep; break;
    case Group::Zoom: stepEdit = zoomStep_; stepValue = &s_.zoomStep; break;
  }
  const float stepSize = static_cast<float>(leadingDouble(stepEdit->text()));
  *stepValue = stepSize;
  float value = static_cast<float>(leadingDouble(q.edit->text()));
  const float next = add ? value + stepSize : value - stepSize;
  // The zoom never reaches 0.1 or below: such a press keeps the value read.
  if (q.group != Group::Zoom || next > 0.1) value = next;
  *q.value = value;
  q.edit->setText(cFormat("%.1f", double(value)));
  s_.requestRepaint();
}

}  // namespace brelvik
