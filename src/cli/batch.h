#pragma once
// brelvik-batch: runs a whole case without a window (Create, interpolation,
// New, solver passes, save), for long runs, scripting and machines without a
// display.
//
// Exit status: 0 done (with --converge: converged); 2 bad option or input
// (nothing computed); 3 the solution diverged (the case is still saved); 4 a
// file or folder could not be read or written; 5 --converge was given and
// the step budget ran out first (the case is still saved).
//
// Without any argument the driver runs the "default run" (noArgumentOptions):
// the default case with the absorbing far field until the drag has settled.
//
// Options are described by one table (batchOptionTable) of long GNU-style
// options: "--name value", "--name=value" or a bare "--flag". Adding an
// option means adding a field to BatchOptions, one row to the table and,
// if it needs work, a step in runBatch.

#include <array>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "io/result_folder.h"
#include "post/vtk_export.h"
#include "state/core_error.h"
#include "state/simulation_state.h"

namespace brelvik {

enum BatchExit : int {
  kExitDone = 0,
  kExitBadInput = 2,
  kExitDiverged = 3,
  kExitFileError = 4,
  kExitNotConverged = 5,
};

// Default window of --converge, in time units. A drag that stays put while a
// disturbance is still under way is not converged: the slowest signal of the
// default case is a sound wave running upstream from the sphere to the outer
// radius (6.5 length units at c - U = 1/M - 1 = 0.67 for M 0.6, about 10
// time units), so the window covers that crossing with a margin.
inline constexpr double kDefaultConvergeWindow = 15.0;

struct BatchOptions {
  // Grid (the domain dialog's defaults). D and s are rounded to single
  // precision when the grid is built.
  double size = 15;
  double firstStep = 0.02;
  int nx = 19, ny = 12, nz = 12;
  // The first grid option given, for the message when it is combined with
  // --open; empty when none was given.
  std::string gridOptionGiven;

  // Flow parameters; unset ones keep the state's (default or loaded) values.
  std::optional<double> dt, Re, M, Pr, k;

  // Far field; unset keeps the state's (reflecting, or the loaded case's).
  std::optional<FarField> farField;

  int steps = 1000;
  // --converge: stop once Cx stayed within convergeEps (relative) of its
  // latest value over the last convergeWindow time units; 0: no such stop.
  double convergeEps = 0;
  double convergeWindow = kDefaultConvergeWindow;
  // --average-from: print the time averages of Cx, Cp, Cf over t >= this.
  std::optional<double> averageFrom;
  std::string openDir;  // empty: build a new case
  std::string saveDir = "save";
  int threads = 0;  // 0: the OpenMP default
  bool quiet = false;
  bool help = false;

  // Post-processing after the run (batch_post.cpp). Coordinates are rounded
  // to single precision, as the dialogs store them.
  int plane = 0;  // 0: none; 1 XY, 2 XZ, 3 YZ
  std::optional<Vec3> planeFrom, planeTo;
  std::optional<std::array<int, 3>> planeCounts;
  std::vector<Vec3> seeds;  // --seed and --circle, in the order given
  int linePoints = 1000;
  bool linePointsGiven = false;
  std::string streamlinesFile;  // empty: no streamlines

  // Exports (batch_export.cpp). Empty names: not asked for.
  std::string vtkDir;       // VTK moment at the end (and the series) below it
  int vtkEvery = 0;         // 0: no series; N: a moment every N steps and case.pvd
  std::string historyFile;  // drag history as CSV
  std::string plotFile;     // drag history as SVG
};

struct BatchOption {
  const char* name;       // without the leading "--"
  const char* valueName;  // nullptr for a flag
  const char* help;
  // Stores the value (empty for a flag); false with a message naming the
  // option when the value is not acceptable.
  std::function<bool(BatchOptions&, const std::string& value, std::string* error)> apply;
};

const std::vector<BatchOption>& batchOptionTable();

// The post-processing rows of the table (batch_post.cpp), inserted before
// the general flags; their checks across options; and their run after the
// case is saved (returns an exit status, messages to err).
std::vector<BatchOption> withPostOptions(std::vector<BatchOption> table);
bool checkPostOptions(const BatchOptions& options, std::string* error);
int runPostProcessing(SimulationState& s, const BatchOptions& options, std::ostream& err);

// The export rows of the table (batch_export.cpp), their checks, a moment
// of the VTK series after pass `pass` of the run (when --vtk-every asks for
// one), and the exports after the run (the last VTK moment, case.pvd for a
// series, the history CSV and SVG). `moments` collects what the series
// wrote. Both return an exit status; failures are reported to err naming
// the file.
std::vector<BatchOption> withExportOptions(std::vector<BatchOption> table);
bool checkExportOptions(const BatchOptions& options, std::string* error);
int exportDuringRun(SimulationState& s, const BatchOptions& options, int pass,
                    std::vector<VtkMoment>& moments, std::ostream& err);
int exportAfterRun(SimulationState& s, const BatchOptions& options,
                   std::vector<VtkMoment>& moments, std::ostream& err);

// Parses the arguments after the program name. False with a message naming
// the option when an option is unknown, lacks its value or has a bad value,
// or when options do not go together.
bool parseBatchOptions(const std::vector<std::string>& args, BatchOptions& options,
                       std::string* error);

// The --help text.
std::string batchUsage();

// A core error in English, led by the option that sets the field at fault
// ("option --first-step: ...") and followed by its detail.
std::string batchErrorText(const CoreError& error);

// The options of a run without any argument: the default case with the
// absorbing far field, dt 0.005, until Cx stays within 0.1% over the
// default window, at most 60000 steps (t = 300).
BatchOptions noArgumentOptions();

// The processes that run one case together (brelvik-batch under mpirun;
// the MPI side lives in dist/ and is linked by the program only). Every
// process builds the same grid and interpolation and computes its share of
// each step; rank 0 prints the history and the messages (the others get
// streams that discard them). Each process reads and writes the slice
// files of the planes it computes (reading also the halo planes next to
// them, and an --open folder's grid and interpolation data whole); rank 0
// also writes the other files of a save and swaps it in, and runs the
// post-processing and the exports after gathering the flow. Every function
// except the plane selections is a collective: all processes call it at
// the same point of the run, and each returns the same answer everywhere,
// so all of them stop together with the same status.
struct BatchProcesses {
  int rank = 0;
  int count = 1;
  std::function<int(bool ok)> firstFailedRank;  // -1 when ok everywhere
  std::function<int(int status)> statusOfRank0;
  std::function<void(SimulationState&)> shareSteps;     // before the first step
  std::function<void(SimulationState&)> gatherToRank0;  // before an export
  // The flow slices this process reads from an --open folder, chosen from
  // the volumes' sizes: those of the planes it will compute and of the
  // halo planes next to them.
  FlowPlanesOf planesToRead;
  // The slices this process writes in a save: those of the planes it
  // computes (after shareSteps).
  std::function<PlaneSelection()> planesToWrite;
  // After the run: rank 0 prints the bytes each process sent per step and
  // the flow arrays' bytes each holds.
  std::function<void(std::ostream& err)> reportTraffic;
  // Ends every process (after a failure that leaves the others waiting).
  std::function<void(int status)> abortAll;
  // Where a process other than rank 0 reports its own failures.
  std::ostream* ownErr = nullptr;
};

// How the run reports: history samples go to `out` (one line each, tab
// separated), messages and progress bars to `err`. Progress bars are drawn
// only when `progressBars` is set (stderr is a terminal and not --quiet).
struct BatchStreams {
  std::ostream& out;
  std::ostream& err;
  bool progressBars = false;
  const BatchProcesses* processes = nullptr;  // none: one process
};

// Runs the case described by `options` on `s` and returns the exit status.
int runBatch(SimulationState& s, const BatchOptions& options, BatchStreams streams);

// Parses `args`, prints the help or the option error, and runs. Returns the
// exit status. `errIsTerminal`: whether `err` is a terminal.
int batchMain(SimulationState& s, const std::vector<std::string>& args, std::ostream& out,
              std::ostream& err, bool errIsTerminal);
int batchMain(SimulationState& s, const std::vector<std::string>& args, std::ostream& out,
              std::ostream& err, bool errIsTerminal, const BatchProcesses* processes);

}  // namespace brelvik
