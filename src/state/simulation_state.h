#pragma once
// The one record of a simulation: volumes, flow parameters, time and
// counters, drag coefficients and their histories, readiness and run flags,
// display switches, the sampling plane, the streamline data and the three
// worker threads.
//
// Threading and locking (see docs/ARCHITECTURE.md):
// - passMutex: held by the solver for each whole pass; Create, New, Open and
//   Save take it so that none of them overlaps a pass.
// - seriesMutex: held around every append to and every read of the four
//   histories, the streamline seeds and the traced line tables, so no reader
//   sees a container that is being reallocated.
// - snapshotMutex: held only to swap or copy the pointer to the view's
//   snapshot (state/view_snapshot.h).
// - Flags polled across threads are std::atomic<int> (0/1 as ints).
// - Worker threads never call GUI code; they call the callbacks below, which
//   the GUI installs and which must be safe to call from any thread.

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "state/finite_volume.h"
#include "state/value_series.h"
#include "state/view_snapshot.h"
#include "state/worker_thread.h"

namespace brelvik {

struct StepCache;
struct StepDistribution;

// A rectangular sampling plane parallel to a coordinate plane, with the
// stencils that interpolate the flow at its lattice points.
struct SamplingPlane {
  int plane = 1;  // 1: XY at z = z1; 2: XZ at y = y1; 3: YZ at x = x1
  double x1 = 0, y1 = 0, z1 = 0;
  double x2 = 0, y2 = 0, z2 = 0;
  int Nx = 0, Ny = 0, Nz = 0;  // lattice counts typed by the user
  double hx = 0, hy = 0, hz = 0;
  int iMax = 1, jMax = 1;  // (iMax+1)(jMax+1) samples, flat index i*(jMax+1)+j
  std::vector<double> positions;      // 3 per sample, global
  std::vector<int> donorVolume;       // per sample; -1 outside every volume
  std::vector<std::array<int, 10>> stencil;
  std::vector<std::array<double, 10>> weights;
  std::vector<double> sampleU, sampleV, sampleW;  // interpolated global velocity
  double computedScale = 0.3;
  double interpolatedScale = 0.1;
  int showComputed = 0;
  int showInterpolated = 0;
  int planeComputed = 0;
  // volumesGeneration of the state when the stencils were computed; the
  // stencils are valid only while it matches (Create and Open advance it).
  int computedGeneration = -1;
  // Orientation the lattice was laid out for. The plane boxes change `plane`
  // at once, but the samples keep their positions until the next "Вычислить",
  // so the export takes its two in-plane coordinates from this one.
  int computedPlane = 1;
};

// Whether a worker thread's run is going on. The threads report it; the
// dialogs choose their button captions from it.
enum class RunState { kIdle, kRunning };

// What the ghost points beyond the outer radius hold.
//  Reflecting: the inflow side holds velocity and temperature at the free
//    stream and extrapolates pressure, the outflow side holds pressure and
//    extrapolates the rest; both reflect acoustic waves completely.
//  Absorbing: a characteristic (Riemann-invariant) far field along the local
//    outward normal that lets outgoing waves leave (solver/far_field.h).
enum class FarField : int { Reflecting = 0, Absorbing = 1 };

// Callbacks through which worker threads reach the GUI. Each may be empty.
struct StateCallbacks {
  std::function<void()> repaint;                 // queued repaint of the view
  std::function<void(int)> interpolProgress;     // points done
  std::function<void(RunState)> interpolRun;     // interpolation started, paused or finished
  std::function<void(RunState)> flowLineRun;     // streamline run ended (or was stopped)
};

struct SimulationState {
  SimulationState();
  ~SimulationState();
  SimulationState(const SimulationState&) = delete;
  SimulationState& operator=(const SimulationState&) = delete;

  // Domain.
  std::vector<FiniteVolume> volumes;
  int volumeCount = 0;
  int schemeOrder = 2;

  // Flow parameters.
  double dt = 0.001;
  double Re = 100.0;
  double M = 0.6;
  double Pr = 1.0;
  double k = 1.4;
  double pi = 3.14159265358979;  // the stored 15-digit constant, not full-precision pi

  // Far field (saved beside the global state file, io/result_folder.h).
  FarField farField = FarField::Reflecting;

  // Time, coefficients and histories.
  double physicalTime = 0;
  int stepCount = 0;
  double Cx = 0, Cp = 0, Cf = 0;
  int historyInterval = 10;
  int historyCounter = 0;
  ValueSeries historyCx, historyCp, historyCf, historyTime;
  // RMS over the computed points of (q^{n+1} - q^n)/dt for ro, u, v, w, T
  // (in this order) of the latest step, and one value of each per history
  // sample, appended with historyCx under seriesMutex and cleared with it.
  // Not saved: a loaded case holds NaN for the samples of earlier runs.
  std::array<double, 5> residual{};
  std::array<ValueSeries, 5> historyResidual;

  // Readiness and run flags.
  std::atomic<int> gridCreated{0};
  std::atomic<int> interpolationReady{0};
  std::atomic<int> flowInitialised{0};
  std::atomic<int> domainReady{1};
  std::atomic<int> running{0};

  // Interpolation bookkeeping.
  std::atomic<int> interpolTotal{0};
  std::atomic<int> interpolProcessed{0};
  std::atomic<int> interpolRunning{0};

  // Failures found by the workers, for the GUI and the batch driver.
  // Interpolation: points for which no admissible stencil exists.
  std::atomic<int> interpolFailedCount{0};
  int interpolFailedVolume = -1;  // first failing point (volume, linear index)
  int interpolFailedPoint = -1;
  // Solver: the step after which a coefficient was not finite; -1 if none.
  std::atomic<int> divergedStep{-1};

  // Advanced by Create and Open: everything computed on the old volumes
  // (sampling-plane stencils, a paused streamline run) is stale.
  std::atomic<int> volumesGeneration{0};
  // Advanced whenever interpolation entries or point types change without a
  // new grid (each chunk of the interpolation thread, a synchronous run);
  // the solver rebuilds its receiver lists when it moves.
  std::atomic<int> interpolationGeneration{0};
  // The solver's receiver lists and step plans for the current grid and
  // interpolation data (solver/step_plan.cpp); touched only under passMutex
  // or by the thread that owns the state.
  std::shared_ptr<StepCache> stepCache;
  // Set only while the batch driver shares the steps among processes
  // (solver/step_plan.h); empty everywhere else.
  std::shared_ptr<StepDistribution> stepDistribution;

  // Display switches.
  int displayMode = 1;  // 1: scene; 2: drag history plot
  int coefficientPlotOn = 0;
  int showMinMax = 0;
  int sphereMode = 1;   // 1 invisible, 2 outline, 3 solid
  int volumesMode = 1;  // 1 hidden, 2 shown
  int gridMode = 1;     // 1 hidden, 2 shown
  float rotX = 0, rotY = 0, rotZ = 0;
  float shiftX = 0, shiftY = 0, shiftZ = 0;
  float zoom = 1.0f;
  float rotationStep = 10.0f;
  float shiftStep = 1.0f;
  float zoomStep = 0.5f;
  std::atomic<int> streamlinePointCount{1000};

  SamplingPlane samplingPlane;

  // Streamlines.
  ValueSeries seedX, seedY, seedZ;
  ValueTable lineX{1, 1}, lineY{1, 1}, lineZ{1, 1};
  std::atomic<int> currentLine{0};
  std::atomic<int> currentLinePoints{0};
  std::atomic<int> flowLineRunning{0};
  int showStreamlines = 0;

  // Scratch table through which the result folders move array slices.
  ValueTable sliceTable{0, 0};

  // Locks (see the header comment).
  std::mutex passMutex;
  std::mutex seriesMutex;

  // What the window thread draws (state/view_snapshot.h): the latest
  // snapshot and pass scalars, swapped under snapshotMutex, and the window
  // thread's request (ViewSnapshotPart bits) for a new snapshot at the end of
  // the next pass.
  std::mutex snapshotMutex;
  std::shared_ptr<const ViewSnapshot> publishedSnapshot;
  PassScalars publishedScalars;
  std::atomic<int> snapshotWanted{0};

  // Worker threads. Declared last so that they are destroyed (and joined)
  // first, while everything their bodies use still exists.
  WorkerThread solveThread{"solver"};
  WorkerThread interpolThread{"interpolation"};
  WorkerThread flowLineThread{"streamlines"};

  // GUI callbacks; install and call them only through the functions below.
  void setCallbacks(StateCallbacks callbacks);
  void setInterpolCallbacks(std::function<void(int)> progress,
                            std::function<void(RunState)> runState);
  void setFlowLineRunCallback(std::function<void(RunState)> runState);
  void setRepaintCallback(std::function<void()> repaint);
  void requestRepaint();
  void reportInterpolProgress(int processed);
  void reportInterpolRun(RunState state);
  void reportFlowLineRun(RunState state);

  // gridCreated * interpolationReady * flowInitialised * domainReady.
  int readinessProduct() const;

  // Stops every worker thread from touching the volumes: clears `running`,
  // waits for the solver pass in progress, and pauses the interpolation and
  // streamline threads (their run flags are cleared and reported idle).
  // Called from the window (or main) thread only, before Create and Open.
  void quiesceWorkers();

 private:
  std::mutex callbackMutex_;
  StateCallbacks callbacks_;
};

// The process-wide state used by the desktop program and the batch driver.
SimulationState& theState();

}  // namespace brelvik
