#pragma once
// Pieces of the exchange sequence for one volume at a time, for the time
// step that runs each volume's part on the thread that owns the volume
// (solver.cpp). Not part of the public interface.

#include <array>
#include <vector>

#include "solver/far_field.h"
#include "state/simulation_state.h"

namespace brelvik::exchange_detail {

// The receiving points of the exchange.
//
// Only points whose entry is ready, names an allocated donor and whose
// stencil lies inside the donor are listed, so incomplete or damaged
// interpolation data is skipped rather than dereferenced.
//
// A receiver whose stencil holds no interpolated point, and which no other
// receiver's stencil holds, neither sees nor is seen by any other receiver:
// its value is the same whenever it is computed. Those independent
// receivers (per volume, `independent`) may be computed in any order and in
// parallel; every other receiver is served in the order that defines the
// result (codes 7, 6, 5, 4; volumes ascending; scan order i, j, k within a
// volume), kept per volume and code in `ordered` (slot 0 holds code 7).
//
// The lists live in a per-thread scratch object that keeps its capacity, so
// the exchange allocates nothing once it has run.
struct ReceiverLists {
  std::vector<std::array<std::vector<int>, 4>> ordered;
  std::vector<std::vector<int>> independent;
  std::vector<std::vector<unsigned char>> flags;  // scratch of build()
  int volumeCount = 0;
  bool anyOrdered = false;

  void build(const SimulationState& s);
  const std::vector<int>& of(int volume, int code) const {
    return ordered[size_t(volume)][size_t(7 - code)];
  }
};

// The calling thread's lists.
ReceiverLists& scratchLists();

// The exchange of one receiver n of vol (donors in vols).
void velocityReceiver(const std::vector<FiniteVolume>& vols, FiniteVolume& vol, int n);
void divergenceReceiver(const std::vector<FiniteVolume>& vols, FiniteVolume& vol, int n);
void scalarReceiver(const std::vector<FiniteVolume>& vols, FiniteVolume& vol, int n);

// The ordered receivers of every volume, in the defining order, with f.
template <class F>
void serveOrdered(const ReceiverLists& lists, std::vector<FiniteVolume>& vols, F&& f) {
  for (int code : {7, 6, 5, 4})
    for (int vi = 0; vi < lists.volumeCount; ++vi)
      for (int n : lists.of(vi, code)) f(vols, vols[size_t(vi)], n);
}

// Boundary conditions of one volume (nothing unless it is an allocated
// shell sector). `ff` chooses the outer faces' conditions (reflecting
// or absorbing) and the free-stream speed they impose.
void boundaryVelocityVolume(FiniteVolume& vol, int schemeOrder, int code,
                            const FarFieldParams& ff);
void boundaryDivergenceVolume(FiniteVolume& vol, int schemeOrder, int code,
                              const FarFieldParams& ff);
void boundaryScalarsVolume(FiniteVolume& vol, int schemeOrder, int code, double gam, double M,
                           double Re, const FarFieldParams& ff);

// Whole-volume passes on the calling thread.
void globalVelocitiesVolume(FiniteVolume& vol);
void divergenceVolume(FiniteVolume& vol);
void vorticityVolume(FiniteVolume& vol);

}  // namespace brelvik::exchange_detail
