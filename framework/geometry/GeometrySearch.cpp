#include "framework/geometry/GeometrySearch.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace zel {

namespace {

MeshView viewOf(const Geometry& geometry, bool cells) {
    MeshView v;
    v.vertices = geometry.getVertices().span();
    for (int s = 0; s < geometry.getNumElementSets(); ++s) {
        const ShapeSet& set = geometry.getElementSet(s);
        if (cells ? !set.isVolumeSet() : !set.isFaceSet()) continue;
        if (set.size() == 0) continue;
        v.blocks.push_back({set.getShapeType(), set.getNodesPerElement(), set.getConnectivity(), s});
    }
    return v;
}

// The cell index of a geometry and the cell found last (the hint of ordered searches).
class LocatorCache : public GeometryCacheBase {
public:
    explicit LocatorCache(const Geometry& g) : version(g.getMeshVersion()), locator(cellView(g)) {
        const auto offsets = g.getElementOffsets();
        for (const ElementBlockView& b : locator.view().mesh().blocks)
            firstId.push_back(offsets[static_cast<std::size_t>(b.setIndex)]);
    }
    std::uint64_t version;
    CellLocator locator;
    std::vector<std::int64_t> firstId; // per block of the index: the element id of its first cell
    std::int64_t lastCell = -1;
};

LocatorCache& locatorCache(const Geometry& geometry) {
    auto* cache = dynamic_cast<LocatorCache*>(geometry.getCache(Geometry::CacheLocator));
    if (cache == nullptr || cache->version != geometry.getMeshVersion()) {
        auto fresh = std::make_unique<LocatorCache>(geometry);
        cache = fresh.get();
        geometry.setCache(Geometry::CacheLocator, std::move(fresh));
    }
    return *cache;
}

} // namespace

MeshView cellView(const Geometry& geometry) { return viewOf(geometry, true); }
MeshView faceView(const Geometry& geometry) { return viewOf(geometry, false); }

const CellLocator& GeometrySearch::locator(const Geometry& geometry) { return locatorCache(geometry).locator; }

namespace {
void toWeights(const LocatorCache& cache, const CellLocator::View& view, const CellHit& hit, ElementWeights& weights) {
    const ElementBlockView& block = view.mesh().blocks[hit.block];
    weights.element = {block.setIndex, static_cast<int>(hit.local)};
    weights.globalId = cache.firstId[hit.block] + hit.local;
    weights.count = hit.nodeCount;
    for (int i = 0; i < hit.nodeCount; ++i) {
        weights.nodes[static_cast<std::size_t>(i)] = hit.nodes[i];
        weights.weights[static_cast<std::size_t>(i)] = static_cast<float>(hit.weights[static_cast<std::size_t>(i)]);
    }
    weights.distance = static_cast<float>(hit.distance);
}
} // namespace

bool Geometry::findElement(const TripletF& point, ElementWeights& weights, bool flag, SearchMode mode) const {
    LocatorCache& cache = locatorCache(*this);
    const CellLocator::View view = cache.locator.view();
    CellHit hit;
    if (!view.find(point, mode, hit, flag ? cache.lastCell : -1)) return false;
    cache.lastCell = hit.element;
    toWeights(cache, view, hit, weights);
    return true;
}

std::size_t Geometry::findElements(std::span<const TripletF> points, std::span<ElementWeights> weights,
                                   SearchMode mode) const {
    if (weights.size() < points.size())
        throw data::invalid("Geometry", "findElements", _("%d results for %d points.", weights.size(), points.size()));
    LocatorCache& cache = locatorCache(*this);
    const CellLocator::View view = cache.locator.view();
    // The hits of one chunk at a time: a fixed buffer, whatever the number of points.
    constexpr std::size_t kChunk = 256;
    std::vector<CellHit> hits(std::min(kChunk, points.size()));
    std::size_t located = 0;
    for (std::size_t at = 0; at < points.size(); at += kChunk) {
        const std::size_t n = std::min(kChunk, points.size() - at);
        located += view.findMany(points.subspan(at, n), mode, hits);
        for (std::size_t i = 0; i < n; ++i) {
            ElementWeights& w = weights[at + i];
            if (hits[i].element < 0) {
                w = ElementWeights{};
                continue;
            }
            toWeights(cache, view, hits[i], w);
            cache.lastCell = hits[i].element;
        }
    }
    return located;
}

} // namespace zel
