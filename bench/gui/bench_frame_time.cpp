// Frame time of the desktop program's view while the solver runs: the
// window thread must stay responsive when the solver uses every processor.
//
// A 1000 x 700 view of the default grid (19 x 12 x 12) with the volume
// outlines and the velocity vectors at every computed node is redrawn
// continuously (each frameSwapped asks for the next frame with update(), as
// the solver's own repaint requests after each pass would), and the time
// between consecutive frameSwapped signals is recorded, in three phases of
// `seconds` each:
//   1. solver stopped;
//   2. solver running on the default team (one thread per processor), the
//      participants of each step chosen by the tuner (participant_tuner.h),
//      as in the desktop program;
//   3. the same with the tuning off (every step on the whole team);
//   4. the solver running tuned with the view not redrawn at all (the
//      solver's repaint requests dropped), for its passes per second
//      without the window thread drawing beside it.
// Each phase prints the median, 95th percentile and maximum frame interval
// and the time spent inside paintGL (snapshot and GL calls; with a software
// renderer most rasterisation happens later, at the swap), and phases 2 to
// 4 print the solver's passes per second (step count of the latest pass
// boundary before and after the phase).
//
// Needs an X display with OpenGL; the documented run (docs/ARCHITECTURE.md):
//   LP_NUM_THREADS=... QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24"
//     build/bench/bench_frame_time [seconds]
//
// Usage: bench_frame_time [seconds per phase, default 4]

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "grid/geometry.h"
#include "grid/interpolation.h"
#include "gui/render/brelvik_view.h"
#include "solver/solver.h"
#include "state/participant_tuner.h"
#include "state/simulation_state.h"
#include "state/view_snapshot.h"
#include "state/work_team.h"

#include "../bench_support.h"

using namespace brelvik;

namespace {

constexpr int kViewWidth = 1000, kViewHeight = 700;
// Passes run before the view opens, so that the vectors have length (the
// flow starts from rest).
constexpr int kWarmPasses = 100;

// The program's view, with the time spent in each paintGL recorded.
class TimedView : public CBrelvikView {
 public:
  using CBrelvikView::CBrelvikView;
  std::vector<double> paintMs;
  std::string renderer;

 protected:
  void initializeGL() override {
    CBrelvikView::initializeGL();
    const GLubyte* name = context()->functions()->glGetString(GL_RENDERER);
    renderer = name ? reinterpret_cast<const char*>(name) : "unknown";
  }
  void paintGL() override {
    QElapsedTimer t;
    t.start();
    CBrelvikView::paintGL();
    paintMs.push_back(t.nsecsElapsed() * 1e-6);
  }
};

// q-quantile (0..1) of `v` by the nearest-rank rule: the smallest value
// with at least q * n values at or below it.
double quantile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t rank = static_cast<size_t>(std::ceil(q * v.size()));
  return v[std::clamp<size_t>(rank, 1, v.size()) - 1];
}

void printRow(const char* what, const std::vector<double>& ms) {
  std::printf("    %-15s median %7.2f  p95 %7.2f  max %7.2f ms  (%zu frames)\n", what,
              quantile(ms, 0.5), quantile(ms, 0.95), quantile(ms, 1.0), ms.size());
}

// Redraws continuously for `seconds` and returns the intervals (ms) between
// consecutive frameSwapped signals.
std::vector<double> measureFrames(TimedView& view, double seconds) {
  std::vector<double> intervals;
  QElapsedTimer clock;
  qint64 last = -1;
  const auto connection = QObject::connect(&view, &QOpenGLWidget::frameSwapped, [&] {
    const qint64 now = clock.nsecsElapsed();
    if (last >= 0) intervals.push_back((now - last) * 1e-6);
    last = now;
    view.update();
  });
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
  clock.start();
  view.paintMs.clear();
  view.update();
  loop.exec();
  QObject::disconnect(connection);
  return intervals;
}

void runPhase(const char* title, TimedView& view, SimulationState& s, double seconds,
              bool solverRunning) {
  // Half a second to settle (the tuner's first probes, the caches), not measured.
  measureFrames(view, 0.5);
  const int stepsBefore = currentPassScalars(s).stepCount;
  QElapsedTimer wall;
  wall.start();
  const std::vector<double> frames = measureFrames(view, seconds);
  const double elapsed = wall.nsecsElapsed() * 1e-9;
  const int stepsAfter = currentPassScalars(s).stepCount;
  std::printf("  %s\n", title);
  printRow("frame interval", frames);
  printRow("paintGL", view.paintMs);
  std::printf("    frames per second %.1f", frames.size() / elapsed);
  if (solverRunning)
    std::printf(", solver passes per second %.1f (%d passes)", (stepsAfter - stepsBefore) / elapsed,
                stepsAfter - stepsBefore);
  std::printf("\n");
}

bool buildCase(SimulationState& s) {
  if (!bench::buildShellCase(s, 19, 12, 12, "bench_frame_time")) return false;
  newCase(s);
  for (int i = 0; i < kWarmPasses; ++i) solverPass(s);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  QApplication app(argc, argv);
  const double seconds = argc > 1 ? std::max(0.5, std::atof(argv[1])) : 4.0;
  const char* lpThreads = std::getenv("LP_NUM_THREADS");
  std::printf("load average at start: %s\n", bench::loadAverage().c_str());
  std::printf("processors %d, LP_NUM_THREADS %s, %.1f s per phase\n", processorCount(),
              lpThreads ? lpThreads : "unset", seconds);

  SimulationState s;
  setComputeThreads(0);
  if (!buildCase(s)) return 1;
  s.volumesMode = 2;
  s.samplingPlane.showComputed = 1;

  TimedView view(s);
  view.resize(kViewWidth, kViewHeight);
  view.show();
  measureFrames(view, 0.5);  // the window exposed and the first frames drawn
  std::printf("view %dx%d, renderer %s, default grid with outlines and velocity vectors\n",
              view.width(), view.height(), view.renderer.c_str());

  runPhase("(1) solver stopped", view, s, seconds, false);

  setParticipantTuning(true);
  startSolver(s);
  runPhase("(2) solver running, all processors, participants tuned", view, s, seconds, true);
  setParticipantTuning(false);
  runPhase("(3) solver running, all processors, tuning off", view, s, seconds, true);
  setParticipantTuning(true);
  {
    s.setRepaintCallback({});
    QEventLoop loop;
    QTimer::singleShot(500, &loop, &QEventLoop::quit);  // settle, as in the other phases
    loop.exec();
    const int stepsBefore = currentPassScalars(s).stepCount;
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    const double elapsed = wall.nsecsElapsed() * 1e-9;
    const int passes = currentPassScalars(s).stepCount - stepsBefore;
    std::printf("  (4) solver running, all processors, participants tuned, view not redrawn\n"
                "    solver passes per second %.1f (%d passes)\n", passes / elapsed, passes);
    s.setRepaintCallback([&view] { view.requestRepaint(); });
  }
  stopSolver(s);
  s.solveThread.pauseAndWait();

  std::printf("load average at end: %s\n", bench::loadAverage().c_str());
  return 0;
}
