#pragma once
// "Линии тока": the seed points of the streamlines (single points and
// circles of points), the point budget per line, start and stop of the
// streamline thread and the drawing switch. The seeds, budget and switch
// live in the state and outlive the dialog; a run started here goes on
// after the dialog closes.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace brelvik {

struct SimulationState;

class CDialog_Flow_Lines : public QDialog {
  Q_OBJECT
 public:
  explicit CDialog_Flow_Lines(SimulationState& s, QWidget* parent = nullptr);
  // Removes the caption callback: a run that ends later writes no caption.
  ~CDialog_Flow_Lines() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void refillSeedList();
  void addPoint();
  void addCircle();
  void removeAll();
  void startOrStop();

  SimulationState& s_;
  QListWidget* seeds_ = nullptr;
  QLineEdit* point_[3] = {};   // x y z
  QLineEdit* centre_[3] = {};  // x y z
  QLineEdit* radius_ = nullptr;
  QLineEdit* count_ = nullptr;
  QLineEdit* pointBudget_ = nullptr;
  QPushButton* startButton_ = nullptr;
  QCheckBox* show_ = nullptr;
};

}  // namespace brelvik
