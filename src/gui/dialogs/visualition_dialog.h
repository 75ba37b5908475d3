#pragma once
// "Визуализация": how the sphere is drawn and whether the volume outlines and
// the grid points are drawn. Seven check boxes behave as three radio groups:
// every click stores the box's mode, re-checks exactly the boxes of the
// current modes (so clicking a checked box leaves it checked) and repaints.

#include <QDialog>
#include <vector>

class QCheckBox;

namespace brelvik {

struct SimulationState;

class CVisualition : public QDialog {
  Q_OBJECT
 public:
  explicit CVisualition(SimulationState& s, QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct Choice {
    QCheckBox* box;
    int* member;
    int value;
  };
  // Checks the box of each group whose value equals its member and unchecks
  // the others; a member with a value no box stands for leaves its group as
  // it is.
  void refresh();

  SimulationState& s_;
  std::vector<Choice> choices_;
};

}  // namespace brelvik
