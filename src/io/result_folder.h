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

// ---- Writer pieces -------------------------------------------------------
// `slice` is the scratch table through which array slices are written; it is
// resized once per array.

bool writeCaseHeader(const std::string& path, const CaseHeader& h, std::string* error);
// Creates `dir` and writes the volume into it.
bool saveVolume(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                std::string* error);
// <dir>/all.txt.
bool writeVolumeState(const std::string& dir, const FiniteVolume& vol, std::string* error);
// Creates `dir` and writes one table per slice of a per-point double array.
bool writeScalarArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                      const std::vector<double>& values, std::string* error);
// Creates `dir` with x, y, z and writes the three components of a
// three-values-per-point array.
bool writeVectorArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                      const std::vector<double>& values, std::string* error);
// As writeScalarArray, the integers converted to double.
bool writeIntArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                   const std::vector<int>& values, std::string* error);
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
// <dir>/all.txt into the scalar members and planes of `vol`, with the checks
// of checkVolumeShape (case_checks.h) for the case's scheme order.
bool readVolumeState(const std::string& dir, FiniteVolume& vol, int schemeOrder,
                     std::string* error);
// The arrays must already have their size (allocateArrays).
bool readScalarArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                     std::vector<double>& values, std::string* error);
bool readVectorArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                     std::vector<double>& values, std::string* error);
// Values are truncated toward zero; each must be a point type 0..7.
bool readIntArray(ValueTable& slice, const std::string& dir, const FiniteVolume& vol,
                  std::vector<int>& values, std::string* error);
// <dir>/interpol_data.txt into vol.interpol_data (records in any order; a
// point without a record keeps ready = 0). type_point must already be read.
bool readInterpolation(const std::string& dir, FiniteVolume& vol, std::string* error);

}  // namespace brelvik
