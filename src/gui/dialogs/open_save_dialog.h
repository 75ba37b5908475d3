#pragma once
// "Открыть" and "Сохранить": ask for the name of a result folder and read or
// write the whole case there on OK.

#include <QDialog>
#include <string>

#include "state/core_error.h"

class QLineEdit;

namespace brelvik {

struct SimulationState;

// The shared body of the two dialogs: one edit (1000), "OK" (1), "Cancel" (2).
class CFolderDialog : public QDialog {
  Q_OBJECT
 public:
  // The folder name proposed every time the dialog is shown.
  static constexpr const char* kDefaultFolder = "save";

  QLineEdit* folderEdit() const { return edit_; }

  // OK: runs the reader or writer on the typed name. On success the dialog
  // closes; on failure a message names the folder and the dialog stays open
  // with the state unchanged.
  void accept() override;

 protected:
  CFolderDialog(SimulationState& s, const QString& caption, QWidget* parent);
  void showEvent(QShowEvent* event) override;
  virtual bool runOperation(const std::string& folder, CoreError* error) = 0;

  SimulationState& s_;

 private:
  QLineEdit* edit_;
};

class COpenDialog : public CFolderDialog {
  Q_OBJECT
 public:
  explicit COpenDialog(SimulationState& s, QWidget* parent = nullptr);

 protected:
  bool runOperation(const std::string& folder, CoreError* error) override;
};

class CSaveDialog : public CFolderDialog {
  Q_OBJECT
 public:
  explicit CSaveDialog(SimulationState& s, QWidget* parent = nullptr);

 protected:
  bool runOperation(const std::string& folder, CoreError* error) override;
};

}  // namespace brelvik
