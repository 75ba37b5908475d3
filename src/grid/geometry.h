#pragma once
// Construction of the six shell sectors round the sphere and the geometry of
// a volume: grid steps and radial stretching, local (xi, eta, zeta) and
// global coordinates, metric coefficients, point classification, donor
// volumes and donor cells, coordinate conversions and inside tests.
//
// Frames: a volume's local frame (x', y', z') has the global position
// origin + x'*axis_x + y'*axis_y + z'*axis_z. For a shell sector (kind 2)
// the grid coordinates are
//   r = r_offset + r_scale * r_base^xi,  eta = -y'/x',  zeta = -z'/x',
// so (x', y', z') = r * (1, -eta, -zeta) / sqrt(1 + eta^2 + zeta^2).
// For a Cartesian block (kind 1) the grid coordinates are x', y', z'.

#include <string>

#include "state/core_error.h"
#include "state/finite_volume.h"
#include "state/simulation_state.h"

namespace brelvik {

// The five numbers of the domain dialog. D (outer radius in sphere radii) and
// s (radial size of the first cell) are already rounded to single precision
// by the caller (see toSingle).
struct DomainInputs {
  double D = 15;
  double s = 0.02;
  int nx = 19, ny = 12, nz = 12;
};

// Rounds a double to the nearest single-precision value (0.02 becomes
// 0.0199999995529651641845703125). Values beyond the float range become
// +-infinity, NaN stays NaN.
double toSingle(double x);

// Checks that a grid can be built from the inputs with the given scheme
// order. On failure returns false with the code and the field at fault.
bool validateDomainInputs(const DomainInputs& in, int schemeOrder, CoreError* error);

// The "Создать" command: validates the inputs (nothing changes when they are
// rejected), stops the worker threads, rebuilds the volumes under passMutex,
// resets the readiness flags and interpolation counters, advances
// volumesGeneration and requests a repaint.
bool createDomain(SimulationState& s, const DomainInputs& in, CoreError* error);

// Root q > 1 of F(q) = thickness - (1 - q^n) * s / (1 - q) by bisection on
// (1.00000001, 1000). Returns false when F does not change sign on that
// bracket or the bisection does not reach |F| <= 1e-6 within its cap.
bool solveStretchingRatio(double thickness, double n, double s, double* ratio);

// Steps and their powers, radial stretching, computed-region bounds and
// strides of a volume whose Nx, Ny, Nz, r_in, r_out, first_step and
// face_offset are set. Returns false when the stretching ratio has no root.
bool computeSteps(FiniteVolume& vol, int schemeOrder);

void computeLocalCoordinates(FiniteVolume& vol);   // fills point_loc
void computeGlobalCoordinates(FiniteVolume& vol);  // fills point_glob from point_loc
// Fills the 16 metric arrays from point_loc (double arithmetic, stored as
// float). Kind 1 volumes get the identity metric.
void computeMetrics(FiniteVolume& vol);
// Types 0 (inactive), 1 (computed) and 3 (boundary) of every point.
void classifyPoints(FiniteVolume& vol);
// Marks the points that computed points need and that another volume
// contains as interpolated (type 4) and sets their donor and donor cell;
// counts new type-4 points into s.interpolTotal.
void findDonors(SimulationState& s, FiniteVolume& vol);
// cell_i/j/k of point (i, j, k) of vol inside donor.
void locateDonorCell(const FiniteVolume& donor, FiniteVolume& vol, int i, int j, int k);

// The side planes of a shell sector's pyramid (global frame, inward normals).
void buildPlanes(FiniteVolume& vol);

// Inside tests (tolerance 1e-4 on the planes and on the squared radii).
bool insideVolume(const FiniteVolume& vol, const Vec3& X);
// As insideVolume; depth = min over the planes of (X - point).normal.
bool insideDepth(const FiniteVolume& vol, const Vec3& X, double& depth);
bool insidePlanes(const FiniteVolume& vol, const Vec3& X);

// Conversions between the frames.
Vec3 localToGlobalPoint(const FiniteVolume& vol, double x, double y, double z);
Vec3 localToGlobalVector(const FiniteVolume& vol, double a, double b, double c);
Vec3 globalToLocalVector(const FiniteVolume& vol, const Vec3& V);
// Grid coordinates of the global point X: kind 1 gives the local Cartesian
// point, kind 2 (xi, eta, zeta).
Vec3 globalToGrid(const FiniteVolume& vol, const Vec3& X, int kind);

}  // namespace brelvik
