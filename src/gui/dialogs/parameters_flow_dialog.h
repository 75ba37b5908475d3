#pragma once
// "Параметры течения": edits the five dimensionless flow parameters.

#include <QDialog>

class QLineEdit;

namespace brelvik {

struct SimulationState;

class CParametersFlow : public QDialog {
  Q_OBJECT
 public:
  explicit CParametersFlow(SimulationState& s, QWidget* parent = nullptr);

  // OK: stores the five fields (see the .cpp) and closes.
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
};

}  // namespace brelvik
