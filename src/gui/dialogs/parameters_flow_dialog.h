#pragma once
// "Параметры течения": edits the five dimensionless flow parameters.

#include <QDialog>

class QComboBox;
class QLineEdit;

namespace brelvik {

struct SimulationState;

class CParametersFlow : public QDialog {
  Q_OBJECT
 public:
  explicit CParametersFlow(SimulationState& s, QWidget* parent = nullptr);

  // OK: stores the five fields (see the .cpp) and the far field, and
  // closes. A field the solver cannot run with shows a message naming it
  // and changes nothing, the far field included.
  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void fillFields();

  SimulationState& s_;
  QLineEdit* dt_;
  QLineEdit* re_;
  QLineEdit* m_;
  QLineEdit* pr_;
  QLineEdit* k_;
  // Below the five: the far field (object name "farField"; item 0
  // reflecting, 1 absorbing).
  QComboBox* farField_;
};

}  // namespace brelvik
