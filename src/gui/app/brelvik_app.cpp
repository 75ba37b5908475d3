#include "gui/app/brelvik_app.h"

#include <QSettings>
#include <clocale>

#include "gui/app/brelvik_doc.h"
#include "gui/app/main_frame.h"
#include "state/simulation_state.h"

namespace brelvik {

CBrelvikApp::CBrelvikApp(int& argc, char** argv) : QApplication(argc, argv) {
  // QApplication adopts the desktop locale; numbers in files and dialogs are
  // always written and read with a decimal point.
  std::setlocale(LC_NUMERIC, "C");
  setOrganizationName(QStringLiteral("Brelvik"));
  setApplicationName(QStringLiteral("Brelvik"));
}

CBrelvikApp::~CBrelvikApp() = default;

void CBrelvikApp::loadRecentFileList() {
  QSettings settings;
  settings.beginGroup(QStringLiteral("Recent File List"));
  recentFiles_.clear();
  for (int i = 1; i <= kRecentFileCount; ++i)
    recentFiles_.append(settings.value(QStringLiteral("File%1").arg(i)).toString());
  settings.endGroup();
}

bool CBrelvikApp::initInstance(SimulationState& s) {
  loadRecentFileList();
  doc_ = std::make_unique<CBrelvikDoc>();
  if (!doc_->onNewDocument()) return false;
  frame_ = std::make_unique<CMainFrame>(s, doc_.get());
  frame_->show();
  frame_->setWindowTitle(QStringLiteral("Brelvik 1.0"));
  return true;
}

void CBrelvikApp::exitInstance(SimulationState& s) {
  s.setCallbacks({});
  // Let the solver finish its pass and park the other workers, so the
  // process ends promptly and nothing runs while the statics are destroyed.
  s.quiesceWorkers();
  frame_.reset();
  doc_.reset();
}

}  // namespace brelvik
