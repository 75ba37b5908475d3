// Export options of brelvik-batch: VTK moments and series, the drag history
// as CSV and as an SVG plot.

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <ostream>

#include "cli/batch.h"
#include "post/history_export.h"
#include "post/vtk_export.h"

namespace brelvik {

namespace {

bool exportError(std::string* error, const std::string& name, const std::string& what) {
  if (error) *error = "option --" + name + ": " + what;
  return false;
}

auto nameOption(const char* name, std::string BatchOptions::*field, const char* what) {
  return [name, field, what](BatchOptions& o, const std::string& v, std::string* error) {
    if (v.empty()) return exportError(error, name, std::string("needs a ") + what);
    o.*field = v;
    return true;
  };
}

// Replaces the series entry of the same step (the moment at the end after
// streamlines were traced) or appends a new one.
void recordMoment(std::vector<VtkMoment>& moments, const VtkMoment& m) {
  if (!moments.empty() && moments.back().vtmFile == m.vtmFile)
    moments.back() = m;
  else
    moments.push_back(m);
}

int report(std::ostream& err, const CoreError& error) {
  err << "brelvik-batch: " << batchErrorText(error) << "\n";
  return kExitFileError;
}

}  // namespace

std::vector<BatchOption> withExportOptions(std::vector<BatchOption> table) {
  std::vector<BatchOption> rows = {
      {"vtk", "DIR",
       "after the run, write the flow as VTK XML files (DIR/step_N.vtm with its folder) for "
       "ParaView and VisIt",
       nameOption("vtk", &BatchOptions::vtkDir, "folder name")},
      {"vtk-every", "N", "with --vtk: also write a moment every N steps and DIR/case.pvd listing them",
       [](BatchOptions& o, const std::string& v, std::string* error) {
         char* end = nullptr;
         errno = 0;
         const long n = v.empty() ? 0 : std::strtol(v.c_str(), &end, 10);
         if (v.empty() || *end != '\0' || errno == ERANGE || n > INT_MAX)
           return exportError(error, "vtk-every", "\"" + v + "\" is not an integer");
         if (n < 1) return exportError(error, "vtk-every", "must be at least 1, got " + v);
         o.vtkEvery = int(n);
         return true;
       }},
      {"history", "FILE", "after the run, write the drag history as CSV to FILE",
       nameOption("history", &BatchOptions::historyFile, "file name")},
      {"plot", "FILE", "after the run, draw the drag history as an SVG image into FILE",
       nameOption("plot", &BatchOptions::plotFile, "file name")},
  };
  auto at = table.end();
  for (auto it = table.begin(); it != table.end(); ++it)
    if (std::string(it->name) == "quiet") at = it;
  table.insert(at, rows.begin(), rows.end());
  return table;
}

bool checkExportOptions(const BatchOptions& o, std::string* error) {
  if (o.vtkEvery > 0 && o.vtkDir.empty())
    return exportError(error, "vtk-every", "needs --vtk DIR for the files");
  return true;
}

int exportDuringRun(SimulationState& s, const BatchOptions& o, int pass,
                    std::vector<VtkMoment>& moments, std::ostream& err) {
  if (o.vtkEvery <= 0 || pass % o.vtkEvery != 0) return kExitDone;
  CoreError error;
  VtkMoment m;
  {
    std::lock_guard<std::mutex> lock(s.passMutex);
    if (!writeVtkMoment(s, o.vtkDir, vtkMomentName(s.stepCount), &m, &error))
      return report(err, error);
  }
  recordMoment(moments, m);
  // Rewritten after every moment, so an interrupted run leaves a usable
  // collection of what it wrote.
  if (!writeVtkCollection(o.vtkDir, moments, &error)) return report(err, error);
  return kExitDone;
}

int exportAfterRun(SimulationState& s, const BatchOptions& o, std::vector<VtkMoment>& moments,
                   std::ostream& err) {
  CoreError error;
  int status = kExitDone;
  if (!o.vtkDir.empty()) {
    VtkMoment m;
    bool ok;
    {
      std::lock_guard<std::mutex> lock(s.passMutex);
      ok = writeVtkMoment(s, o.vtkDir, vtkMomentName(s.stepCount), &m, &error);
    }
    if (ok) {
      recordMoment(moments, m);
      if (o.vtkEvery > 0 && !writeVtkCollection(o.vtkDir, moments, &error)) ok = false;
    }
    if (ok)
      err << "brelvik-batch: VTK files written to " << o.vtkDir << "/" << m.vtmFile
          << (o.vtkEvery > 0 ? " and case.pvd (" + std::to_string(moments.size()) + " moments)"
                             : std::string())
          << "\n";
    else
      status = report(err, error);
  }
  if (!o.historyFile.empty() || !o.plotFile.empty()) {
    const HistoryTable h = historyTableOf(s);
    if (!o.historyFile.empty()) {
      if (writeHistoryCsv(h, o.historyFile, &error))
        err << "brelvik-batch: drag history (" << h.time.size() << " samples) written to "
            << o.historyFile << "\n";
      else
        status = report(err, error);
    }
    if (!o.plotFile.empty()) {
      if (writeHistorySvg(h, o.plotFile, &error))
        err << "brelvik-batch: drag history plot written to " << o.plotFile << "\n";
      else
        status = report(err, error);
    }
  }
  return status;
}

}  // namespace brelvik
