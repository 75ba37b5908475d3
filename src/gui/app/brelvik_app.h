#pragma once
// The application object: settings identity, the (never filled) recent-file
// list, and the creation of the document and the main window.

#include <QApplication>
#include <QStringList>
#include <memory>

namespace brelvik {

struct SimulationState;
class CBrelvikDoc;
class CMainFrame;

class CBrelvikApp : public QApplication {
  Q_OBJECT
 public:
  static constexpr int kRecentFileCount = 4;

  CBrelvikApp(int& argc, char** argv);
  ~CBrelvikApp() override;

  // Creates the document and the main window, shows it and titles it.
  // Returns false when the window could not be created.
  bool initInstance(SimulationState& s);
  // Detaches the GUI from the state before the windows go away, so that no
  // worker thread posts to a destroyed window.
  void exitInstance(SimulationState& s);

  CMainFrame* mainFrame() const { return frame_.get(); }
  // Always kRecentFileCount entries; the program never adds a file, so the
  // entries are empty unless the settings file was edited by hand.
  const QStringList& recentFiles() const { return recentFiles_; }

 private:
  void loadRecentFileList();

  QStringList recentFiles_;
  std::unique_ptr<CBrelvikDoc> doc_;
  std::unique_ptr<CMainFrame> frame_;
};

}  // namespace brelvik
