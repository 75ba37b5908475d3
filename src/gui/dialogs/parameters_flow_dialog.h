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

  // OK: stores the five fields (see the .cpp), the far field and the ramp
  // time, and closes. A ramp time that is not a number of 0 or more shows a
  // message naming the field and changes nothing.
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
  // reflecting, 1 absorbing) and the ramp time (object name "rampTime").
  QComboBox* farField_;
  QLineEdit* ramp_;
};

}  // namespace brelvik
