#pragma once
// The per-point arrays of a volume folder by folder name, shared by the
// writer and the reader (layout in result_folder.h).

#include "state/finite_volume.h"

namespace brelvik::io_detail {

// The eleven flow arrays, one folder of slice files each, in file order:
// f(folder name, array).
template <class Vol, class F>
void forEachSavedFlowArray(Vol& vol, F&& f) {
  f("u", vol.u);
  f("v", vol.v);
  f("w", vol.w);
  f("P", vol.P);
  f("ro", vol.ro);
  f("T", vol.T);
  f("div", vol.div);
  f("vixr", vol.vixr);
  f("u_glob", vol.u_glob);
  f("v_glob", vol.v_glob);
  f("w_glob", vol.w_glob);
}

// Every folder of slice files below a volume folder: the flow arrays
// (the first kFlowSliceFolders), then the coordinates by component and the
// point types.
inline constexpr const char* kSliceFolders[] = {
    "u",           "v",           "w",           "P",            "ro",           "T",
    "div",         "vixr",        "u_glob",      "v_glob",       "w_glob",       "point_loc/x",
    "point_loc/y", "point_loc/z", "point_glob/x", "point_glob/y", "point_glob/z", "type_point"};
inline constexpr int kFlowSliceFolders = 11;

}  // namespace brelvik::io_detail
