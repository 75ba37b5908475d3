#pragma once
// Result folders: a whole case (grid, point types, interpolation data, flow
// fields, time, counters, parameters, readiness flags, coefficient
// histories) as a tree of plain text files below one folder.
//
//   <folder>/all.txt                  global state, twenty values, one a line
//   <folder>/far_field.txt            far field (io/far_field_file.h;
//                                     optional: without it, reflecting)
//   <folder>/m_Cx.txt m_Cp.txt m_Cf.txt m_time.txt   the histories (series files)
//   <folder>/volume_N/                the volume with index N-1, N = 1..volumeCount
//     all.txt                         scalar members and planes (154 lines with 4 planes)
//     u v w P ro T div vixr u_glob v_glob w_glob /<i>.txt   one table per slice i
//     point_loc/{x,y,z}/<i>.txt  point_glob/{x,y,z}/<i>.txt  type_point/<i>.txt
//     interpol_data/interpol_data.txt  one record per interpolated point
//
// Every three-dimensional array is cut into slices i = 0..Nx; slice i is a
// table file of Ny+1 rows and Nz+1 columns (row j, column k). Volumes with
// allocated = 0 get only their all.txt.
//
// Failures: every function returns false and puts into *error (if given) a
// message that names the file or folder and what was wrong. The writer stops
// at the first folder or file it cannot create or write. saveCase writes the
// whole tree into "<folder>.saving" and swaps it in only when it is complete
// (staged_folder.h), so a failed save leaves the previous case unchanged. The reader checks
// every file and count and replaces the current case only when the whole
// folder was read.
//
// Because every slice is a file of its own, processes that compute different
// planes can each write and read only the slices of theirs (the shared save
// and the selective loadCase below).

#include <functional>
#include <string>
#include <vector>

#include "state/core_error.h"
#include "state/finite_volume.h"
#include "state/simulation_state.h"
#include "state/value_series.h"

namespace brelvik {

// The twenty values of the global state file, in file order.
struct CaseHeader {
  double physicalTime = 0;
  int stepCount = 0;
  int schemeOrder = 2;
  double dt = 0, k = 0, Re = 0, M = 0, Pr = 0;
  int volumeCount = 0;
  int interpolTotal = 0;
  int interpolProcessed = 0;
  double Cx = 0, Cp = 0, Cf = 0;
  int historyCounter = 0;
  int historyInterval = 0;
  int gridCreated = 0;
  int interpolationReady = 0;
  int flowInitialised = 0;
  int domainReady = 0;
};

// Copies the global values out of the state (the caller holds passMutex).
CaseHeader caseHeaderOf(const SimulationState& s);

// The slices i of one volume's arrays that are read or written; empty: all.
using SliceSelection = std::function<bool(int plane)>;
// The same for a whole case, per volume index 0..volumeCount-1; empty: all.
using PlaneSelection = std::function<bool(int volume, int plane)>;
// Chooses the slices to read once the case's scheme order and the volumes'
// sizes are known (their all.txt files read; arrays not yet allocated).
using FlowPlanesOf =
    std::function<PlaneSelection(const std::vector<FiniteVolume>& volumes, int schemeOrder)>;

// ---- Whole case ----------------------------------------------------------

// Writes the whole case below `folder` (created with its parents if needed;
// an existing case folder is replaced atomically, entries the new case does
// not write are kept). Holds s.passMutex for the
// whole save, so no solver pass overlaps it, and s.seriesMutex while it
// copies the histories. The interpolation thread, if it is working, is
// paused for the duration and resumed afterwards.
// On failure: kCaseNotSaved with the folder, and the writer's message
// (naming the file at fault) as the detail.
bool saveCase(SimulationState& s, const std::string& folder, CoreError* error);

// Reads the case below `folder` into new records; only when everything was
// read and checked does it stop the workers (quiesceWorkers), take
// s.passMutex, replace the volumes, the twenty global values and the four
// histories, advance volumesGeneration and release the old volumes. On any
// failure the state is left exactly as it was.
// On failure: kCaseNotOpened with the folder, and the reader's message
// (naming the file at fault) as the detail.
bool loadCase(SimulationState& s, const std::string& folder, CoreError* error);

// As loadCase, but of the flow arrays (u .. w_glob) only the slices that
// flowPlanes(volumes, schemeOrder) selects are read; the coordinates, point types and
// interpolation data are read whole. The flow values of the slices not read
// are NaN, so that any use of them shows. For one of several processes that
// each compute some planes: the values of the others' planes reach it
// through the step's exchanges.
bool loadCase(SimulationState& s, const std::string& folder, const FlowPlanesOf& flowPlanes,
              CoreError* error);

// ---- A save shared by several processes ----------------------------------
// One staged folder, written by several processes, which must therefore be
// on a file system that every one of them sees. Three phases; the processes
// agree on success after each (the caller's collective), and a process
// names its own failure:
//  1. one process: beginSharedSave stages "<folder>.saving" (as saveCase)
//     and writes every folder and every file that is not a slice of a
//     per-point array (the global state, far field, histories, each
//     volume's all.txt and interpolation data);
//  2. every process: saveCasePlanes writes the slices that `planes` selects
//     into the staging folder (the selections of all processes together
//     cover every slice once); it refuses to write when the staging folder
//     is not visible here;
//  3. the process of phase 1: finishSharedSave checks that every slice file
//     is there and swaps the folder in, or, when some process failed,
//     abandonSharedSave removes the staging folder. Either way a failed save
//     leaves the previous case unchanged.
// For the batch driver: each takes s.passMutex; no interpolation thread may
// run. Failures are kCaseNotSaved with the folder and the file at fault.
bool beginSharedSave(SimulationState& s, const std::string& folder, CoreError* error);
bool saveCasePlanes(SimulationState& s, const std::string& folder, const PlaneSelection& planes,
                    CoreError* error);
bool finishSharedSave(SimulationState& s, const std::string& folder, CoreError* error);
void abandonSharedSave(const std::string& folder);

// ---- Writer pieces -------------------------------------------------------
// `slice` is the scratch table through which array slices are written; it is
// resized once per array.

bool writeCaseHeader(const std::string& path, const CaseHeader& h, std::string* error);
// Creates `dir` and writes the volume into it: saveVolumeFrame, then
// saveVolumeSlices of every plane.
bool saveVolume(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                std::string* error);
// Creates `dir` and every folder of slice files below it, and writes the
// files that are not slices (all.txt, interpol_data).
bool saveVolumeFrame(const std::string& dir, const FiniteVolume& vol, std::string* error);
// The slice files of the selected planes of every per-point array.
bool saveVolumeSlices(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                      const SliceSelection& planes, std::string* error);
// <dir>/all.txt.
bool writeVolumeState(const std::string& dir, const FiniteVolume& vol, std::string* error);
// Creates `dir` and writes one table per (selected) slice of a per-point
// double array.
bool writeScalarArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                      const std::vector<double>& values, std::string* error,
                      const SliceSelection& planes = {});
// Creates `dir` with x, y, z and writes the three components of a
// three-values-per-point array.
bool writeVectorArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                      const std::vector<double>& values, std::string* error,
                      const SliceSelection& planes = {});
// As writeScalarArray, the integers converted to double.
bool writeIntArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                   const std::vector<int>& values, std::string* error,
                   const SliceSelection& planes = {});
// Creates `dir` and writes <dir>/interpol_data.txt.
bool writeInterpolation(const std::string& dir, const FiniteVolume& vol, std::string* error);

// ---- Reader pieces -------------------------------------------------------
// They fill the record they are given; nothing of a SimulationState is
// touched. Checks that need the whole case (donor volumes) are made by
// loadCase.

bool readCaseHeader(const std::string& path, CaseHeader& h, std::string* error);
// Reads <dir>/all.txt and, when allocated, every array; recomputes the
// metrics. `vol` should be a fresh record.
// `schemeOrder` is the case's (the computed region must match it). The
// slice files are checked to be present before the arrays are allocated.
bool loadVolume(ValueTable& slice, const std::string& dir, FiniteVolume& vol, int schemeOrder,
                std::string* error);
// The second half of loadVolume, for a volume whose all.txt was read
// (readVolumeState): allocates and reads the arrays, the flow arrays' slices
// only where `flowPlanes` selects them (the others NaN), and recomputes the
// metrics.
bool loadVolumeArrays(ValueTable& slice, const std::string& dir, FiniteVolume& vol,
                      const SliceSelection& flowPlanes, std::string* error);
// Every slice file of an allocated volume (of the flow arrays only the
// selected planes) is present as a regular file large enough for its
// (Ny+1) x (Nz+1) values.
bool checkSliceFilesPresent(const std::string& dir, const FiniteVolume& vol,
                            const SliceSelection& flowPlanes, std::string* error);
// <dir>/all.txt into the scalar members and planes of `vol`, with the checks
// of checkVolumeShape (case_checks.h) for the case's scheme order.
bool readVolumeState(const std::string& dir, FiniteVolume& vol, int schemeOrder,
                     std::string* error);
// The arrays must already have their size (allocateArrays). Slices that
// `planes` does not select are neither read nor changed.
bool readScalarArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                     std::vector<double>& values, std::string* error,
                     const SliceSelection& planes = {});
bool readVectorArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                     std::vector<double>& values, std::string* error);
// Values are truncated toward zero; each must be a point type 0..7.
bool readIntArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                  std::vector<int>& values, std::string* error);
// <dir>/interpol_data.txt into vol.interpol_data (records in any order; a
// point without a record keeps ready = 0). type_point must already be read.
bool readInterpolation(const std::string& dir, FiniteVolume& vol, std::string* error);

}  // namespace brelvik
