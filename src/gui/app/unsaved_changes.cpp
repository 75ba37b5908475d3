#include "gui/app/unsaved_changes.h"

#include <QMessageBox>

#include <cstring>
#include <map>
#include <mutex>

#include "gui/dialogs/open_save_dialog.h"
#include "state/simulation_state.h"

namespace brelvik {

namespace {

struct Fingerprint {
  int generation = 0, volumeCount = 0, stepCount = 0, historyCounter = 0;
  double time = 0, dt = 0, Re = 0, M = 0, Pr = 0, k = 0;
  int interpolTotal = 0, interpolProcessed = 0, flags = 0, historyLength = 0;
  bool operator==(const Fingerprint& o) const {
    // Bitwise, so that a NaN time compares equal to itself.
    return std::memcmp(this, &o, sizeof *this) == 0;
  }
};
// No padding bytes, so memcmp compares exactly the members.
static_assert(sizeof(Fingerprint) == 8 * sizeof(int) + 6 * sizeof(double));

Fingerprint fingerprintOf(SimulationState& s) {
  Fingerprint f;
  std::lock_guard<std::mutex> pass(s.passMutex);
  f.generation = s.volumesGeneration.load();
  f.volumeCount = s.volumeCount;
  f.stepCount = s.stepCount;
  f.historyCounter = s.historyCounter;
  f.time = s.physicalTime;
  f.dt = s.dt;
  f.Re = s.Re;
  f.M = s.M;
  f.Pr = s.Pr;
  f.k = s.k;
  f.interpolTotal = s.interpolTotal.load();
  f.interpolProcessed = s.interpolProcessed.load();
  f.flags = s.gridCreated.load() | s.interpolationReady.load() << 1 |
            s.flowInitialised.load() << 2 | s.domainReady.load() << 3;
  std::lock_guard<std::mutex> series(s.seriesMutex);
  f.historyLength = s.historyTime.size();
  return f;
}

// The fingerprint at the last save or open, per state (one in the program,
// many in tests).
std::map<const SimulationState*, Fingerprint>& savedFingerprints() {
  static std::map<const SimulationState*, Fingerprint> saved;
  return saved;
}

SaveAnswer askWithMessageBox(QWidget* parent) {
  const auto button = QMessageBox::question(
      parent, QStringLiteral("Brelvik"), QStringLiteral("Сохранить изменения?"),
      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
  if (button == QMessageBox::Yes) return SaveAnswer::Save;
  if (button == QMessageBox::No) return SaveAnswer::Discard;
  return SaveAnswer::Cancel;
}

SaveQuestion& question() {
  static SaveQuestion q = askWithMessageBox;
  return q;
}

}  // namespace

void setSaveQuestion(SaveQuestion q) { question() = q ? std::move(q) : SaveQuestion(askWithMessageBox); }

void markCaseSaved(SimulationState& s) { savedFingerprints()[&s] = fingerprintOf(s); }

bool caseChangedSinceSave(SimulationState& s) {
  const Fingerprint now = fingerprintOf(s);
  const auto it = savedFingerprints().find(&s);
  if (it != savedFingerprints().end()) return !(it->second == now);
  return now.volumeCount > 0 || now.historyLength > 0;
}

bool confirmDiscardCase(SimulationState& s, QWidget* parent) {
  if (!caseChangedSinceSave(s)) return true;
  switch (question()(parent)) {
    case SaveAnswer::Discard:
      return true;
    case SaveAnswer::Cancel:
      return false;
    case SaveAnswer::Save: {
      CSaveDialog dlg(s, parent);
      return dlg.exec() == QDialog::Accepted;
    }
  }
  return false;
}

}  // namespace brelvik
