#pragma once
// Drag coefficients of the sphere: the pressure and the viscous stress are
// integrated over the inner radial face (the sphere surface) of every
// shell-sector volume in the face's own (eta, zeta) parameters, the forces
// are rotated into the global frame and their x components (the free-stream
// direction) summed.

#include <array>
#include <vector>

#include "state/finite_volume.h"

namespace brelvik {

struct SimulationState;

// Geometry of the sphere face of a shell-sector volume at (j, k), in the
// volume's local Cartesian frame, for radius R = box_origin.x.
struct FaceGeometry {
  double x = 0, y = 0, z = 0;     // wall point R*(1, -eta, -zeta)/s
  double nx = 0, ny = 0, nz = 0;  // unit outward normal (x, y, z)/R
  double area = 0;                // |dX/deta x dX/dzeta|, so dS = area*deta*dzeta
};
FaceGeometry faceGeometry(const FiniteVolume& vol, int j, int k);
// faceGeometry at every (j, k) of the computed box, at j*stride_j + k
// (empty unless the volume is an allocated shell sector). It depends on
// the grid only: the time step keeps it rather than computing the square
// roots and powers of every wall point at every step.
std::vector<FaceGeometry> sphereFaceGeometry(const FiniteVolume& vol);

// q extrapolated linearly in radius to the sphere radius R along the radial
// grid line (j, k), from the points i_begin and i_begin+1.
double wallValue(const FiniteVolume& vol, const double* q, int j, int k);

// Trapezoidal double integral over the face of a surface array f indexed by
// j*stride_j + k (j_begin..j_end, k_begin..k_end, steps h_eta and h_zeta).
double surfaceIntegral(const FiniteVolume& vol, const double* f);

// The viscous stress tensor at the wall point (j, k) contracted with the
// wall position X = R*n, in local axes and without the factor 1/Re:
// tau.X, so tau.n/Re = wallStressTimesRadius/(R*Re) is the viscous traction
// per unit wall area that frictionForce integrates.
std::array<double, 3> wallStressTimesRadius(const FiniteVolume& vol, int j, int k,
                                           int schemeOrder);

// Pressure and viscous forces on the volume's sphere face, in local axes.
// `face` is the volume's sphereFaceGeometry.
std::array<double, 3> pressureForce(const FiniteVolume& vol, const std::vector<FaceGeometry>& face);
std::array<double, 3> frictionForce(const FiniteVolume& vol, int schemeOrder,
                                    const std::vector<FaceGeometry>& face);

// Global x components of the pressure and the friction force on one
// volume's face (0 unless it is an allocated shell sector), and the
// coefficients from the sums of those over the volumes in index order.
double pressureDragOf(const FiniteVolume& vol);
double frictionDragOf(const FiniteVolume& vol, int schemeOrder);
// The same with the volume's sphereFaceGeometry given (the time step keeps it).
double pressureDragOf(const FiniteVolume& vol, const std::vector<FaceGeometry>& face);
double frictionDragOf(const FiniteVolume& vol, int schemeOrder, const std::vector<FaceGeometry>& face);
double pressureCoefficient(const SimulationState& s, double forceSum);
double frictionCoefficient(const SimulationState& s, double forceSum);

// Pressure drag, friction drag and their sum, from the current fields.
double computeCp(const SimulationState& s);
double computeCf(const SimulationState& s);
double computeCx(const SimulationState& s);

}  // namespace brelvik
