#pragma once
// "Параметры области": the five numbers that define the grid, "Создать",
// and the start/stop button of the interpolation thread with its progress.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace brelvik {

struct SimulationState;

class CParametrfield : public QDialog {
  Q_OBJECT
 public:
  explicit CParametrfield(SimulationState& s, QWidget* parent = nullptr);
  ~CParametrfield() override;

  // Writes the edits from the state (or the defaults when no grid exists).
  void refreshFields();
  // "Создать": builds the volumes from the edits. Returns whether it did;
  // on refusal a message names the field and the state is unchanged.
  bool create();
  // "Старт": starts, pauses or resumes the interpolation thread.
  void toggleInterpolationRun();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void attachToWorkers();
  void detachFromWorkers();

  SimulationState& s_;
  QLineEdit* size_;       // 1000
  QLineEdit* step_;       // 1021
  QLineEdit* nx_;         // 1014
  QLineEdit* ny_;         // 1015
  QLineEdit* nz_;         // 1016
  QPushButton* create_;   // 1017
  QLineEdit* total_;      // 1018
  QLineEdit* processed_;  // 1019
  QPushButton* start_;    // 1020
  bool attached_ = false;
};

}  // namespace brelvik
