#include "gui/dialogs/visualition_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QVBoxLayout>

#include "gui/app/dialog_support.h"
#include "state/simulation_state.h"

namespace brelvik {

CVisualition::CVisualition(SimulationState& s, QWidget* parent) : QDialog(parent), s_(s) {
  setObjectName(QStringLiteral("CVisualition"));
  setWindowTitle(QStringLiteral("Визуализация"));

  struct Item {
    int id;
    const char* text;
    int value;
  };
  struct GroupLayout {
    const char* title;
    int* member;
    std::vector<Item> items;
  };
  const GroupLayout groups[] = {
      {"Сфера", &s_.sphereMode, {{1009, "Невидимая", 1}, {1010, "Контур", 2}, {1011, "Сплошная", 3}}},
      {"Конечные объёмы", &s_.volumesMode, {{1012, "Скрыть", 1}, {1013, "Показать", 2}}},
      {"Сетка", &s_.gridMode, {{1014, "Скрыть", 1}, {1015, "Показать", 2}}},
  };

  auto* layout = new QVBoxLayout(this);
  for (const GroupLayout& g : groups) {
    auto* box = new QGroupBox(QString::fromUtf8(g.title), this);
    auto* column = new QVBoxLayout(box);
    for (const Item& item : g.items) {
      QCheckBox* check = makeCheck(item.id, QString::fromUtf8(item.text), box);
      column->addWidget(check);
      choices_.push_back({check, g.member, item.value});
      const Choice c = choices_.back();
      // clicked() comes after the box's own toggle; refresh() then puts the
      // boxes back in line with the modes.
      connect(check, &QCheckBox::clicked, this, [this, c] {
        *c.member = c.value;
        refresh();
        s_.requestRepaint();
      });
    }
    layout->addWidget(box);
  }

  layout->addLayout(rightAlignedRow({makeOkButton(this)}));
}

void CVisualition::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  refresh();
}

void CVisualition::refresh() {
  for (const Choice& c : choices_) {
    bool known = false;
    for (const Choice& other : choices_)
      if (other.member == c.member && other.value == *c.member) known = true;
    if (known) c.box->setChecked(*c.member == c.value);
  }
}

}  // namespace brelvik
