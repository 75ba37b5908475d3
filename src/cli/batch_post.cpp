// Post-processing options of brelvik-batch: the sampling plane with its
// surface-plot export, and streamlines traced after the run.

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <sstream>

#include "cli/batch.h"
#include "grid/geometry.h"
#include "post/sampling_plane.h"
#include "post/streamlines.h"

namespace brelvik {

namespace {

bool postError(std::string* error, const std::string& name, const std::string& what) {
  if (error) *error = "option --" + name + ": " + what;
  return false;
}

// Comma-separated whole-token numbers; exactly `count` of them.
bool parseNumberList(const std::string& text, size_t count, std::vector<double>& out) {
  out.clear();
  std::string item;
  std::stringstream ss(text);
  while (std::getline(ss, item, ',')) {
    if (item.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(item.c_str(), &end);
    if (*end != '\0' || errno == ERANGE || !std::isfinite(v)) return false;
    out.push_back(v);
  }
  if (!text.empty() && text.back() == ',') return false;
  return out.size() == count;
}

bool isWholeNumber(double v) { return v == std::floor(v) && std::fabs(v) <= 1e9; }

// Coordinates are rounded to single precision, as the dialogs store them.
Vec3 singleTriple(const std::vector<double>& v) {
  return {toSingle(v[0]), toSingle(v[1]), toSingle(v[2])};
}

auto pointOption(const char* name, std::optional<Vec3> BatchOptions::*field) {
  return [name, field](BatchOptions& o, const std::string& v, std::string* error) {
    std::vector<double> xyz;
    if (!parseNumberList(v, 3, xyz)) return postError(error, name, "expects X,Y,Z, got \"" + v + "\"");
    o.*field = singleTriple(xyz);
    return true;
  };
}

}  // namespace

std::vector<BatchOption> withPostOptions(std::vector<BatchOption> table) {
  std::vector<BatchOption> rows = {
      {"plane", "xy|xz|yz",
       "after the run, export the flow on a plane to \"Winsurf_files\" in the working "
       "directory (needs --from, --to, --counts)",
       [](BatchOptions& o, const std::string& v, std::string* error) {
         if (v == "xy" || v == "XY") o.plane = 1;
         else if (v == "xz" || v == "XZ") o.plane = 2;
         else if (v == "yz" || v == "YZ") o.plane = 3;
         else return postError(error, "plane", "must be xy, xz or yz, got \"" + v + "\"");
         return true;
       }},
      {"from", "X,Y,Z", "first corner of the plane; coordinates in single precision, as in the dialogs",
       pointOption("from", &BatchOptions::planeFrom)},
      {"to", "X,Y,Z", "opposite corner of the plane",
       pointOption("to", &BatchOptions::planeTo)},
      {"counts", "NX,NY,NZ",
       "lattice counts: N+1 samples along each in-plane axis",
       [](BatchOptions& o, const std::string& v, std::string* error) {
         std::vector<double> n;
         if (!parseNumberList(v, 3, n) || !isWholeNumber(n[0]) || !isWholeNumber(n[1]) ||
             !isWholeNumber(n[2]))
           return postError(error, "counts", "expects three integers NX,NY,NZ, got \"" + v + "\"");
         if (n[0] < 0 || n[1] < 0 || n[2] < 0)
           return postError(error, "counts", "counts must not be negative, got \"" + v + "\"");
         o.planeCounts = std::array<int, 3>{int(n[0]), int(n[1]), int(n[2])};
         return true;
       }},
      {"seed", "X,Y,Z", "streamline seed (repeatable)",
       [](BatchOptions& o, const std::string& v, std::string* error) {
         std::vector<double> xyz;
         if (!parseNumberList(v, 3, xyz)) return postError(error, "seed", "expects X,Y,Z, got \"" + v + "\"");
         if (o.seeds.size() >= static_cast<size_t>(kMaxSeeds))
           return postError(error, "seed", "more than " + std::to_string(kMaxSeeds) + " seeds in all");
         o.seeds.push_back(singleTriple(xyz));
         return true;
       }},
      {"circle", "X,Y,Z,R,N",
       "N seeds on the circle of radius R round (X,Y,Z) in the plane x = X (repeatable)",
       [](BatchOptions& o, const std::string& v, std::string* error) {
         std::vector<double> c;
         if (!parseNumberList(v, 5, c) || !isWholeNumber(c[4]))
           return postError(error, "circle", "expects X,Y,Z,R,N with an integer N, got \"" + v + "\"");
         if (c[4] < 1) return postError(error, "circle", "N must be at least 1, got \"" + v + "\"");
         if (c[4] > kMaxSeeds - static_cast<double>(o.seeds.size()))
           return postError(error, "circle",
                            "gives more than " + std::to_string(kMaxSeeds) + " seeds in all, got \"" + v + "\"");
         for (const Vec3& p : circleSeeds(toSingle(c[0]), toSingle(c[1]), toSingle(c[2]),
                                          toSingle(c[3]), int(c[4])))
           o.seeds.push_back(p);
         return true;
       }},
      {"line-points", "N",
       "streamline point budget: at most N/2 points per line (default 1000)",
       [](BatchOptions& o, const std::string& v, std::string* error) {
         std::vector<double> n;
         if (!parseNumberList(v, 1, n) || !isWholeNumber(n[0]))
           return postError(error, "line-points", "\"" + v + "\" is not an integer");
         if (n[0] < 0) return postError(error, "line-points", "must not be negative, got " + v);
         if (n[0] > kMaxLinePoints)
           return postError(error, "line-points",
                            "must be at most " + std::to_string(kMaxLinePoints) + ", got " + v);
         o.linePoints = int(n[0]);
         o.linePointsGiven = true;
         return true;
       }},
      {"streamlines", "FILE",
       "after the run, trace the seeds and write \"line x y z\" per point to FILE",
       [](BatchOptions& o, const std::string& v, std::string* error) {
         if (v.empty()) return postError(error, "streamlines", "needs a file name");
         o.streamlinesFile = v;
         return true;
       }},
  };
  // Before the general flags (--quiet, --help) at the end of the table.
  auto at = table.end();
  for (auto it = table.begin(); it != table.end(); ++it)
    if (std::string(it->name) == "quiet") at = it;
  table.insert(at, rows.begin(), rows.end());
  return table;
}

bool checkPostOptions(const BatchOptions& o, std::string* error) {
  const bool planeParts = o.planeFrom || o.planeTo || o.planeCounts;
  if (o.plane == 0 && planeParts)
    return postError(error, o.planeFrom ? "from" : o.planeTo ? "to" : "counts",
                     "needs --plane xy|xz|yz");
  if (o.plane != 0) {
    if (!o.planeFrom) return postError(error, "plane", "needs --from X,Y,Z");
    if (!o.planeTo) return postError(error, "plane", "needs --to X,Y,Z");
    if (!o.planeCounts) return postError(error, "plane", "needs --counts NX,NY,NZ");
    const auto& n = *o.planeCounts;
    const int a = o.plane == 3 ? n[1] : n[0];
    const int b = o.plane == 1 ? n[1] : n[2];
    const long long samples = (static_cast<long long>(a) + 1) * (static_cast<long long>(b) + 1);
    if (samples > kMaxPlaneSamples)
      return postError(error, "counts",
                       "gives " + std::to_string(samples) + " samples, at most " +
                           std::to_string(kMaxPlaneSamples));
  }
  if (!o.seeds.empty() && o.streamlinesFile.empty())
    return postError(error, "seed", "the seeds need --streamlines FILE");
  if (o.linePointsGiven && o.streamlinesFile.empty())
    return postError(error, "line-points", "needs --streamlines FILE");
  if (!o.streamlinesFile.empty() && o.seeds.empty())
    return postError(error, "streamlines", "needs at least one --seed or --circle");
  const long long traced = static_cast<long long>(o.seeds.size()) * (o.linePoints / 2 + 1);
  if (!o.streamlinesFile.empty() && traced > kMaxTracedPoints)
    return postError(error, "line-points",
                     "with " + std::to_string(o.seeds.size()) + " seeds gives " +
                         std::to_string(traced) + " points, at most " +
                         std::to_string(kMaxTracedPoints) + " in all");
  return true;
}

int runPostProcessing(SimulationState& s, const BatchOptions& o, std::ostream& err) {
  CoreError error;
  if (o.plane != 0) {
    SamplingPlane& sp = s.samplingPlane;
    sp.plane = o.plane;
    sp.x1 = (*o.planeFrom)[0];
    sp.y1 = (*o.planeFrom)[1];
    sp.z1 = (*o.planeFrom)[2];
    sp.x2 = (*o.planeTo)[0];
    sp.y2 = (*o.planeTo)[1];
    sp.z2 = (*o.planeTo)[2];
    sp.Nx = (*o.planeCounts)[0];
    sp.Ny = (*o.planeCounts)[1];
    sp.Nz = (*o.planeCounts)[2];
    if (!computeSamplingPlane(s, &error)) {
      err << "brelvik-batch: " << batchErrorText(error) << "\n";
      return kExitBadInput;
    }
    if (!exportWinsurf(s, ".", &error)) {
      err << "brelvik-batch: " << batchErrorText(error) << "\n";
      return kExitFileError;
    }
    size_t inside = 0;
    for (int d : sp.donorVolume) inside += d >= 0 ? 1 : 0;
    err << "brelvik-batch: sampling plane of " << sp.donorVolume.size() << " samples (" << inside
        << " inside the volumes) exported to Winsurf_files\n";
  }
  if (!o.streamlinesFile.empty()) {
    {
      std::lock_guard<std::mutex> lock(s.seriesMutex);
      s.seedX.clear();
      s.seedY.clear();
      s.seedZ.clear();
    }
    for (const Vec3& p : o.seeds) appendSeed(s, p);
    s.streamlinePointCount = o.linePoints;
    traceFlowLines(s);
    if (!writeStreamlines(s, o.streamlinesFile, &error)) {
      err << "brelvik-batch: " << batchErrorText(error) << "\n";
      return kExitFileError;
    }
    long points = 0;
    {
      std::lock_guard<std::mutex> lock(s.seriesMutex);
      for (int m = 0; m < s.lineX.rowCount(); ++m) points += s.lineX.row(m).size();
    }
    err << "brelvik-batch: " << o.seeds.size() << " streamlines (" << points << " points) written to "
        << o.streamlinesFile << "\n";
  }
  return kExitDone;
}

}  // namespace brelvik
