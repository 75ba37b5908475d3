#include "gui/dialogs/open_save_dialog.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/app/dialog_support.h"
#include "gui/app/error_text.h"
#include "gui/app/unsaved_changes.h"
#include "io/result_folder.h"
#include "state/simulation_state.h"

namespace brelvik {

CFolderDialog::CFolderDialog(SimulationState& s, const QString& caption, QWidget* parent)
    : QDialog(parent), s_(s) {
  setWindowTitle(caption);
  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("1000"));
  edit_->setMinimumWidth(260);

  QPushButton* ok = makeOkButton(this);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("2"));
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(edit_);
  layout->addLayout(rightAlignedRow({ok, cancel}));
}

void CFolderDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  edit_->setText(QString::fromLatin1(kDefaultFolder));
}

void CFolderDialog::accept() {
  // The name goes on exactly as typed (no trimming); the reader and writer
  // report an unusable one.
  const QString name = edit_->text();
  const std::string folder = QFile::encodeName(name).toStdString();
  CoreError error;
  bool ok;
  {
    BusyCursor busy;
    ok = runOperation(folder, &error);
  }
  if (!ok) {
    // The reader's or writer's message names the file at fault; it is in
    // English and goes to the box's details.
    showError(this, windowTitle(), errorText(error), error.detail);
    return;
  }
  // Both leave the case in memory equal to the folder's.
  markCaseSaved(s_);
  s_.requestRepaint();
  QDialog::accept();
}

COpenDialog::COpenDialog(SimulationState& s, QWidget* parent)
    : CFolderDialog(s, QStringLiteral("Открыть"), parent) {
  setObjectName(QStringLiteral("COpenDialog"));
}

bool COpenDialog::runOperation(const std::string& folder, CoreError* error) {
  return loadCase(s_, folder, error);
}

CSaveDialog::CSaveDialog(SimulationState& s, QWidget* parent)
    : CFolderDialog(s, QStringLiteral("Сохранить"), parent) {
  setObjectName(QStringLiteral("CSaveDialog"));
}

bool CSaveDialog::runOperation(const std::string& folder, CoreError* error) {
  return saveCase(s_, folder, error);
}

}  // namespace brelvik
