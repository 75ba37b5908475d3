#pragma once
// The edges of a finite volume as drawn by the view: lines where two bounding
// planes meet, and arcs where each bounding plane cuts the body sphere
// (radius 0.5) and the outer sphere (r_out), both centred at the volume's
// origin. Everything is sampled at steps of 0.01 and recomputed per frame;
// a segment joins two consecutive samples that both lie on the volume.

#include <vector>

#include "state/finite_volume.h"

namespace brelvik {

struct OutlineSegment {
  Vec3 a, b;  // global coordinates
};

// Intersection lines of every plane pair (i < j), clipped to insideVolume.
// Parallel pairs (|n_i x n_j| below 1e-5 in every component) give nothing.
void appendPlanePairEdges(const FiniteVolume& vol, std::vector<OutlineSegment>& out);

// The circle where each bounding plane cuts the sphere of radius r about the
// volume's origin, kept where it passes insidePlanes. A plane whose local
// normal has no component above 1e-8 gives nothing.
void appendPlaneSphereArcs(const FiniteVolume& vol, double r, std::vector<OutlineSegment>& out);

// Plane-pair edges, then the arcs on the body sphere, then on the outer one.
std::vector<OutlineSegment> volumeOutline(const FiniteVolume& vol);

}  // namespace brelvik
