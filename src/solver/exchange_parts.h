#pragma once
// Pieces of the exchange sequence: the receiver lists, one receiver, the
// boundary passes of one volume and the derived fields of a slab of planes.
// The phases of the time step (step_plan.cpp) are made of them.

#include <array>
#include <vector>

#include "solver/far_field.h"
#include "state/simulation_state.h"

namespace brelvik::exchange_detail {

// The stencils of one list of receivers, copied out of the interpolation
// data into flat arrays in the list's order (stencil r at r*size). A pass
// over the receivers then reads memory in sequence; reading the entries
// themselves costs a cache miss per receiver (they lie scattered over the
// volume, and each holds two pointers to follow).
struct ReceiverStencils {
  int size = 0;                  // points per stencil
  std::vector<int> points;       // the receivers
  std::vector<int> donors;       // their donor volumes
  std::vector<int> donorPoints;  // size per receiver
  std::vector<double> weights;   // size per receiver

  void assign(const FiniteVolume& vol, const std::vector<int>& list);
  int count() const { return int(points.size()); }
};

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
// `ghostsRead[v]` is set when some stencil holds a ghost point (type 2 or
// 3) of volume v: then v's boundary passes must wait for the receivers of
// every volume, not only its own.
//
// The lists depend only on the grid and the interpolation data; the step
// keeps them with its plan and rebuilds both when either changes.
struct ReceiverLists {
  std::vector<std::array<std::vector<int>, 4>> ordered;
  std::vector<std::vector<int>> independent;
  // The same lists' stencils, for the passes of the time step.
  std::vector<std::array<ReceiverStencils, 4>> orderedStencils;
  std::vector<ReceiverStencils> independentStencils;
  std::vector<unsigned char> ghostsRead;
  std::vector<std::vector<unsigned char>> flags;  // scratch of build()
  int volumeCount = 0;
  bool anyOrdered = false;

  void build(const SimulationState& s);
  const std::vector<int>& of(int volume, int code) const {
    return ordered[size_t(volume)][size_t(7 - code)];
  }
  const ReceiverStencils& stencilsOf(int volume, int code) const {
    return orderedStencils[size_t(volume)][size_t(7 - code)];
  }
};

// Weighted sum over a receiver's stencil, from 0 in ascending m, with the
// receiver's stencil size as the count. A process that holds the donor can
// form it for a receiver that another process computes.
inline double stencilSum(const InterpolEntry& e, int stencilSize, const double* donorField) {
  double sum = 0.0;
  for (int m = 0; m < stencilSize; ++m) sum += e.weights[m] * donorField[e.donor_points[m]];
  return sum;
}

// What a receiver n of vol takes from the stencil sums of its donor's
// global velocity (ug, vg, wg: stored, and rotated into the local axes) or
// of its density and temperature (P = ro*T).
inline void setVelocityReceiver(FiniteVolume& vol, int n, double ug, double vg, double wg) {
  vol.u_glob[size_t(n)] = ug;
  vol.v_glob[size_t(n)] = vg;
  vol.w_glob[size_t(n)] = wg;
  const Vec3 &ax = vol.axis_x, &ay = vol.axis_y, &az = vol.axis_z;
  vol.u[size_t(n)] = ug * ax[0] + vg * ax[1] + wg * ax[2];
  vol.v[size_t(n)] = ug * ay[0] + vg * ay[1] + wg * ay[2];
  vol.w[size_t(n)] = ug * az[0] + vg * az[1] + wg * az[2];
}
inline void setScalarReceiver(FiniteVolume& vol, int n, double ro, double T) {
  vol.ro[size_t(n)] = ro;
  vol.T[size_t(n)] = T;
  vol.P[size_t(n)] = ro * T;
}

// The exchange of one receiver n of vol (donors in vols).
void velocityReceiver(const std::vector<FiniteVolume>& vols, FiniteVolume& vol, int n);
void divergenceReceiver(const std::vector<FiniteVolume>& vols, FiniteVolume& vol, int n);
void scalarReceiver(const std::vector<FiniteVolume>& vols, FiniteVolume& vol, int n);

// The same exchange for the receivers first..last-1 of a list of vol, in
// list order, from its flat stencils; every value equals the one-receiver
// function's bit for bit.
void velocityReceivers(const std::vector<FiniteVolume>& vols, FiniteVolume& vol,
                       const ReceiverStencils& t, int first, int last);
void divergenceReceivers(const std::vector<FiniteVolume>& vols, FiniteVolume& vol,
                         const ReceiverStencils& t, int first, int last);
void scalarReceivers(const std::vector<FiniteVolume>& vols, FiniteVolume& vol,
                     const ReceiverStencils& t, int first, int last);

// The ordered receivers of every volume, in the defining order, with f
// (one of the list functions above).
template <class F>
void serveOrdered(const ReceiverLists& lists, std::vector<FiniteVolume>& vols, F&& f) {
  for (int code : {7, 6, 5, 4})
    for (int vi = 0; vi < lists.volumeCount; ++vi) {
      const ReceiverStencils& t = lists.stencilsOf(vi, code);
      f(vols, vols[size_t(vi)], t, 0, t.count());
    }
}

// The faces of a shell sector a boundary pass fills: the inner one (the
// sphere; ghosts i < i_begin, mirrors up to i_begin + G) and the outer one
// (Inflow and Outflow, or the absorbing Outer; ghosts i > i_end, mirrors
// down to i_end - G). The two write and read disjoint planes, so passing
// them separately gives the same values as together.
enum BoundaryFaces : unsigned { kInnerFace = 1, kOuterFace = 2, kBothFaces = 3 };

// Boundary conditions of one volume (nothing unless it is an allocated
// shell sector). `ff` chooses the outer faces' conditions (reflecting
// or absorbing) and the free-stream speed they impose.
void boundaryVelocityVolume(FiniteVolume& vol, int schemeOrder, int code,
                            const FarFieldParams& ff, unsigned faces = kBothFaces);
void boundaryDivergenceVolume(FiniteVolume& vol, int schemeOrder, int code,
                              const FarFieldParams& ff, unsigned faces = kBothFaces);
void boundaryScalarsVolume(FiniteVolume& vol, int schemeOrder, int code, double gam, double M,
                           double Re, const FarFieldParams& ff, unsigned faces = kBothFaces);

// Derived fields over the planes firstPlane..lastPlane of one volume:
// u_glob, v_glob, w_glob (the local velocity rotated into the global axes)
// at every point of the planes; div = Dy v + Dx u + Dz w and vixr =
// 0.5*|curl of the local velocity| at the computed points (type 1).
void globalVelocitiesSlab(FiniteVolume& vol, int firstPlane, int lastPlane);
void divergenceSlab(FiniteVolume& vol, int firstPlane, int lastPlane);
void vorticitySlab(FiniteVolume& vol, int firstPlane, int lastPlane);

}  // namespace brelvik::exchange_detail
