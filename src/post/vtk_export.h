#pragma once
// Export of the flow at one moment to VTK XML files that ParaView and VisIt
// read (written by our own writer, io/vtk_xml.h; no VTK library is linked).
//
// One moment named NAME below a folder DIR:
//   DIR/NAME.vtm                 multiblock: block "volumes", block "sphere",
//                                and "streamlines" when lines are traced
//   DIR/NAME/volume_N.vts        volume N-1 (StructuredGrid, global coordinates)
//   DIR/NAME/wall_N.vts          its sphere face (shell sectors only)
//   DIR/NAME/streamlines.vtp     traced lines (PolyData polylines)
// A series adds DIR/case.pvd, a collection listing each moment's .vtm with
// its physical time. Every dataset also carries the time as the field array
// TimeValue.
//
// Grid index mapping: VTK's structured extents run x fastest; our point
// index n = k + j*stride_j + i*stride_i runs k fastest, so the extent is
// "0 Nz 0 Ny 0 Nx" and every per-point array is written as stored, without
// reordering.

#include <string>
#include <vector>

#include "state/core_error.h"
#include "state/simulation_state.h"

namespace brelvik {

// VTK's ghost bits (vtkDataSetAttributes::PointGhostTypes and CellGhostTypes).
inline constexpr unsigned char kVtkDuplicatePoint = 1;
inline constexpr unsigned char kVtkHiddenPoint = 2;
inline constexpr unsigned char kVtkDuplicateCell = 1;
inline constexpr unsigned char kVtkHiddenCell = 32;

// vtkGhostType of one point from its point type.
unsigned char pointGhostOf(int pointType);

// The flow parameters the wall quantities need.
struct WallScales {
  double k = 1.4;  // ratio of specific heats
  double M = 0.6;  // Mach number
  double Re = 100; // Reynolds number
  int schemeOrder = 2;
};
WallScales wallScalesOf(const SimulationState& s);

// Every writer below reports a failure as kFileUnwritable naming the file
// (kFolderNotCreated naming the folder), with the system's reason as detail.

// One volume as a .vts (a function of the volume alone, so that each owner
// of a volume can write it).
bool writeVolumeVts(const FiniteVolume& vol, double time, const std::string& path,
                    CoreError* error);

// The sphere face of a shell-sector volume (i = i_begin plane mapped onto
// the sphere) as a .vts with the wall pressure, Cp and the wall shear stress.
bool writeWallVts(const FiniteVolume& vol, const WallScales& scales, double time,
                  const std::string& path, CoreError* error);

// Polylines through the given points (global coordinates) as a .vtp with
// the point data "speed" (NaN where the velocity is not defined) and the
// cell data "line" (the line's index among the seeds).
struct TracedLine {
  int index = 0;
  std::vector<Vec3> points;
  std::vector<double> speed;
};
bool writeStreamlinesVtp(const std::vector<TracedLine>& lines, double time,
                         const std::string& path, CoreError* error);

// The traced lines of the state (copied under seriesMutex) with the speed
// interpolated at each point. The caller keeps the solver from changing the
// field meanwhile (passMutex).
std::vector<TracedLine> tracedLinesOf(SimulationState& s);

// A moment written to a series.
struct VtkMoment {
  int step = 0;
  double time = 0;
  std::string vtmFile;  // relative to the series folder
};

// Writes the moment NAME below DIR (creating the folders). The caller holds
// s.passMutex (or is the only thread stepping the solver). On failure the
// error names the file or folder; the state is never changed.
bool writeVtkMoment(SimulationState& s, const std::string& dir, const std::string& name,
                    VtkMoment* moment, CoreError* error);

// DIR/case.pvd listing the moments with their times.
bool writeVtkCollection(const std::string& dir, const std::vector<VtkMoment>& moments,
                        CoreError* error);

// The name of the moment at step N: "step_" and N in six digits or more.
std::string vtkMomentName(int step);

// The whole export of the current state, as the desktop command does it:
// waits for the solver pass in progress (passMutex) and writes the moment
// named by the step count (no .pvd: ParaView groups step_*.vtm by name).
// Without a grid: kNoGrid naming the folder.
bool exportVtk(SimulationState& s, const std::string& dir, CoreError* error);

}  // namespace brelvik
