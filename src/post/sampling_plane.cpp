#include "post/sampling_plane.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

#include "post/post_stencil.h"

namespace brelvik {

namespace {

// (x2 - x1)/(N + 1) with N + 1 formed in double, so that no count overflows.
// A count of -1 (possible only on an axis normal to the plane, which is never
// used) gives a step of 0 instead of an infinity.
double latticeStep(double a, double b, int n) {
  const double cells = static_cast<double>(n) + 1.0;
  return cells == 0.0 ? 0.0 : (b - a) / cells;
}

// Lattice counts (iMax, jMax) and their fields for an orientation.
struct PlaneAxes {
  int iMax, jMax;
  InputField iField, jField;
};

PlaneAxes planeAxes(const SamplingPlane& sp) {
  switch (sp.plane) {
    case 1: return {sp.Nx, sp.Ny, InputField::kPlaneNx, InputField::kPlaneNy};
    case 2: return {sp.Nx, sp.Nz, InputField::kPlaneNx, InputField::kPlaneNz};
    default: return {sp.Ny, sp.Nz, InputField::kPlaneNy, InputField::kPlaneNz};
  }
}

// The two in-plane coordinates of a sample, in the order of the export.
void inPlaneCoordinates(const SamplingPlane& sp, int n, double& a, double& b) {
  const double* p = &sp.positions[3 * static_cast<size_t>(n)];
  switch (sp.computedPlane) {
    case 1: a = p[0]; b = p[1]; break;
    case 2: a = p[0]; b = p[2]; break;
    default: a = p[1]; b = p[2]; break;
  }
}

// Σ weights[m] * field[stencil[m]], in stencil order from 0.
double applyStencil(const std::array<int, 10>& stencil, const std::array<double, 10>& weights,
                    const std::vector<double>& field) {
  double sum = 0;
  for (int m = 0; m < 10; ++m) sum += weights[m] * field[static_cast<size_t>(stencil[m])];
  return sum;
}

// "%.5f" independent of the process locale (the desktop program may run
// under a locale whose decimal separator is a comma).
void appendFixed5(std::string& out, double v) {
  char buf[512];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 5);
  out.append(buf, res.ptr);
}

bool writeColumnFile(const std::filesystem::path& path, const SamplingPlane& sp,
                     const std::vector<double>& values, CoreError* error) {
  std::string text;
  text.reserve(values.size() * 40);
  for (size_t n = 0; n < values.size(); ++n) {
    double a, b;
    inPlaneCoordinates(sp, static_cast<int>(n), a, b);
    appendFixed5(text, a);
    text += ' ';
    appendFixed5(text, b);
    text += ' ';
    appendFixed5(text, values[n]);
    text += " \n";
  }
  std::FILE* f = std::fopen(path.string().c_str(), "w");
  if (!f) return failFile(error, ErrorCode::kFileUnwritable, path.string());
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed)
    return failFile(error, ErrorCode::kFileUnwritable, path.string());
  return true;
}

}  // namespace

Vec3 samplePosition(const SamplingPlane& sp, int i, int j) {
  switch (sp.plane) {
    case 1:
      return {sp.x1 + 0.5 * sp.hx + i * sp.hx, sp.y1 + 0.5 * sp.hy + j * sp.hy, sp.z1};
    case 2:
      return {sp.x1 + 0.5 * sp.hx + i * sp.hx, sp.y1, sp.z1 + 0.5 * sp.hz + j * sp.hz};
    default:
      return {sp.x1, sp.y1 + 0.5 * sp.hy + i * sp.hy, sp.z1 + 0.5 * sp.hz + j * sp.hz};
  }
}

bool computeSamplingPlane(SimulationState& s, CoreError* error) {
  SamplingPlane& sp = s.samplingPlane;
  if (sp.plane < 1 || sp.plane > 3)
    return fail(error, ErrorCode::kUnknownPlane, InputField::kNone, {sp.plane, 0, 0});
  const PlaneAxes axes = planeAxes(sp);
  if (axes.iMax < 0 || axes.jMax < 0)
    return fail(error, ErrorCode::kNegative, axes.iMax < 0 ? axes.iField : axes.jField);
  const long long samples =
      (static_cast<long long>(axes.iMax) + 1) * (static_cast<long long>(axes.jMax) + 1);
  if (samples > kMaxPlaneSamples)
    return fail(error, ErrorCode::kTooManySamples, InputField::kPlaneCounts,
                {samples, kMaxPlaneSamples, 0});

  sp.hx = latticeStep(sp.x1, sp.x2, sp.Nx);
  sp.hy = latticeStep(sp.y1, sp.y2, sp.Ny);
  sp.hz = latticeStep(sp.z1, sp.z2, sp.Nz);
  sp.iMax = axes.iMax;
  sp.jMax = axes.jMax;
  sp.computedPlane = sp.plane;

  const size_t count = static_cast<size_t>(samples);
  sp.positions.assign(3 * count, 0.0);
  sp.donorVolume.assign(count, -1);
  sp.stencil.assign(count, std::array<int, 10>{});
  sp.weights.assign(count, std::array<double, 10>{});
  sp.sampleU.assign(count, 0.0);
  sp.sampleV.assign(count, 0.0);
  sp.sampleW.assign(count, 0.0);

  const int cols = sp.jMax + 1;
  for (int i = 0; i <= sp.iMax; ++i)
    for (int j = 0; j <= sp.jMax; ++j) {
      const Vec3 p = samplePosition(sp, i, j);
      const size_t n = static_cast<size_t>(i) * cols + j;
      sp.positions[3 * n] = p[0];
      sp.positions[3 * n + 1] = p[1];
      sp.positions[3 * n + 2] = p[2];
    }

  // Samples are independent; each thread keeps its own search scratch, so
  // the result does not depend on the number of threads.
  const long long total = samples;
#pragma omp parallel
  {
    PostStencilSearch search;
#pragma omp for schedule(dynamic, 16)
    for (long long n = 0; n < total; ++n) {
      const size_t u = static_cast<size_t>(n);
      const Vec3 p{sp.positions[3 * u], sp.positions[3 * u + 1], sp.positions[3 * u + 2]};
      const int donor = findDonorVolume(s, p);
      if (donor >= 0 &&
          search.find(s.volumes[static_cast<size_t>(donor)], p, sp.stencil[u], sp.weights[u]))
        sp.donorVolume[u] = donor;
      else
        sp.donorVolume[u] = -1;
    }
  }

  sp.planeComputed = 1;
  sp.computedGeneration = s.volumesGeneration.load();
  return true;
}

bool samplingPlaneValid(const SimulationState& s) {
  const SamplingPlane& sp = s.samplingPlane;
  if (sp.planeComputed != 1 || sp.computedGeneration != s.volumesGeneration.load()) return false;
  const size_t count = static_cast<size_t>(sp.iMax + 1) * static_cast<size_t>(sp.jMax + 1);
  if (sp.iMax < 0 || sp.jMax < 0 || sp.donorVolume.size() != count ||
      sp.positions.size() != 3 * count || sp.stencil.size() != count ||
      sp.weights.size() != count)
    return false;
  for (size_t n = 0; n < count; ++n) {
    const int d = sp.donorVolume[n];
    if (d < 0) continue;
    if (d >= s.volumeCount || static_cast<size_t>(d) >= s.volumes.size()) return false;
    const FiniteVolume& vol = s.volumes[static_cast<size_t>(d)];
    const size_t points = vol.u_glob.size();
    for (int idx : sp.stencil[n])
      if (idx < 0 || static_cast<size_t>(idx) >= points) return false;
  }
  return true;
}

void sampleVelocitiesOf(const SamplingPlane& sp, const VolumeVelocities& velocity,
                        std::vector<double>& u, std::vector<double>& v, std::vector<double>& w) {
  const size_t count = sp.donorVolume.size();
  u.assign(count, 0.0);
  v.assign(count, 0.0);
  w.assign(count, 0.0);
  for (size_t n = 0; n < count; ++n) {
    const int d = sp.donorVolume[n];
    if (d < 0 || static_cast<size_t>(d) >= velocity.size()) continue;
    const auto& donor = velocity[static_cast<size_t>(d)];
    if (donor[0]->empty() || donor[1]->empty() || donor[2]->empty()) continue;
    u[n] = applyStencil(sp.stencil[n], sp.weights[n], *donor[0]);
    v[n] = applyStencil(sp.stencil[n], sp.weights[n], *donor[1]);
    w[n] = applyStencil(sp.stencil[n], sp.weights[n], *donor[2]);
  }
}

void sampleVelocities(SimulationState& s) {
  if (!samplingPlaneValid(s)) return;
  VolumeVelocities velocity;
  for (const FiniteVolume& vol : s.volumes) velocity.push_back({&vol.u_glob, &vol.v_glob, &vol.w_glob});
  SamplingPlane& sp = s.samplingPlane;
  sampleVelocitiesOf(sp, velocity, sp.sampleU, sp.sampleV, sp.sampleW);
}

bool exportWinsurf(SimulationState& s, const std::string& dir, CoreError* error) {
  if (!samplingPlaneValid(s))
    return fail(error,
                s.samplingPlane.planeComputed == 1 ? ErrorCode::kPlaneStale : ErrorCode::kPlaneNotComputed,
                InputField::kNone);
  SamplingPlane& sp = s.samplingPlane;
  const size_t count = sp.donorVolume.size();
  std::vector<double> T(count, -1.0), p(count, -1.0), ro(count, -1.0), speed(count, -1.0);
  // The values are taken between two solver passes, so the four files show
  // one and the same step.
  {
    std::lock_guard<std::mutex> pass(s.passMutex);
    sampleVelocities(s);
    for (size_t n = 0; n < count; ++n) {
      const int d = sp.donorVolume[n];
      if (d < 0) continue;
      const FiniteVolume& vol = s.volumes[static_cast<size_t>(d)];
      T[n] = applyStencil(sp.stencil[n], sp.weights[n], vol.T);
      p[n] = applyStencil(sp.stencil[n], sp.weights[n], vol.P);
      ro[n] = applyStencil(sp.stencil[n], sp.weights[n], vol.ro);
      speed[n] = std::sqrt(sp.sampleU[n] * sp.sampleU[n] + sp.sampleV[n] * sp.sampleV[n] +
                           sp.sampleW[n] * sp.sampleW[n]);
    }
  }

  namespace fs = std::filesystem;
  const fs::path folder = (dir.empty() ? fs::path(".") : fs::path(dir)) / "Winsurf_files";
  std::error_code ec;
  fs::create_directory(folder, ec);
  if (ec || !fs::is_directory(folder, ec))
    return failFile(error, ErrorCode::kFolderNotCreated, folder.string(),
                    ec ? ec.message() : std::string());
  return writeColumnFile(folder / "T.dat", sp, T, error) &&
         writeColumnFile(folder / "p.dat", sp, p, error) &&
         writeColumnFile(folder / "ro.dat", sp, ro, error) &&
         writeColumnFile(folder / "velocity.dat", sp, speed, error);
}

}  // namespace brelvik
