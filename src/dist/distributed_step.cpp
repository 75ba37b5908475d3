#include "dist/distributed_step.h"

#include <mpi.h>

#include <algorithm>
#include <array>
#include <vector>

#include "dist/processes.h"
#include "dist/decomposition.h"
#include "dist/rank_files.h"
#include "solver/exchange_parts.h"
#include "solver/step_plan.h"
#include "state/simulation_state.h"

namespace brelvik::dist {

using exchange_detail::ReceiverLists;
using step_detail::Work;

namespace {

struct PointRef {
  int volume;
  int point;
  bool operator<(const PointRef& o) const {
    return volume != o.volume ? volume < o.volume : point < o.point;
  }
  bool operator==(const PointRef& o) const { return volume == o.volume && point == o.point; }
};

// What this process exchanges with one other process in each receiver phase.
struct PeerLists {
  std::vector<PointRef> sumsOut;  // independent receivers the peer owns, donors here
  std::vector<PointRef> sumsIn;   // independent receivers here, donors at the peer
  std::vector<PointRef> rawIn;    // ordered receivers' stencil points the peer owns
  std::vector<double> sendBuffer, receiveBuffer;
};

// Up to three fields of one receiver phase: what the receivers read from
// their donors.
struct Fields {
  int count = 0;
  std::array<double*, 3> of{};
};
Fields fieldsOf(FiniteVolume& v, Work work) {
  switch (work) {
    case Work::VelocityReceivers:
      return {3, {v.u_glob.data(), v.v_glob.data(), v.w_glob.data()}};
    case Work::DivergenceReceivers:
      return {1, {v.div.data(), nullptr, nullptr}};
    default:
      return {2, {v.ro.data(), v.T.data(), nullptr}};
  }
}

using ReceiverFn = void (*)(const std::vector<FiniteVolume>&, FiniteVolume&, int);
ReceiverFn receiverOf(Work work) {
  if (work == Work::VelocityReceivers) return exchange_detail::velocityReceiver;
  if (work == Work::DivergenceReceivers) return exchange_detail::divergenceReceiver;
  return exchange_detail::scalarReceiver;
}

int tagOf(Work work) { return 100 + int(work); }

}  // namespace

struct DistributedRun {
  int rank = 0;
  int count = 1;
  Decomposition decomposition;
  std::vector<int> owner;  // per volume: the rank of its (single) piece
  int64_t ownPoints = 0;   // points of the volumes computed here
  // Built for these receiver lists (rebuilt if the lists are rebuilt).
  const ReceiverLists* builtFor = nullptr;
  int volumesGeneration = -1, interpolationGeneration = -1;
  std::vector<PointRef> rawOut;            // ordered stencil points owned here, to every peer
  std::vector<PointRef> localIndependent;  // independent receivers with donor and receiver here
  std::vector<PeerLists> peers;            // per rank (this rank's entry unused)
  std::vector<MPI_Request> requests;
  Traffic traffic;

  bool owns(int volume) const { return owner[size_t(volume)] == rank; }
  void buildSchedule(const SimulationState& s, const ReceiverLists& lists);
  void serve(SimulationState& s, const ReceiverLists& lists, Work work);
  void completeParts(std::vector<double>& pressureX, std::vector<double>& frictionX,
                     std::vector<ResidualSums>& residuals);
};

namespace {

// The stencil points of the ordered receivers whose donor `rank` owns,
// ascending and without repeats (every process computes the same list for
// every rank).
std::vector<PointRef> orderedStencilPoints(const SimulationState& s, const ReceiverLists& lists,
                                           const std::vector<int>& owner, int rank) {
  std::vector<PointRef> points;
  for (int vi = 0; vi < lists.volumeCount; ++vi) {
    const FiniteVolume& vol = s.volumes[size_t(vi)];
    for (const std::vector<int>& list : lists.ordered[size_t(vi)])
      for (int n : list) {
        const InterpolEntry& e = vol.interpol_data[size_t(n)];
        if (owner[size_t(e.donor)] != rank) continue;
        for (int m = 0; m < vol.stencil_size; ++m) points.push_back({e.donor, e.donor_points[m]});
      }
  }
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  return points;
}

}  // namespace

void DistributedRun::buildSchedule(const SimulationState& s, const ReceiverLists& lists) {
  peers.assign(size_t(count), PeerLists{});
  localIndependent.clear();
  for (int q = 0; q < count; ++q) {
    std::vector<PointRef> points = orderedStencilPoints(s, lists, owner, q);
    if (q == rank)
      rawOut = std::move(points);
    else
      peers[size_t(q)].rawIn = std::move(points);
  }
  for (int vi = 0; vi < lists.volumeCount; ++vi) {
    const FiniteVolume& vol = s.volumes[size_t(vi)];
    for (int n : lists.independent[size_t(vi)]) {
      const int receiverOwner = owner[size_t(vi)];
      const int donorOwner = owner[size_t(vol.interpol_data[size_t(n)].donor)];
      if (receiverOwner == rank && donorOwner == rank)
        localIndependent.push_back({vi, n});
      else if (receiverOwner == rank)
        peers[size_t(donorOwner)].sumsIn.push_back({vi, n});
      else if (donorOwner == rank)
        peers[size_t(receiverOwner)].sumsOut.push_back({vi, n});
    }
  }
  builtFor = &lists;
  volumesGeneration = s.volumesGeneration.load();
  interpolationGeneration = s.interpolationGeneration.load();
}

void DistributedRun::serve(SimulationState& s, const ReceiverLists& lists, Work work) {
  if (builtFor != &lists || volumesGeneration != s.volumesGeneration.load() ||
      interpolationGeneration != s.interpolationGeneration.load())
    buildSchedule(s, lists);
  std::vector<FiniteVolume>& vols = s.volumes;
  const int F = work == Work::VelocityReceivers ? 3 : work == Work::DivergenceReceivers ? 1 : 2;
  const int tag = tagOf(work);
  requests.clear();
  for (int q = 0; q < count; ++q) {
    if (q == rank) continue;
    PeerLists& p = peers[size_t(q)];
    const size_t values = size_t(F) * (p.rawIn.size() + p.sumsIn.size());
    if (values == 0) continue;
    p.receiveBuffer.resize(values);
    requests.emplace_back();
    MPI_Irecv(p.receiveBuffer.data(), int(values), MPI_DOUBLE, q, tag, MPI_COMM_WORLD,
              &requests.back());
  }
  for (int q = 0; q < count; ++q) {
    if (q == rank) continue;
    PeerLists& p = peers[size_t(q)];
    const size_t values = size_t(F) * (rawOut.size() + p.sumsOut.size());
    if (values == 0) continue;
    std::vector<double>& b = p.sendBuffer;
    b.clear();
    // Taken before this process serves its own ordered receivers, which
    // may overwrite stencil points: the values at the start of the phase.
    for (const PointRef& r : rawOut) {
      const Fields f = fieldsOf(vols[size_t(r.volume)], work);
      for (int k = 0; k < F; ++k) b.push_back(f.of[size_t(k)][r.point]);
    }
    for (const PointRef& r : p.sumsOut) {
      const FiniteVolume& vol = vols[size_t(r.volume)];
      const InterpolEntry& e = vol.interpol_data[size_t(r.point)];
      const Fields f = fieldsOf(vols[size_t(e.donor)], work);
      for (int k = 0; k < F; ++k) b.push_back(exchange_detail::stencilSum(e, vol.stencil_size, f.of[size_t(k)]));
    }
    requests.emplace_back();
    MPI_Isend(b.data(), int(b.size()), MPI_DOUBLE, q, tag, MPI_COMM_WORLD, &requests.back());
    traffic.bytesSent += int64_t(b.size() * sizeof(double));
  }
  const ReceiverFn receiver = receiverOf(work);
  for (const PointRef& r : localIndependent) receiver(vols, vols[size_t(r.volume)], r.point);
  MPI_Waitall(int(requests.size()), requests.data(), MPI_STATUSES_IGNORE);

  for (int q = 0; q < count; ++q) {
    if (q == rank) continue;
    PeerLists& p = peers[size_t(q)];
    const double* in = p.receiveBuffer.data();
    for (const PointRef& r : p.rawIn) {
      const Fields f = fieldsOf(vols[size_t(r.volume)], work);
      for (int k = 0; k < F; ++k) f.of[size_t(k)][r.point] = *in++;
    }
    for (const PointRef& r : p.sumsIn) {
      FiniteVolume& vol = vols[size_t(r.volume)];
      if (work == Work::VelocityReceivers)
        exchange_detail::setVelocityReceiver(vol, r.point, in[0], in[1], in[2]);
      else if (work == Work::DivergenceReceivers)
        vol.div[size_t(r.point)] = in[0];
      else
        exchange_detail::setScalarReceiver(vol, r.point, in[0], in[1]);
      in += F;
    }
  }
  if (lists.anyOrdered) exchange_detail::serveOrdered(lists, vols, receiver);
}

// Per volume: pressure drag, friction drag, five residual squares and the
// point count (exact in a double below 2^53).
constexpr int kPartValues = 8;

void DistributedRun::completeParts(std::vector<double>& pressureX, std::vector<double>& frictionX,
                                   std::vector<ResidualSums>& residuals) {
  const size_t V = pressureX.size();
  std::vector<double> mine(V * kPartValues, 0.0), all(V * kPartValues * size_t(count));
  for (size_t v = 0; v < V; ++v) {
    if (!owns(int(v))) continue;
    double* p = &mine[v * kPartValues];
    p[0] = pressureX[v];
    p[1] = frictionX[v];
    for (size_t q = 0; q < 5; ++q) p[2 + q] = residuals[v].squares[q];
    p[7] = double(residuals[v].points);
  }
  MPI_Allgather(mine.data(), int(mine.size()), MPI_DOUBLE, all.data(), int(mine.size()),
                MPI_DOUBLE, MPI_COMM_WORLD);
  traffic.bytesSent += int64_t(mine.size() * sizeof(double)) * (count - 1);
  traffic.steps += 1;
  for (size_t v = 0; v < V; ++v) {
    const double* p = &all[(size_t(owner[v]) * V + v) * kPartValues];
    pressureX[v] = p[0];
    frictionX[v] = p[1];
    for (size_t q = 0; q < 5; ++q) residuals[v].squares[q] = p[2 + q];
    residuals[v].points = static_cast<long long>(p[7]);
  }
}

std::shared_ptr<DistributedRun> distributeSteps(SimulationState& s) {
  auto run = std::make_shared<DistributedRun>();
  run->rank = processRank();
  run->count = processCount();
  // The same decomposition as the selective read of an --open folder
  // (rank_files.h), so that each process computes the planes it read.
  run->decomposition = decomposeCase(s.volumes, s.volumeCount, run->count);
  run->owner.assign(size_t(s.volumeCount), 0);
  for (int v = 0; v < s.volumeCount; ++v) run->owner[size_t(v)] = run->decomposition.ownerOf(v, 0);
  for (int v = 0; v < s.volumeCount; ++v)
    if (run->owns(v) && s.volumes[size_t(v)].allocated)
      run->ownPoints += s.volumes[size_t(v)].pointCount();

  auto d = std::make_shared<StepDistribution>();
  d->computesVolume.assign(size_t(s.volumeCount), 0);
  for (int v = 0; v < s.volumeCount; ++v) d->computesVolume[size_t(v)] = run->owns(v) ? 1 : 0;
  DistributedRun* r = run.get();
  d->serveReceivers = [r](SimulationState& st, const ReceiverLists& lists, Work work) {
    r->serve(st, lists, work);
  };
  d->completeParts = [r](std::vector<double>& p, std::vector<double>& f, std::vector<ResidualSums>& res) {
    r->completeParts(p, f, res);
  };
  s.stepDistribution = d;
  return run;
}

void gatherFlowToRank0(SimulationState& s, const DistributedRun& run) {
  for (int v = 0; v < s.volumeCount; ++v) {
    const int owner = run.owner[size_t(v)];
    FiniteVolume& vol = s.volumes[size_t(v)];
    if (owner == 0 || !vol.allocated) continue;
    if (run.rank == owner) {
      forEachFlowArray(vol, [&](std::vector<double>& a) {
        MPI_Send(a.data(), int(a.size()), MPI_DOUBLE, 0, 1, MPI_COMM_WORLD);
      });
    } else if (run.rank == 0) {
      forEachFlowArray(vol, [&](std::vector<double>& a) {
        MPI_Recv(a.data(), int(a.size()), MPI_DOUBLE, owner, 1, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
      });
    }
  }
}

Traffic trafficOf(const DistributedRun& run) { return run.traffic; }

const Decomposition& decompositionOf(const DistributedRun& run) { return run.decomposition; }

std::string trafficLine(const DistributedRun& run) {
  const int64_t mine[3] = {run.traffic.bytesSent, run.traffic.steps, run.ownPoints};
  std::vector<int64_t> all(size_t(3 * run.count));
  MPI_Gather(mine, 3, MPI_INT64_T, all.data(), 3, MPI_INT64_T, 0, MPI_COMM_WORLD);
  if (run.rank != 0) return {};
  std::string line = "bytes sent per step by rank (points computed):";
  for (int r = 0; r < run.count; ++r) {
    const int64_t* f = &all[size_t(3 * r)];
    line += " " + std::to_string(r) + ":" + std::to_string(f[1] > 0 ? f[0] / f[1] : 0) + " (" +
            std::to_string(f[2]) + ")";
  }
  return line;
}

}  // namespace brelvik::dist
