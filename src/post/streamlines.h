#pragma once
// Streamlines of the current velocity field, traced on the streamline worker
// thread (s.flowLineThread) or synchronously by the batch driver.
//
// A run traces one line per seed (the seeds are copied when the run starts).
// Each line starts at its seed, goes upstream with Heun steps of -0.1 in the
// dimensionless time, is reversed so that it runs from its upstream end to
// the seed, and then goes downstream from the seed with steps of +0.1. The
// whole line shares one budget: a phase continues while the line has fewer
// than streamlinePointCount / 2 points (read afresh at each test, tested after
// each step, so every phase makes at least one step when the velocity is
// defined). A phase ends early when a velocity evaluation fails (the point or
// the predictor point lies in no volume, or its donor has no complete
// stencil). A repaint is requested every 20 traced points.
//
// Line tables, seeds and the counters read by the renderer change only under
// s.seriesMutex; a point is appended before currentLinePoints counts it.

#include <string>
#include <vector>

#include "state/core_error.h"
#include "state/simulation_state.h"

namespace brelvik {

// Bounds of the streamline inputs (the dialog's fields and the batch
// options). A traced point is three doubles, kept in the line tables and
// copied for the view: 10^5 seeds and 5*10^7 traced points in all
// (about 1.2 GB of points) bound both the memory and the tracing time.
inline constexpr int kMaxSeeds = 100000;
inline constexpr int kMaxLinePoints = 1000000;  // point budget of one line
inline constexpr long long kMaxTracedPoints = 50000000;  // seeds * budget / 2

// Appends one seed (under seriesMutex).
void appendSeed(SimulationState& s, const Vec3& p);

// The n seeds of the streamline dialog's circle of radius r round
// (x0, y0, z0) in the plane x = x0: seed i (i = 1..n) at
// (x0, y0 + r cos t, z0 + r sin t) with t = i*a + a/2, a = 6.28318530717958/n.
// None for n <= 0.
std::vector<Vec3> circleSeeds(double x0, double y0, double z0, double r, int n);

// Appends circleSeeds(...) to the seeds; returns the number added.
int appendCircleSeeds(SimulationState& s, double x0, double y0, double z0, double r, int n);

// The dialog's "Старт": flowLineRunning = 1; creates the thread on the first
// call, otherwise resumes it. A run paused by stopFlowLines continues where it
// stopped (same line, same counters); after a completed run a new run over
// the current seeds begins. A paused run whose volumes were replaced by
// Create or Open in the meantime starts again from its first line.
void startFlowLines(SimulationState& s);

// The dialog's "Стоп": flowLineRunning = 0; the thread parks before its next
// point. Returns at once.
void stopFlowLines(SimulationState& s);

// Global velocity at the global point P, interpolated in the highest-indexed
// volume that contains P. False when no volume contains P or that volume has
// no complete stencil for it.
bool velocityAt(const SimulationState& s, const Vec3& P, Vec3& out);
// The same with a search the caller keeps across many points of one field
// (the velocities along traced lines), which saves rebuilding its lattices.
class PostStencilSearch;
bool velocityAt(const SimulationState& s, const Vec3& P, Vec3& out, PostStencilSearch& search);

// Traces every seed on the calling thread, exactly as one run of the worker
// thread does, and leaves currentLine at the last line (-1 without seeds) and
// flowLineRunning at 0. For the batch driver; the worker must not be running.
void traceFlowLines(SimulationState& s);

// Writes every traced point as "line x y z" (line index, then the global
// coordinates with 17 significant digits), lines in order, points along
// each line. False (kFileUnwritable, the file) when it cannot be written.
bool writeStreamlines(SimulationState& s, const std::string& path, CoreError* error);

}  // namespace brelvik
