// The run of brelvik-batch: Create or Open, interpolation, New, solver
// passes, save.

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <ostream>

#include "cli/batch.h"
#include "cli/batch_limits.h"
#include "grid/geometry.h"
#include "grid/interpolation.h"
#include "io/result_folder.h"
#include "post/history_stats.h"
#include "solver/solver.h"
#include "state/work_team.h"

#ifdef _OPENMP
#include <omp.h>
#endif

namespace brelvik {

namespace {

using Clock = std::chrono::steady_clock;

// A one-line progress bar redrawn in place with '\r', at most ten times a
// second; nothing at all when disabled.
class ProgressBar {
 public:
  ProgressBar(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
  ~ProgressBar() { finish(); }

  // done of total, followed by `text`.
  void update(long done, long total, const std::string& text, bool force = false) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (!force && drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    drawn_ = true;
    constexpr int kWidth = 30;
    const int filled =
        total > 0 ? static_cast<int>(std::min<long>(kWidth, done * kWidth / total)) : kWidth;
    std::string line = "\r[" + std::string(static_cast<size_t>(filled), '#') +
                       std::string(static_cast<size_t>(kWidth - filled), '.') + "] " +
                       std::to_string(done) + "/" + std::to_string(total) + " " + text;
    // Pad so that a shorter line covers the previous one.
    if (line.size() < width_) line += std::string(width_ - line.size(), ' ');
    width_ = line.size();
    err_ << line << std::flush;
  }

  void finish() {
    if (enabled_ && drawn_) err_ << "\n" << std::flush;
    drawn_ = false;
  }

 private:
  std::ostream& err_;
  bool enabled_;
  bool drawn_ = false;
  size_t width_ = 0;
  Clock::time_point last_{};
};

std::string formatSeconds(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) return "?";
  const long s = std::lround(seconds);
  char buf[32];
  if (s >= 3600)
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
  else
    std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
  return buf;
}

// Stores a flow parameter the way the flow dialog does: rounded to single
// precision.
void storeFlowParameters(SimulationState& s, const BatchOptions& o) {
  std::lock_guard<std::mutex> pass(s.passMutex);
  if (o.dt) s.dt = toSingle(*o.dt);
  if (o.Re) s.Re = toSingle(*o.Re);
  if (o.M) s.M = toSingle(*o.M);
  if (o.Pr) s.Pr = toSingle(*o.Pr);
  if (o.k) s.k = toSingle(*o.k);
  if (o.farField) s.farField = *o.farField;
}

bool checkFlowParameters(const BatchOptions& o, std::string* error) {
  const std::pair<const char*, const std::optional<double>*> params[] = {
      {"dt", &o.dt}, {"re", &o.Re}, {"mach", &o.M}, {"pr", &o.Pr}, {"k", &o.k}};
  for (const auto& [name, value] : params) {
    if (!*value) continue;
    const double single = toSingle(**value);
    if (!std::isfinite(single) || !(single > 0)) {
      *error = std::string("option --") + name + ": value is out of the single-precision range";
      return false;
    }
    if (std::strcmp(name, "k") == 0 && !(single > 1)) {
      *error = "option --k: rounded to single precision the value is not above 1";
      return false;
    }
  }
  return true;
}

bool interpolate(SimulationState& s, const BatchStreams& io, CoreError* error) {
  ProgressBar bar(io.err, io.progressBars);
  const auto started = Clock::now();
  const bool ok = runInterpolation(
      s,
      [&](int done, int total) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
        bar.update(done, total, "interpolation points, " + formatSeconds(elapsed));
      },
      error);
  bar.finish();
  return ok;
}

void printSamples(SimulationState& s, int& printed, std::ostream& out) {
  std::lock_guard<std::mutex> series(s.seriesMutex);
  const int count = s.historyTime.size();
  for (; printed < count; ++printed) {
    char line[320];
    int length = std::snprintf(line, sizeof line, "%d\t%.17g\t%.17g\t%.17g\t%.17g", s.stepCount,
                               s.historyTime.item(printed), s.historyCx.item(printed),
                               s.historyCp.item(printed), s.historyCf.item(printed));
    for (const ValueSeries& r : s.historyResidual) {
      const double value = printed < r.size() ? r.item(printed) : NAN;
      length += std::snprintf(line + length, sizeof line - size_t(length), "\t%.6e", value);
    }
    out << line << "\n";
  }
  out.flush();
}

bool settled(SimulationState& s, const BatchOptions& o) {
  std::lock_guard<std::mutex> series(s.seriesMutex);
  return cxSettled(s.historyTime, s.historyCx, o.convergeEps, o.convergeWindow);
}

void printSummary(SimulationState& s, const BatchOptions& o, std::ostream& err) {
  char line[256];
  std::snprintf(line, sizeof line, "brelvik-batch: final Cx = %.6g, Cp = %.6g, Cf = %.6g (t = %.6g)\n",
                s.Cx, s.Cp, s.Cf, s.physicalTime);
  err << line;
  if (!o.averageFrom) return;
  CoefficientAverage a;
  {
    std::lock_guard<std::mutex> series(s.seriesMutex);
    a = timeAverage(s.historyTime, s.historyCx, s.historyCp, s.historyCf, *o.averageFrom);
  }
  if (a.samples == 0) {
    std::snprintf(line, sizeof line, "brelvik-batch: no history sample at t >= %.6g to average\n",
                  *o.averageFrom);
  } else {
    std::snprintf(line, sizeof line,
                  "brelvik-batch: average over t >= %.6g (%d samples): Cx = %.6g, Cp = %.6g, "
                  "Cf = %.6g\n",
                  *o.averageFrom, a.samples, a.Cx, a.Cp, a.Cf);
  }
  err << line;
}

// Whether the post-processing or the exports after the save read the flow
// (the sampling plane, the streamlines, the last VTK moment).
bool usesFlowAfterSave(const BatchOptions& o) {
  return o.plane != 0 || !o.streamlinesFile.empty() || !o.vtkDir.empty();
}

}  // namespace

int runBatch(SimulationState& s, const BatchOptions& o, BatchStreams io) {
  std::string error;
  CoreError coreError;
  auto failWith = [&](int status, const std::string& message) {
    io.err << "brelvik-batch: " << message << "\n";
    return status;
  };
  // Several processes: `ok` is agreed among all of them. A process that
  // failed reports itself, naming its rank; rank 0 also says when only
  // others failed. Every process then has the same answer.
  const BatchProcesses* group = io.processes && io.processes->count > 1 ? io.processes : nullptr;
  const bool rank0 = !group || group->rank == 0;
  auto agreed = [&](bool ok, const std::string& failure) {
    if (!group) {
      if (!ok) io.err << "brelvik-batch: " << failure << "\n";
      return ok;
    }
    const int failed = group->firstFailedRank(ok);
    std::ostream& own = rank0 || !group->ownErr ? io.err : *group->ownErr;
    // Each line in one write, so that the lines of several processes on
    // one terminal do not interleave within a line.
    if (!ok)
      own << ("brelvik-batch: rank " + std::to_string(group->rank) + ": " + failure + "\n")
          << std::flush;
    if (ok && failed >= 0 && rank0)
      io.err << ("brelvik-batch: stopped: rank " + std::to_string(failed) + " failed\n")
             << std::flush;
    return failed < 0;
  };

  if (!checkFlowParameters(o, &error)) return failWith(kExitBadInput, error);
  DomainInputs in;
  in.D = toSingle(o.size);
  in.s = toSingle(o.firstStep);
  in.nx = o.nx;
  in.ny = o.ny;
  in.nz = o.nz;
  if (o.openDir.empty() && !validateDomainInputs(in, s.schemeOrder, &coreError))
    return failWith(kExitBadInput, batchErrorText(coreError));

  // The solver step and the interpolation run on work teams of this size;
  // the OpenMP loops that remain (the sampling plane) follow it too.
  // Several processes on one machine share its processors: one thread
  // each unless --threads says otherwise.
  if (o.threads > 0)
    setComputeThreads(o.threads);
  else if (group)
    setComputeThreads(1);
  int teamSize = computeThreads();
#ifdef _OPENMP
  if (o.threads > 0 || group) omp_set_num_threads(computeThreads());
  teamSize = std::max(teamSize, omp_get_max_threads());
#endif
  // The OpenMP runtime ends the process when it cannot create its team, and
  // a work team would throw in the middle of a step: find out first and say
  // so.
  if (!canCreateThreads(teamSize, &error))
    return failWith(kExitBadInput, std::string(o.threads > 0 ? "option --threads: " : "") + error);

  if (!o.openDir.empty()) {
    // Every process reads the case itself; under several processes, of the
    // flow only the slices of the planes it will compute.
    const bool loaded = group && group->planesToRead
                            ? loadCase(s, o.openDir, group->planesToRead, &coreError)
                            : loadCase(s, o.openDir, &coreError);
    if (!agreed(loaded, loaded ? std::string() : batchErrorText(coreError))) return kExitFileError;
    if (s.stepCount > INT_MAX - o.steps || s.historyCounter > INT_MAX - o.steps)
      return failWith(kExitBadInput, "option --steps: " + std::to_string(o.steps) +
                                         " more steps would overflow the step counter of " +
                                         o.openDir);
    if (!s.gridCreated.load() || s.volumeCount == 0)
      return failWith(kExitBadInput, o.openDir + ": the saved case has no grid to continue");
    storeFlowParameters(s, o);
    // Complete what the saved case lacks, as the user would in the window.
    if (!s.interpolationReady.load()) {
      if (!interpolate(s, io, &coreError))
        return failWith(kExitBadInput, batchErrorText(coreError));
      newCase(s);
    } else if (!s.flowInitialised.load()) {
      newCase(s);
    }
  } else {
    if (!createDomain(s, in, &coreError))
      return failWith(kExitBadInput, batchErrorText(coreError));
    storeFlowParameters(s, o);
    if (!interpolate(s, io, &coreError))
      return failWith(kExitBadInput, batchErrorText(coreError));
    newCase(s);
  }

  if (group) group->shareSteps(s);
  int printed = 0;
  {
    std::lock_guard<std::mutex> series(s.seriesMutex);
    printed = s.historyTime.size();  // samples of a loaded case were printed by its own run
  }
  int status = kExitDone;
  bool converged = false;
  std::vector<VtkMoment> moments;
  {
    ProgressBar bar(io.err, io.progressBars);
    const auto started = Clock::now();
    for (int n = 1; n <= o.steps; ++n) {
      const bool passed = solverPass(s);
      const int before = printed;
      printSamples(s, printed, io.out);
      if (s.divergedStep.load() >= 0) {
        bar.finish();
        io.err << "brelvik-batch: the solution diverged at step " << s.divergedStep.load() << "\n";
        status = kExitDiverged;
        break;
      }
      if (!passed) {
        bar.finish();
        return failWith(kExitBadInput, "the case is not ready for the solver");
      }
      int exported = kExitDone;
      if (group && o.vtkEvery > 0 && n % o.vtkEvery == 0) {
        group->gatherToRank0(s);
        if (rank0) exported = exportDuringRun(s, o, n, moments, io.err);
        exported = group->statusOfRank0(exported);
      } else if (!group) {
        exported = exportDuringRun(s, o, n, moments, io.err);
      }
      if (exported != kExitDone) {
        // Stop here: the case is still saved below, so the run can go on
        // with --open once the folder is writable again.
        bar.finish();
        status = kExitFileError;
        break;
      }
      const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
      const double rate = elapsed > 0 ? n / elapsed : 0;
      char text[160];
      std::snprintf(text, sizeof text, "steps  t=%.6g  Cx=%.6g  %.1f steps/s  %s left",
                    s.physicalTime, s.Cx, rate,
                    formatSeconds(rate > 0 ? (o.steps - n) / rate : -1).c_str());
      bar.update(n, o.steps, text, n == o.steps);
      if (o.convergeEps > 0 && printed != before && settled(s, o)) {
        converged = true;
        bar.finish();
        io.err << "brelvik-batch: converged at step " << s.stepCount << ", time "
               << s.physicalTime << "\n";
        break;
      }
    }
  }
  if (o.convergeEps > 0 && !converged && status == kExitDone) {
    io.err << "brelvik-batch: Cx did not settle within " << o.steps << " steps\n";
    status = kExitNotConverged;
  }

  if (group) group->reportTraffic(io.err);
  // The save is staged and swapped in at once, so a failed save leaves the
  // previous case whole.
  auto agreedSave = [&](bool ok) {
    return agreed(ok, ok ? std::string() : batchErrorText(coreError));
  };
  if (!group) {
    if (!agreedSave(saveCase(s, o.saveDir, &coreError))) return kExitFileError;
  } else {
    // Rank 0 stages the folder and writes all but the slices; every process
    // writes the slices of the planes it computes; rank 0 swaps the folder
    // in. Success is agreed after each phase.
    if (!agreedSave(!rank0 || beginSharedSave(s, o.saveDir, &coreError))) return kExitFileError;
    if (!agreedSave(saveCasePlanes(s, o.saveDir, group->planesToWrite(), &coreError))) {
      if (rank0) abandonSharedSave(o.saveDir);
      return kExitFileError;
    }
    if (!agreedSave(!rank0 || finishSharedSave(s, o.saveDir, &coreError))) return kExitFileError;
    // The post-processing and the exports read the flow of every volume.
    if (usesFlowAfterSave(o)) group->gatherToRank0(s);
    if (!rank0) return group->statusOfRank0(status);
  }
  io.err << "brelvik-batch: case saved to " << o.saveDir << " (step " << s.stepCount
         << ", time " << s.physicalTime << ")\n";
  printSummary(s, o, io.err);
  const int post = runPostProcessing(s, o, io.err);
  const int exported = exportAfterRun(s, o, moments, io.err);
  const int final = post != kExitDone ? post : exported != kExitDone ? exported : status;
  return group ? group->statusOfRank0(final) : final;
}

int batchMain(SimulationState& s, const std::vector<std::string>& args, std::ostream& out,
              std::ostream& err, bool errIsTerminal) {
  return batchMain(s, args, out, err, errIsTerminal, nullptr);
}

int batchMain(SimulationState& s, const std::vector<std::string>& args, std::ostream& out,
              std::ostream& err, bool errIsTerminal, const BatchProcesses* processes) {
  BatchOptions options;
  std::string error;
  if (!parseBatchOptions(args, options, &error)) {
    err << "brelvik-batch: " << error << "\n";
    return kExitBadInput;
  }
  if (options.help) {
    out << batchUsage();
    return kExitDone;
  }
  if (args.empty()) options = noArgumentOptions();
  // A thread (the solver's, the interpolation's, a kernel team's) or a
  // large array that the system refuses ends the run with a message and a
  // status of the README, never with an uncaught exception.
  // Under several processes the others may be waiting for this one in an
  // exchange: the failure ends them all.
  const bool several = processes && processes->count > 1;
  std::ostream& own = several && processes->rank != 0 && processes->ownErr ? *processes->ownErr : err;
  const std::string who =
      several ? "brelvik-batch: rank " + std::to_string(processes->rank) + ": " : "brelvik-batch: ";
  try {
    return runBatch(s, options, BatchStreams{out, err, errIsTerminal && !options.quiet, processes});
  } catch (const std::system_error& e) {
    own << who << "cannot create a thread: " << e.what() << "\n";
  } catch (const std::bad_alloc&) {
    own << who << "out of memory\n";
  }
  if (several) {
    own.flush();
    processes->abortAll(kExitFileError);
  }
  return kExitFileError;
}

}  // namespace brelvik
