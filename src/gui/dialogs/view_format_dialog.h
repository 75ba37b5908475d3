#pragma once
// "Ориентация СК": turns, moves and scales the scene in fixed steps. Each of
// the seven quantities has a value edit and a "<-" / "->" pair; each group
// (rotation, shift, zoom) has a step edit. A press reads the group's step and
// the quantity's value from their edits, stores both, steps the value and
// writes it back, and repaints the view, so the scene moves while the dialog
// is open. "OK" only closes: a value typed into an edit takes effect with the
// next press of a button that reads it.

#include <QDialog>
#include <vector>

class QLineEdit;

namespace brelvik {

struct SimulationState;

class CViewFormat : public QDialog {
  Q_OBJECT
 public:
  explicit CViewFormat(SimulationState& s, QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  enum class Group { Rotation, Shift, Zoom };
  // One value edit with its button pair.
  struct Quantity {
    float* value;
    QLineEdit* edit;
    Group group;
  };

  void fill();
  void step(const Quantity& q, bool add);

  SimulationState& s_;
  QLineEdit* rotationStep_ = nullptr;
  QLineEdit* shiftStep_ = nullptr;
  QLineEdit* zoomStep_ = nullptr;
  std::vector<Quantity> quantities_;
};

}  // namespace brelvik
