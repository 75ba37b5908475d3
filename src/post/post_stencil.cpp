#include "post/post_stencil.h"

#include <algorithm>
#include <vector>

#include "grid/geometry.h"
#include "grid/rank_memo.h"
#include "grid/stencil_search.h"

namespace brelvik {

int findDonorVolume(const SimulationState& s, const Vec3& X) {
  int donor = -1;
  const int count = std::min<int>(s.volumeCount, static_cast<int>(s.volumes.size()));
  for (int v = 0; v < count; ++v)
    if (insideVolume(s.volumes[static_cast<size_t>(v)], X)) donor = v;
  return donor;
}

namespace {

// The selection rules of the sampling plane and the streamlines: any point of
// positive type, no layer rule, no limit on negative weights.
StencilRules postRules(RankMemo* memo) {
  StencilRules rules;
  rules.admittedTypes = ~1u;  // every type above 0
  rules.distinctLayers = false;
  rules.limitNegativeWeights = false;
  rules.memo = memo;
  return rules;
}

}  // namespace

// Per donor: its lattice and the remembered rank-test outcomes. An entry is
// rebuilt when the volume's arrays change shape or place.
struct PostStencilSearch::Impl {
  struct Donor {
    const FiniteVolume* volume = nullptr;
    const double* loc = nullptr;
    int Nx = -1, Ny = -1, Nz = -1;
    DonorLattice lattice;
    RankMemo memo;
  };
  std::vector<Donor> donors;
  StencilWorkspace workspace;

  Donor& donorFor(const FiniteVolume& vol) {
    Donor* d = nullptr;
    for (Donor& e : donors)
      if (e.volume == &vol) d = &e;
    if (!d) {
      donors.emplace_back();
      d = &donors.back();
      d->volume = &vol;
    }
    if (d->loc != vol.point_loc.data() || d->Nx != vol.Nx || d->Ny != vol.Ny || d->Nz != vol.Nz) {
      d->loc = vol.point_loc.data();
      d->Nx = vol.Nx;
      d->Ny = vol.Ny;
      d->Nz = vol.Nz;
      buildDonorLattice(vol, d->lattice);
      d->memo.reset(d->lattice.regular, d->lattice.xi, d->lattice.eta, d->lattice.zeta);
    }
    return *d;
  }
};

PostStencilSearch::PostStencilSearch() : impl_(std::make_unique<Impl>()) {}
PostStencilSearch::~PostStencilSearch() = default;

void PostStencilSearch::clear() { impl_->donors.clear(); }

bool PostStencilSearch::find(const FiniteVolume& vol, const Vec3& X, std::array<int, 10>& stencil,
                             std::array<double, 10>& weights) {
  const int64_t N = vol.pointCount();
  if (N <= 0 || vol.point_loc.size() < 3 * static_cast<size_t>(N) ||
      vol.type_point.size() < static_cast<size_t>(N))
    return false;
  Impl::Donor& donor = impl_->donorFor(vol);
  const Vec3 t = globalToGrid(vol, X, vol.kind);
  const StencilRules rules = postRules(&donor.memo);
  return findStencil(donor.lattice, t, 10, 2, rules, impl_->workspace, stencil.data(),
                     weights.data())
      .found;
}

}  // namespace brelvik
