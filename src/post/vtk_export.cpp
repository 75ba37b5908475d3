#include "post/vtk_export.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <mutex>

#include "io/text_file.h"
#include "io/vtk_xml.h"
#include "post/post_stencil.h"
#include "post/streamlines.h"
#include "solver/coefficients.h"

namespace brelvik {

using io_detail::joinPath;
using io_detail::makeFolder;

namespace {

// Structured extent "0 a 0 b 0 c" of a block whose x index is the fastest.
std::string extent(int a, int b, int c) {
  return "0 " + std::to_string(a) + " 0 " + std::to_string(b) + " 0 " + std::to_string(c);
}

// Global components of a vector given along the volume's local axes.
Vec3 toGlobal(const FiniteVolume& vol, double x, double y, double z) {
  return {x * vol.axis_x[0] + y * vol.axis_y[0] + z * vol.axis_z[0],
          x * vol.axis_x[1] + y * vol.axis_y[1] + z * vol.axis_z[1],
          x * vol.axis_x[2] + y * vol.axis_y[2] + z * vol.axis_z[2]};
}

void addTime(VtkDatasetFile& file, double time) {
  file.raw("<FieldData>\n");
  file.addFieldFloat64("TimeValue", &time, 1);
  file.raw("</FieldData>\n");
}

// Ghost bits of the cells: a cell with a hidden corner is hidden; a cell
// with an interpolated corner lies in the overlap strip outside the own
// sector, where the donor volume's computed cells cover the same space, so
// it is a duplicate that renderers and statistics skip.
std::vector<uint8_t> cellGhosts(const FiniteVolume& vol, const std::vector<uint8_t>& pointGhost) {
  std::vector<uint8_t> cells(size_t(vol.Nx) * size_t(vol.Ny) * size_t(vol.Nz));
  size_t c = 0;
  for (int i = 0; i < vol.Nx; ++i)
    for (int j = 0; j < vol.Ny; ++j)
      for (int k = 0; k < vol.Nz; ++k, ++c) {
        uint8_t corners = 0;
        for (int di = 0; di < 2; ++di)
          for (int dj = 0; dj < 2; ++dj)
            for (int dk = 0; dk < 2; ++dk)
              corners |= pointGhost[size_t(pointIndex(vol, i + di, j + dj, k + dk))];
        cells[c] = (corners & kVtkHiddenPoint)      ? kVtkHiddenCell
                   : (corners & kVtkDuplicatePoint) ? kVtkDuplicateCell
                                                    : 0;
      }
  return cells;
}

}  // namespace

// Points whose values the solver computes are ordinary points (0). An
// interpolated point (types 4..7) holds a genuine value, but one copied from
// the donor volume that computes the same place: DUPLICATEPOINT, so that
// merging filters and statistics count that place once, and the cells of
// the overlap strip are marked DUPLICATECELL. Points outside the computed
// region with no flow value of their own (inactive points, and the boundary
// layers inside the sphere and beyond the outer radius that only carry
// boundary conditions) are HIDDENPOINT: a structured grid blanks every cell
// touching one, so nothing is drawn inside the sphere or outside the domain.
unsigned char pointGhostOf(int pointType) {
  if (pointType == kPointComputed || pointType == kPointReserved) return 0;
  if (pointType >= kPointInterpolated) return kVtkDuplicatePoint;
  return kVtkHiddenPoint;
}

WallScales wallScalesOf(const SimulationState& s) {
  WallScales w;
  w.k = s.k;
  w.M = s.M;
  w.Re = s.Re;
  w.schemeOrder = s.schemeOrder;
  return w;
}

bool writeVolumeVts(const FiniteVolume& vol, double time, const std::string& path,
                    CoreError* error) {
  const size_t n = size_t(vol.pointCount());
  if (!vol.allocated || vol.ro.size() < n || vol.point_glob.size() < 3 * n ||
      vol.type_point.size() < n)
    return failFile(error, ErrorCode::kFileUnwritable, path,
                    "volume " + std::to_string(vol.index + 1) + " has no arrays");
  const std::string ext = extent(vol.Nz, vol.Ny, vol.Nx);
  VtkDatasetFile file("StructuredGrid", "WholeExtent=\"" + ext + "\"");
  addTime(file, time);
  file.raw("<Piece Extent=\"" + ext + "\">\n<PointData Scalars=\"pressure\" Vectors=\"velocity\">\n");
  file.addFloat64("density", 1, vol.ro.data(), n);
  file.addFloat64("pressure", 1, vol.P.data(), n);
  file.addFloat64("temperature", 1, vol.T.data(), n);
  std::vector<double> velocity(3 * n);
  for (size_t p = 0; p < n; ++p) {
    velocity[3 * p] = vol.u_glob[p];
    velocity[3 * p + 1] = vol.v_glob[p];
    velocity[3 * p + 2] = vol.w_glob[p];
  }
  file.addFloat64("velocity", 3, velocity.data(), n);
  file.addFloat64("vixr", 1, vol.vixr.data(), n);
  file.addFloat64("divergence", 1, vol.div.data(), n);
  std::vector<uint8_t> type(n), ghost(n);
  for (size_t p = 0; p < n; ++p) {
    type[p] = uint8_t(vol.type_point[p]);
    ghost[p] = pointGhostOf(vol.type_point[p]);
  }
  file.addUInt8("point_type", 1, type.data(), n);
  file.addUInt8("vtkGhostType", 1, ghost.data(), n);
  file.raw("</PointData>\n<CellData>\n");
  const std::vector<uint8_t> cells = cellGhosts(vol, ghost);
  file.addUInt8("vtkGhostType", 1, cells.data(), cells.size());
  file.raw("</CellData>\n<Points>\n");
  file.addFloat64("Points", 3, vol.point_glob.data(), n);
  file.raw("</Points>\n</Piece>\n");
  return file.write(path, error);
}

bool writeWallVts(const FiniteVolume& vol, const WallScales& scales, double time,
                  const std::string& path, CoreError* error) {
  if (!vol.allocated || vol.kind != 2)
    return failFile(error, ErrorCode::kFileUnwritable, path,
                    "volume " + std::to_string(vol.index + 1) + " has no sphere face");
  const double R = vol.box_origin[0];
  const int nj = vol.j_end - vol.j_begin, nk = vol.k_end - vol.k_begin;
  const size_t count = size_t(nj + 1) * size_t(nk + 1);
  std::vector<double> points, pressure, cp, shear;
  points.reserve(3 * count);
  pressure.reserve(count);
  cp.reserve(count);
  shear.reserve(3 * count);
  // Local pressure coefficient: (P_w - p_inf) / (rho_inf U^2 / 2) with the
  // free-stream pressure 1 and rho_inf U^2 = k M^2 in these units.
  const double cpScale = 2.0 / (scales.k * scales.M * scales.M);
  for (int j = vol.j_begin; j <= vol.j_end; ++j)
    for (int k = vol.k_begin; k <= vol.k_end; ++k) {
      const FaceGeometry g = faceGeometry(vol, j, k);
      const Vec3 X = toGlobal(vol, g.x, g.y, g.z);
      for (int c = 0; c < 3; ++c) points.push_back(vol.origin[size_t(c)] + X[size_t(c)]);
      const double Pw = wallValue(vol, vol.P.data(), j, k);
      pressure.push_back(Pw);
      cp.push_back((Pw - 1.0) * cpScale);
      // Viscous traction tau.n/Re on the wall (the force per unit area that
      // the friction drag integrates), in global components.
      const std::array<double, 3> t = wallStressTimesRadius(vol, j, k, scales.schemeOrder);
      const Vec3 tg = toGlobal(vol, t[0] / (R * scales.Re), t[1] / (R * scales.Re),
                               t[2] / (R * scales.Re));
      shear.insert(shear.end(), tg.begin(), tg.end());
    }
  // One layer of points: x runs over k, y over j, z is the single wall layer.
  const std::string ext = extent(nk, nj, 0);
  VtkDatasetFile file("StructuredGrid", "WholeExtent=\"" + ext + "\"");
  addTime(file, time);
  file.raw("<Piece Extent=\"" + ext + "\">\n<PointData Scalars=\"Cp\" Vectors=\"wall_shear_stress\">\n");
  file.addFloat64("pressure", 1, pressure.data(), count);
  file.addFloat64("Cp", 1, cp.data(), count);
  file.addFloat64("wall_shear_stress", 3, shear.data(), count);
  file.raw("</PointData>\n<Points>\n");
  file.addFloat64("Points", 3, points.data(), count);
  file.raw("</Points>\n</Piece>\n");
  return file.write(path, error);
}

bool writeStreamlinesVtp(const std::vector<TracedLine>& lines, double time,
                         const std::string& path, CoreError* error) {
  std::vector<double> points, speed, lineIndex;
  std::vector<int64_t> connectivity, offsets;
  for (const TracedLine& line : lines) {
    if (line.points.empty()) continue;
    for (size_t p = 0; p < line.points.size(); ++p) {
      connectivity.push_back(int64_t(speed.size()));
      points.insert(points.end(), line.points[p].begin(), line.points[p].end());
      speed.push_back(p < line.speed.size() ? line.speed[p]
                                            : std::numeric_limits<double>::quiet_NaN());
    }
    offsets.push_back(int64_t(connectivity.size()));
    lineIndex.push_back(double(line.index));
  }
  const size_t pointCount = speed.size();
  VtkDatasetFile file("PolyData", "");
  addTime(file, time);
  file.raw("<Piece NumberOfPoints=\"" + std::to_string(pointCount) +
           "\" NumberOfVerts=\"0\" NumberOfLines=\"" + std::to_string(offsets.size()) +
           "\" NumberOfStrips=\"0\" NumberOfPolys=\"0\">\n<PointData Scalars=\"speed\">\n");
  file.addFloat64("speed", 1, speed.data(), pointCount);
  file.raw("</PointData>\n<CellData>\n");
  file.addFloat64("line", 1, lineIndex.data(), lineIndex.size());
  file.raw("</CellData>\n<Points>\n");
  file.addFloat64("Points", 3, points.data(), pointCount);
  file.raw("</Points>\n<Lines>\n");
  file.addInt64("connectivity", 1, connectivity.data(), connectivity.size());
  file.addInt64("offsets", 1, offsets.data(), offsets.size());
  file.raw("</Lines>\n</Piece>\n");
  return file.write(path, error);
}

std::vector<TracedLine> tracedLinesOf(SimulationState& s) {
  std::vector<TracedLine> lines;
  {
    std::lock_guard<std::mutex> lock(s.seriesMutex);
    // As the view draws them: the lines before the current one whole, the
    // current one as far as it is traced; a line needs two points.
    const int rows = std::min({s.lineX.rowCount(), s.lineY.rowCount(), s.lineZ.rowCount()});
    const int current = s.currentLine.load();
    for (int m = 0; m <= current && m < rows; ++m) {
      int points = std::min({s.lineX.row(m).size(), s.lineY.row(m).size(), s.lineZ.row(m).size()});
      if (m == current) points = std::min(points, s.currentLinePoints.load());
      if (points < 2) continue;
      TracedLine line;
      line.index = m;
      for (int p = 0; p < points; ++p)
        line.points.push_back({s.lineX.row(m).item(p), s.lineY.row(m).item(p), s.lineZ.row(m).item(p)});
      lines.push_back(std::move(line));
    }
  }
  PostStencilSearch search;
  for (TracedLine& line : lines)
    for (const Vec3& p : line.points) {
      Vec3 u{};
      line.speed.push_back(velocityAt(s, p, u, search)
                               ? std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2])
                               : std::numeric_limits<double>::quiet_NaN());
    }
  return lines;
}

std::string vtkMomentName(int step) {
  char name[32];
  std::snprintf(name, sizeof name, "step_%06d", step);
  return name;
}

bool writeVtkMoment(SimulationState& s, const std::string& dir, const std::string& name,
                    VtkMoment* moment, CoreError* error) {
  const std::string sub = joinPath(dir, name);
  if (!makeFolder(sub, error)) return false;
  const double time = s.physicalTime;
  const WallScales scales = wallScalesOf(s);
  std::string volumes, walls;
  int volumeBlocks = 0, wallBlocks = 0;
  for (const FiniteVolume& vol : s.volumes) {
    if (!vol.allocated) continue;
    const std::string label = std::to_string(vol.index + 1);
    const std::string volumeFile = "volume_" + label + ".vts";
    if (!writeVolumeVts(vol, time, joinPath(sub, volumeFile), error)) return false;
    volumes += "    <DataSet index=\"" + std::to_string(volumeBlocks++) + "\" name=\"volume_" +
               label + "\" file=\"" + xmlAttribute(name + "/" + volumeFile) + "\"/>\n";
    if (vol.kind != 2) continue;
    const std::string wallFile = "wall_" + label + ".vts";
    if (!writeWallVts(vol, scales, time, joinPath(sub, wallFile), error)) return false;
    walls += "    <DataSet index=\"" + std::to_string(wallBlocks++) + "\" name=\"wall_" + label +
             "\" file=\"" + xmlAttribute(name + "/" + wallFile) + "\"/>\n";
  }
  std::string vtm = std::string("<?xml version=\"1.0\"?>\n<VTKFile type=\"vtkMultiBlockDataSet\" "
                                "version=\"1.0\" byte_order=\"") +
                    vtkByteOrder() +
                    "\" header_type=\"UInt64\">\n<vtkMultiBlockDataSet>\n"
                    "  <Block index=\"0\" name=\"volumes\">\n" + volumes +
                    "  </Block>\n  <Block index=\"1\" name=\"sphere\">\n" + walls + "  </Block>\n";
  const std::vector<TracedLine> lines = tracedLinesOf(s);
  bool anyLine = false;
  for (const TracedLine& line : lines) anyLine = anyLine || !line.points.empty();
  if (anyLine) {
    if (!writeStreamlinesVtp(lines, time, joinPath(sub, "streamlines.vtp"), error)) return false;
    vtm += "  <DataSet index=\"2\" name=\"streamlines\" file=\"" +
           xmlAttribute(name + "/streamlines.vtp") + "\"/>\n";
  }
  vtm += "</vtkMultiBlockDataSet>\n</VTKFile>\n";
  if (!writeTextFileAtomically(joinPath(dir, name + ".vtm"), vtm, error)) return false;
  if (moment) *moment = VtkMoment{s.stepCount, time, name + ".vtm"};
  return true;
}

bool writeVtkCollection(const std::string& dir, const std::vector<VtkMoment>& moments,
                        CoreError* error) {
  io_detail::CNumericLocale cLocale;
  std::string pvd = std::string("<?xml version=\"1.0\"?>\n<VTKFile type=\"Collection\" version=\"1.0\" "
                                "byte_order=\"") +
                    vtkByteOrder() + "\" header_type=\"UInt64\">\n<Collection>\n";
  for (const VtkMoment& m : moments) {
    char time[40];
    std::snprintf(time, sizeof time, "%.17g", m.time);
    pvd += "  <DataSet timestep=\"" + std::string(time) + "\" group=\"\" part=\"0\" file=\"" +
           xmlAttribute(m.vtmFile) + "\"/>\n";
  }
  pvd += "</Collection>\n</VTKFile>\n";
  return writeTextFileAtomically(joinPath(dir, "case.pvd"), pvd, error);
}

bool exportVtk(SimulationState& s, const std::string& dir, CoreError* error) {
  std::lock_guard<std::mutex> pass(s.passMutex);
  if (!s.gridCreated.load() || s.volumeCount == 0)
    return failFile(error, ErrorCode::kNoGrid, dir);
  return writeVtkMoment(s, dir, vtkMomentName(s.stepCount), nullptr, error);
}

}  // namespace brelvik
