#pragma once
// What the desktop program shows of a running case (the view's vectors and
// sampling plane, the legend, the drag plot and the status bar), copied at a
// boundary between two solver passes. The window thread never reads the flow
// arrays or the coefficients while the solver thread may be writing them: it
// draws from the latest snapshot instead.
//
// Publishing: while the solver holds passMutex for a pass, the window thread
// asks for a snapshot (snapshotWanted, the parts it needs); the solver builds
// one at the end of its next pass and swaps the pointer in under
// snapshotMutex. When no pass is in progress the window thread takes
// passMutex itself and builds the snapshot directly. The step, time and
// coefficients are published after every pass (four numbers), so the status
// bar needs no request. snapshotMutex is only ever held for a pointer swap or
// a copy of those numbers.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "state/field_range.h"

namespace brelvik {

struct SimulationState;

// The numbers of one pass boundary.
struct PassScalars {
  int stepCount = 0;
  double physicalTime = 0;
  double Cx = 0, Cp = 0, Cf = 0;
};

// Parts of a snapshot beyond the parameters and PassScalars, each copied only
// when the view shows it (a copy of the velocity is 24 bytes per point).
enum ViewSnapshotPart : int {
  kSnapshotRanges = 1,    // legend ranges
  kSnapshotVelocity = 2,  // global velocity arrays (node vectors, sampling plane)
  kSnapshotHistory = 4,   // drag history (plot)
  kSnapshotBase = 8,      // parameters and scalars only (always filled in)
};

struct ViewSnapshot {
  int parts = 0;  // the ViewSnapshotPart bits filled in
  // Create and Open advance volumesGeneration; velocity copies of another
  // generation do not fit the volumes shown and are not drawn.
  int volumesGeneration = -1;
  int schemeOrder = 2;
  double Re = 0, M = 0, Pr = 0, k = 0;
  PassScalars scalars;
  std::array<std::optional<FieldRange>, kLegendFieldCount> ranges;  // legend order
  // Global velocity components of each volume, indexed like the volume's
  // points (empty for a volume without flow arrays).
  std::vector<std::vector<double>> uGlob, vGlob, wGlob;
  std::vector<double> historyTime, historyCx;
};

// Builds a snapshot of `s` with the given parts. The caller guarantees that
// no pass is writing the flow (it holds passMutex, or it is the solver thread
// inside its pass).
std::shared_ptr<const ViewSnapshot> captureViewSnapshot(SimulationState& s, int parts);

// Solver thread, at the end of a pass (passMutex held): publishes the pass's
// scalars, and a new snapshot if the window thread asked for one.
void publishAfterPass(SimulationState& s);

// Window thread: a snapshot of the current pass boundary when no pass is in
// progress, otherwise the latest one the solver published (never null; an
// empty snapshot before the first) and a request for `parts` at the end of
// the pass in progress.
std::shared_ptr<const ViewSnapshot> currentViewSnapshot(SimulationState& s, int parts);

// Window thread: the step, time and coefficients of the latest pass
// boundary, without waiting for a pass.
PassScalars currentPassScalars(SimulationState& s);

}  // namespace brelvik
