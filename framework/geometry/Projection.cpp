#include "framework/geometry/Projection.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/GeometrySearch.h"

#include <cmath>
#include <limits>
#include <memory>

namespace zel {

namespace {

class SurfaceCache : public GeometryCacheBase {
public:
    explicit SurfaceCache(const Geometry& g) : version(g.getMeshVersion()), locator(faceView(g)) {}
    std::uint64_t version;
    SurfaceLocator locator;
};

} // namespace

const SurfaceLocator& SurfaceProjection::locator(const Geometry& surface) {
    auto* cache = dynamic_cast<SurfaceCache*>(surface.getCache(Geometry::CacheProjection));
    if (cache == nullptr || cache->version != surface.getMeshVersion()) {
        auto fresh = std::make_unique<SurfaceCache>(surface);
        cache = fresh.get();
        surface.setCache(Geometry::CacheProjection, std::move(fresh));
    }
    return cache->locator;
}

double Geometry::ProjectionStatistics::getSuccessPercentage() const {
    if (m_distance.empty()) return 0.0;
    return 100.0 * double(getNumSucceeded()) / double(m_distance.size());
}

std::size_t Geometry::ProjectionStatistics::getNumProjected() const {
    std::size_t n = 0;
    for (double d : m_distance) n += std::isfinite(d);
    return n;
}

std::size_t Geometry::ProjectionStatistics::getNumSucceeded() const {
    std::size_t n = 0;
    for (std::size_t i = 0; i < m_distance.size(); ++i)
        n += std::isfinite(m_distance[i]) && m_distance[i] <= m_relativeTolerance * m_faceSize[i];
    return n;
}

double Geometry::ProjectionStatistics::getMaxDistance() const {
    double m = 0.0;
    for (double d : m_distance)
        if (std::isfinite(d)) m = std::max(m, d);
    return m;
}

double Geometry::ProjectionStatistics::getMeanDistance() const {
    double s = 0.0;
    std::size_t n = 0;
    for (double d : m_distance)
        if (std::isfinite(d)) {
            s += d;
            ++n;
        }
    return n ? s / double(n) : 0.0;
}

void Geometry::projectOnGeometry(const TripletZELVector& points, HybridInterpolant* interpolant,
                                 ProjectionStatistics& statistics) {
    if (interpolant == nullptr)
        throw internal::nullPointer("Geometry", "projectOnGeometry", "Null pointer to the interpolant.", ErrError);
    const std::size_t n = points.size();
    if (statistics.m_distance.empty()) {
        statistics.m_distance.assign(n, std::numeric_limits<double>::infinity());
        statistics.m_faceSize.assign(n, 0.0);
    }
    if (statistics.m_distance.size() != n)
        throw data::invalid("Geometry", "projectOnGeometry",
                            _("The statistics hold %d points, %d were given.", statistics.m_distance.size(), n),
                            ErrError);
    const std::size_t had = interpolant->getNumVertices();
    if (had != 0 && had != n)
        throw data::invalid("Geometry", "projectOnGeometry",
                            _("The interpolant holds %d vertices, %d points were given.", had, n), ErrError);

    const SurfaceLocator& surface = SurfaceProjection::locator(*this);
    // The new interpolant: the old one's domains and sources, then this surface.
    HybridInterpolant fresh;
    for (const std::string& d : interpolant->getDomains()) fresh.addDomainName(d);
    for (std::size_t s = 0; s < interpolant->getNumSources(); ++s) fresh.addSource(interpolant->getSource(s));
    const int source = fresh.addSource(this);
    fresh.reserve(n, n * 4);

    std::vector<NodeWeight> records;
    // Neighbouring points of a surface usually land on the same or a nearby face.
    SurfaceHit last;
    for (std::size_t i = 0; i < n; ++i) {
        const TripletF& p = points[i];
        SurfaceHit hit;
        // Only a point closer than on the surfaces projected on before replaces its record.
        const double before = statistics.m_distance[i];
        if (!p.isUndefined() && surface.closest(TripletD(p), hit, before, &last) && hit.distance < before) {
            last = hit;
            records.clear();
            surface.weights(hit, records);
            fresh.pushVertex(source, records);
            statistics.m_distance[i] = hit.distance;
            statistics.m_faceSize[i] = surface.faceSize(hit);
        } else if (had != 0) {
            fresh.pushVertex(interpolant->getInternalData(i));
        } else {
            fresh.pushVertex(-1, {});
        }
    }
    *interpolant = std::move(fresh);
}

} // namespace zel
