#include "dist/distributed_step.h"

#include <mpi.h>

#include <algorithm>
#include <array>
#include <vector>

#include "dist/decomposition.h"
#include "dist/processes.h"
#include "dist/rank_files.h"
#include "dist/release_planes.h"
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

// One i-plane of one volume.
struct PlaneRef {
  int volume;
  int plane;
};

// What this process exchanges with one other process.
struct PeerLists {
  std::vector<PointRef> sumsOut;  // independent receivers the peer computes, stencil here
  std::vector<PointRef> sumsIn;   // independent receivers here, stencil at the peer
  std::vector<PointRef> rawOut;   // stencil points computed here that the peer reads
  std::vector<PointRef> rawIn;    // stencil points the peer computes that this process reads
  std::vector<PlaneRef> haloOut;  // own end planes next to the peer's pieces
  std::vector<PlaneRef> haloIn;   // the peer's end planes next to own pieces
  std::vector<double> sendBuffer, receiveBuffer;
};

// Up to four fields that move in one phase.
struct Fields {
  int count = 0;
  std::array<double*, 4> of{};
};
// What the receivers of a phase read from their donors.
Fields receiverFields(FiniteVolume& v, Work work) {
  switch (work) {
    case Work::VelocityReceivers:
      return {3, {v.u_glob.data(), v.v_glob.data(), v.w_glob.data(), nullptr}};
    case Work::DivergenceReceivers:
      return {1, {v.div.data(), nullptr, nullptr, nullptr}};
    default:
      return {2, {v.ro.data(), v.T.data(), nullptr, nullptr}};
  }
}
// What a phase reads of the planes next to a piece that changed since the
// last halo: the stage inputs and R read ro, u, v, w, P, T, div (the
// velocity came with the divergence's halo and has not changed since); the
// divergence and the vorticity read u, v, w. Nothing for other phases.
Fields haloFields(FiniteVolume& v, Work work) {
  if (work == Work::StageInputs) return {4, {v.ro.data(), v.T.data(), v.P.data(), v.div.data()}};
  if (work == Work::Divergence) return {3, {v.u.data(), v.v.data(), v.w.data(), nullptr}};
  return {};
}

using ReceiverFn = void (*)(const std::vector<FiniteVolume>&, FiniteVolume&, int);
ReceiverFn receiverOf(Work work) {
  if (work == Work::VelocityReceivers) return exchange_detail::velocityReceiver;
  if (work == Work::DivergenceReceivers) return exchange_detail::divergenceReceiver;
  return exchange_detail::scalarReceiver;
}

using ReceiverListFn = void (*)(const std::vector<FiniteVolume>&, FiniteVolume&,
                                const exchange_detail::ReceiverStencils&, int, int);
ReceiverListFn receiversOf(Work work) {
  if (work == Work::VelocityReceivers) return exchange_detail::velocityReceivers;
  if (work == Work::DivergenceReceivers) return exchange_detail::divergenceReceivers;
  return exchange_detail::scalarReceivers;
}

int receiverTag(Work work) { return 100 + int(work); }
int haloTag(Work work) { return 200 + int(work); }
constexpr int kResidualTag = 300;

}  // namespace

struct DistributedRun {
  int rank = 0;
  int count = 1;
  Decomposition decomposition;
  int64_t ownPoints = 0;  // points of the planes computed here
  // Built for these receiver lists (rebuilt if the lists are rebuilt).
  const ReceiverLists* builtFor = nullptr;
  int volumesGeneration = -1, interpolationGeneration = -1;
  // Per volume: receivers whose receiver and stencil are both here.
  std::vector<exchange_detail::ReceiverStencils> localIndependent;
  std::vector<PointRef> afterRaw;          // receiver here, stencil partly elsewhere
  std::vector<PeerLists> peers;            // per rank (this rank's entry unused)
  std::vector<MPI_Request> requests;
  Traffic traffic;
  FlowMemory flowMemory;  // what the release left this process

  int ownerOfPoint(const SimulationState& s, int volume, int point) const {
    return decomposition.ownerOf(volume, point / s.volumes[size_t(volume)].stride_i);
  }
  void buildHalos();
  void buildSchedule(const SimulationState& s, const ReceiverLists& lists);
  void exchangeHalos(SimulationState& s, Work work);
  void serve(SimulationState& s, const ReceiverLists& lists, Work work);
  // Posts the receive of `values` doubles from peer q into its receive
  // buffer, and the send of its send buffer to q (counted as traffic).
  void postReceive(int q, size_t values, int tag);
  void postSend(int q, int tag);
  void chainResiduals(const SimulationState& s, std::vector<ResidualSums>& residuals);
  void completeParts(const SimulationState& s, std::vector<double>& pressureX,
                     std::vector<double>& frictionX, std::vector<ResidualSums>& residuals);
};

void DistributedRun::buildHalos() {
  for (int v = 0; v < int(decomposition.piecesOf.size()); ++v) {
    const std::vector<Piece>& pieces = decomposition.piecesOf[size_t(v)];
    for (size_t k = 1; k < pieces.size(); ++k) {
      const Piece &a = pieces[k - 1], &b = pieces[k];
      if (a.rank == b.rank) continue;
      if (a.rank == rank) {
        peers[size_t(b.rank)].haloOut.push_back({v, a.lastPlane});
        peers[size_t(b.rank)].haloIn.push_back({v, b.firstPlane});
      } else if (b.rank == rank) {
        peers[size_t(a.rank)].haloOut.push_back({v, b.firstPlane});
        peers[size_t(a.rank)].haloIn.push_back({v, a.lastPlane});
      }
    }
  }
}

namespace {

void sortUnique(std::vector<PointRef>& points) {
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
}

}  // namespace

// Every process computes the same lists for every pair of processes, so
// what one sends is what the other expects, in the same order.
void DistributedRun::buildSchedule(const SimulationState& s, const ReceiverLists& lists) {
  for (PeerLists& p : peers) {
    p.sumsOut.clear();
    p.sumsIn.clear();
    p.rawOut.clear();
    p.rawIn.clear();
  }
  std::vector<std::vector<int>> local(size_t(lists.volumeCount));
  afterRaw.clear();
  // The stencil points of the ordered receivers: every process reads them.
  std::vector<PointRef> ordered;
  for (int vi = 0; vi < lists.volumeCount; ++vi) {
    const FiniteVolume& vol = s.volumes[size_t(vi)];
    for (const std::vector<int>& list : lists.ordered[size_t(vi)])
      for (int n : list) {
        const InterpolEntry& e = vol.interpol_data[size_t(n)];
        for (int m = 0; m < vol.stencil_size; ++m) ordered.push_back({e.donor, e.donor_points[m]});
      }
  }
  sortUnique(ordered);
  // Independent receivers; needs[r]: the stencil points computed elsewhere
  // that rank r reads to serve its receivers whose stencils straddle pieces.
  std::vector<std::vector<PointRef>> needs(static_cast<size_t>(count));
  for (int vi = 0; vi < lists.volumeCount; ++vi) {
    const FiniteVolume& vol = s.volumes[size_t(vi)];
    for (int n : lists.independent[size_t(vi)]) {
      const InterpolEntry& e = vol.interpol_data[size_t(n)];
      const int receiverOwner = ownerOfPoint(s, vi, n);
      const int donorOwner = ownerOfPoint(s, e.donor, e.donor_points[0]);
      bool straddles = false;
      for (int m = 1; m < vol.stencil_size; ++m)
        straddles = straddles || ownerOfPoint(s, e.donor, e.donor_points[m]) != donorOwner;
      if (straddles) {
        if (receiverOwner == rank) afterRaw.push_back({vi, n});
        for (int m = 0; m < vol.stencil_size; ++m)
          if (ownerOfPoint(s, e.donor, e.donor_points[m]) != receiverOwner)
            needs[size_t(receiverOwner)].push_back({e.donor, e.donor_points[m]});
      } else if (receiverOwner == rank && donorOwner == rank) {
        local[size_t(vi)].push_back(n);
      } else if (receiverOwner == rank) {
        peers[size_t(donorOwner)].sumsIn.push_back({vi, n});
      } else if (donorOwner == rank) {
        peers[size_t(receiverOwner)].sumsOut.push_back({vi, n});
      }
    }
  }
  localIndependent.resize(size_t(lists.volumeCount));
  for (int vi = 0; vi < lists.volumeCount; ++vi)
    localIndependent[size_t(vi)].assign(s.volumes[size_t(vi)], local[size_t(vi)]);
  for (int q = 0; q < count; ++q) {
    if (q == rank) continue;
    PeerLists& p = peers[size_t(q)];
    for (const PointRef& r : ordered) {
      const int owner = ownerOfPoint(s, r.volume, r.point);
      if (owner == rank) p.rawOut.push_back(r);
      if (owner == q) p.rawIn.push_back(r);
    }
    for (const PointRef& r : needs[size_t(q)])
      if (ownerOfPoint(s, r.volume, r.point) == rank) p.rawOut.push_back(r);
    for (const PointRef& r : needs[size_t(rank)])
      if (ownerOfPoint(s, r.volume, r.point) == q) p.rawIn.push_back(r);
    sortUnique(p.rawOut);
    sortUnique(p.rawIn);
  }
  builtFor = &lists;
  volumesGeneration = s.volumesGeneration.load();
  interpolationGeneration = s.interpolationGeneration.load();
}

void DistributedRun::postReceive(int q, size_t values, int tag) {
  std::vector<double>& b = peers[size_t(q)].receiveBuffer;
  b.resize(values);
  requests.emplace_back();
  MPI_Irecv(b.data(), int(values), MPI_DOUBLE, q, tag, MPI_COMM_WORLD, &requests.back());
}

void DistributedRun::postSend(int q, int tag) {
  std::vector<double>& b = peers[size_t(q)].sendBuffer;
  requests.emplace_back();
  MPI_Isend(b.data(), int(b.size()), MPI_DOUBLE, q, tag, MPI_COMM_WORLD, &requests.back());
  traffic.bytesSent += int64_t(b.size() * sizeof(double));
}

void DistributedRun::exchangeHalos(SimulationState& s, Work work) {
  std::vector<FiniteVolume>& vols = s.volumes;
  const int tag = haloTag(work);
  requests.clear();
  for (int q = 0; q < count; ++q) {
    PeerLists& p = peers[size_t(q)];
    if (q == rank || p.haloIn.empty()) continue;
    size_t values = 0;
    for (const PlaneRef& h : p.haloIn) {
      FiniteVolume& vol = vols[size_t(h.volume)];
      values += size_t(haloFields(vol, work).count) * size_t(vol.stride_i);
    }
    if (values > 0) postReceive(q, values, tag);
  }
  for (int q = 0; q < count; ++q) {
    PeerLists& p = peers[size_t(q)];
    if (q == rank || p.haloOut.empty()) continue;
    std::vector<double>& b = p.sendBuffer;
    b.clear();
    for (const PlaneRef& h : p.haloOut) {
      FiniteVolume& vol = vols[size_t(h.volume)];
      const Fields f = haloFields(vol, work);
      const size_t from = size_t(h.plane) * size_t(vol.stride_i);
      for (int k = 0; k < f.count; ++k)
        b.insert(b.end(), f.of[size_t(k)] + from, f.of[size_t(k)] + from + size_t(vol.stride_i));
    }
    if (!b.empty()) postSend(q, tag);
  }
  if (requests.empty()) return;
  MPI_Waitall(int(requests.size()), requests.data(), MPI_STATUSES_IGNORE);
  for (int q = 0; q < count; ++q) {
    PeerLists& p = peers[size_t(q)];
    if (q == rank || p.haloIn.empty()) continue;
    const double* in = p.receiveBuffer.data();
    for (const PlaneRef& h : p.haloIn) {
      FiniteVolume& vol = vols[size_t(h.volume)];
      const Fields f = haloFields(vol, work);
      const size_t from = size_t(h.plane) * size_t(vol.stride_i);
      for (int k = 0; k < f.count; ++k) {
        std::copy(in, in + vol.stride_i, f.of[size_t(k)] + from);
        in += vol.stride_i;
      }
    }
  }
}

void DistributedRun::serve(SimulationState& s, const ReceiverLists& lists, Work work) {
  if (builtFor != &lists || volumesGeneration != s.volumesGeneration.load() ||
      interpolationGeneration != s.interpolationGeneration.load())
    buildSchedule(s, lists);
  std::vector<FiniteVolume>& vols = s.volumes;
  const int F = work == Work::VelocityReceivers ? 3 : work == Work::DivergenceReceivers ? 1 : 2;
  const int tag = receiverTag(work);
  requests.clear();
  for (int q = 0; q < count; ++q) {
    if (q == rank) continue;
    PeerLists& p = peers[size_t(q)];
    const size_t values = size_t(F) * (p.rawIn.size() + p.sumsIn.size());
    if (values > 0) postReceive(q, values, tag);
  }
  for (int q = 0; q < count; ++q) {
    if (q == rank) continue;
    PeerLists& p = peers[size_t(q)];
    const size_t values = size_t(F) * (p.rawOut.size() + p.sumsOut.size());
    if (values == 0) continue;
    std::vector<double>& b = p.sendBuffer;
    b.clear();
    // Taken before this process serves its own receivers, which may
    // overwrite stencil points of the ordered ones: the values at the start
    // of the phase.
    for (const PointRef& r : p.rawOut) {
      const Fields f = receiverFields(vols[size_t(r.volume)], work);
      for (int k = 0; k < F; ++k) b.push_back(f.of[size_t(k)][r.point]);
    }
    for (const PointRef& r : p.sumsOut) {
      const FiniteVolume& vol = vols[size_t(r.volume)];
      const InterpolEntry& e = vol.interpol_data[size_t(r.point)];
      const Fields f = receiverFields(vols[size_t(e.donor)], work);
      for (int k = 0; k < F; ++k)
        b.push_back(exchange_detail::stencilSum(e, vol.stencil_size, f.of[size_t(k)]));
    }
    postSend(q, tag);
  }
  const ReceiverFn receiver = receiverOf(work);
  const ReceiverListFn receivers = receiversOf(work);
  for (size_t v = 0; v < localIndependent.size(); ++v)
    receivers(vols, vols[v], localIndependent[v], 0, localIndependent[v].count());
  MPI_Waitall(int(requests.size()), requests.data(), MPI_STATUSES_IGNORE);

  for (int q = 0; q < count; ++q) {
    if (q == rank) continue;
    PeerLists& p = peers[size_t(q)];
    const double* in = p.receiveBuffer.data();
    for (const PointRef& r : p.rawIn) {
      const Fields f = receiverFields(vols[size_t(r.volume)], work);
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
  // Every stencil point of these is current here now.
  for (const PointRef& r : afterRaw) receiver(vols, vols[size_t(r.volume)], r.point);
  if (lists.anyOrdered) exchange_detail::serveOrdered(lists, vols, receiversOf(work));
}

// A volume's sums run through its pieces in plane order: each piece's
// process continues from the sums of the piece before it. Every process
// walks the pieces of every volume in the same order and only waits for an
// earlier piece, whose process never waits for a later one: every wait has
// an outcome.
void DistributedRun::chainResiduals(const SimulationState& s,
                                    std::vector<ResidualSums>& residuals) {
  constexpr int kValues = 6;  // five squares and the point count
  // One buffer per send, never moved while the send is in flight.
  size_t pieceCount = 0;
  for (const std::vector<Piece>& pieces : decomposition.piecesOf) pieceCount += pieces.size();
  std::vector<std::array<double, kValues>> outgoing;
  outgoing.reserve(pieceCount);
  std::vector<MPI_Request> sends;
  for (size_t v = 0; v < decomposition.piecesOf.size(); ++v) {
    const std::vector<Piece>& pieces = decomposition.piecesOf[v];
    ResidualSums carried;
    for (size_t k = 0; k < pieces.size(); ++k) {
      const Piece& p = pieces[k];
      if (p.rank != rank) continue;
      if (k > 0 && pieces[k - 1].rank != rank) {
        std::array<double, kValues> in{};
        MPI_Recv(in.data(), kValues, MPI_DOUBLE, pieces[k - 1].rank, kResidualTag, MPI_COMM_WORLD,
                 MPI_STATUS_IGNORE);
        for (size_t q = 0; q < 5; ++q) carried.squares[q] = in[q];
        carried.points = static_cast<long long>(in[5]);  // exact below 2^53
      }
      carried = residualSumsOf(s.volumes[v], p.firstPlane, p.lastPlane, carried);
      if (k + 1 == pieces.size()) {
        residuals[v] = carried;
      } else if (pieces[k + 1].rank != rank) {
        std::array<double, kValues>& out = outgoing.emplace_back();
        for (size_t q = 0; q < 5; ++q) out[q] = carried.squares[q];
        out[5] = double(carried.points);
        sends.emplace_back();
        MPI_Isend(out.data(), kValues, MPI_DOUBLE, pieces[k + 1].rank, kResidualTag,
                  MPI_COMM_WORLD, &sends.back());
        traffic.bytesSent += int64_t(sizeof out);
      }
    }
  }
  MPI_Waitall(int(sends.size()), sends.data(), MPI_STATUSES_IGNORE);
}

// Per volume: pressure drag, friction drag, five residual squares and the
// point count (exact in a double below 2^53).
constexpr int kPartValues = 8;

void DistributedRun::completeParts(const SimulationState& s, std::vector<double>& pressureX,
                                   std::vector<double>& frictionX,
                                   std::vector<ResidualSums>& residuals) {
  const size_t V = pressureX.size();
  chainResiduals(s, residuals);
  // The drag comes from the process holding the wall, the residual sums
  // from the one holding the last piece.
  auto wallRank = [&](size_t v) { return decomposition.ownerOf(int(v), 0); };
  auto lastRank = [&](size_t v) {
    const std::vector<Piece>& pieces = decomposition.piecesOf[v];
    return pieces.empty() ? 0 : pieces.back().rank;
  };
  std::vector<double> mine(V * kPartValues, 0.0), all(V * kPartValues * size_t(count));
  for (size_t v = 0; v < V; ++v) {
    double* p = &mine[v * kPartValues];
    if (wallRank(v) == rank) {
      p[0] = pressureX[v];
      p[1] = frictionX[v];
    }
    if (lastRank(v) == rank) {
      for (size_t q = 0; q < 5; ++q) p[2 + q] = residuals[v].squares[q];
      p[7] = double(residuals[v].points);
    }
  }
  MPI_Allgather(mine.data(), int(mine.size()), MPI_DOUBLE, all.data(), int(mine.size()),
                MPI_DOUBLE, MPI_COMM_WORLD);
  traffic.bytesSent += int64_t(mine.size() * sizeof(double)) * (count - 1);
  traffic.steps += 1;
  for (size_t v = 0; v < V; ++v) {
    const double* wall = &all[(size_t(wallRank(v)) * V + v) * kPartValues];
    const double* last = &all[(size_t(lastRank(v)) * V + v) * kPartValues];
    pressureX[v] = wall[0];
    frictionX[v] = wall[1];
    for (size_t q = 0; q < 5; ++q) residuals[v].squares[q] = last[2 + q];
    residuals[v].points = static_cast<long long>(last[7]);
  }
}

std::shared_ptr<DistributedRun> distributeSteps(SimulationState& s, const Decomposition* given) {
  auto run = std::make_shared<DistributedRun>();
  run->rank = processRank();
  run->count = processCount();
  // The same decomposition as the selective read of an --open folder
  // (rank_files.h), so that each process computes the planes it read.
  run->decomposition =
      given ? *given : decomposeCase(s.volumes, s.volumeCount, run->count, s.schemeOrder);
  run->peers.assign(size_t(run->count), PeerLists{});
  run->buildHalos();

  auto d = std::make_shared<StepDistribution>();
  d->ownPlanes.assign(size_t(s.volumeCount), {});
  for (int v = 0; v < s.volumeCount; ++v)
    for (const Piece& p : run->decomposition.piecesOf[size_t(v)]) {
      if (p.rank != run->rank) continue;
      d->ownPlanes[size_t(v)].push_back({p.firstPlane, p.lastPlane});
      run->ownPoints += int64_t(s.volumes[size_t(v)].stride_i) * (p.lastPlane - p.firstPlane + 1);
    }
  DistributedRun* r = run.get();
  d->exchangeHalos = [r](SimulationState& st, Work work) { r->exchangeHalos(st, work); };
  d->serveReceivers = [r](SimulationState& st, const ReceiverLists& lists, Work work) {
    r->serve(st, lists, work);
  };
  d->completeParts = [r](SimulationState& st, std::vector<double>& p, std::vector<double>& f,
                         std::vector<ResidualSums>& res) { r->completeParts(st, p, f, res); };
  s.stepDistribution = d;
  // Nothing steps yet (the work team is idle): the planes this process
  // neither computes nor reads as halo go back to the operating system.
  run->flowMemory = releaseUnheldPlanes(
      s.volumes, s.volumeCount,
      planesHeldBy(run->decomposition, s.volumes, s.volumeCount, run->rank));
  return run;
}

void gatherFlowToRank0(SimulationState& s, const DistributedRun& run) {
  for (int v = 0; v < s.volumeCount; ++v) {
    FiniteVolume& vol = s.volumes[size_t(v)];
    if (!vol.allocated) continue;
    for (const Piece& p : run.decomposition.piecesOf[size_t(v)]) {
      if (p.rank == 0 || (run.rank != 0 && run.rank != p.rank)) continue;
      const size_t from = size_t(p.firstPlane) * size_t(vol.stride_i);
      const int values = (p.lastPlane - p.firstPlane + 1) * vol.stride_i;
      forEachFlowArray(vol, [&](std::vector<double>& a) {
        if (run.rank == p.rank)
          MPI_Send(a.data() + from, values, MPI_DOUBLE, 0, 1, MPI_COMM_WORLD);
        else
          MPI_Recv(a.data() + from, values, MPI_DOUBLE, p.rank, 1, MPI_COMM_WORLD,
                   MPI_STATUS_IGNORE);
      });
    }
  }
}

Traffic trafficOf(const DistributedRun& run) { return run.traffic; }

FlowMemory flowMemoryOf(const DistributedRun& run) { return run.flowMemory; }

std::string flowMemoryLine(const DistributedRun& run) {
  const int64_t mine[2] = {run.flowMemory.allocatedBytes, run.flowMemory.heldBytes()};
  std::vector<int64_t> all(size_t(2 * run.count));
  MPI_Gather(mine, 2, MPI_INT64_T, all.data(), 2, MPI_INT64_T, 0, MPI_COMM_WORLD);
  if (run.rank != 0) return {};
  std::string line = "flow memory held by rank once the steps were shared (of the whole case's):";
  for (int r = 0; r < run.count; ++r) {
    const int64_t* f = &all[size_t(2 * r)];
    line += " " + std::to_string(r) + ":" + std::to_string(f[1]) + " (" + std::to_string(f[0]) + ")";
  }
  return line;
}

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
