// Mapping arbitrary points into the domain meshes: the three makeExternalInterpolant forms.
#include "domain/DomainGeometryBase.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Progress.h"
#include "framework/geometry/GeometrySearch.h"
#include "framework/geometry/Interpolant.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/ObjectDB.h"

#include <algorithm>
#include <array>
#include <memory>
#include <span>
#include <vector>

namespace zel {

namespace {
const char* const kClass = "DomainGeometryBase";
} // namespace

ExternalInterpolant* DomainGeometryBase::makeExternalInterpolant(const TripletZELVector& points,
                                                                 const std::vector<DomainGeometryBase*>& domains,
                                                                 bool flag, bool /*listFlag*/) {
    auto interpolant = std::make_unique<ExternalInterpolant>();
    int maxNodes = 0;
    for (const DomainGeometryBase* domain : domains) {
        if (domain == nullptr)
            throw internal::nullPointer(kClass, "makeExternalInterpolant", _("Null pointer to %s.", "domain"),
                                        ErrError);
        interpolant->addDomainName(domain->getName());
        for (int s = 0; s < domain->getNumElementSets(); ++s)
            maxNodes = std::max(maxNodes, domain->getElementSet(s).getNodesPerElement());
    }
    const std::size_t n = points.size();
    // One flat record list for all points; its bound avoids regrowing it on the way.
    interpolant->reserve(n, n * static_cast<std::size_t>(std::min(maxNodes, cell::kMaxCellNodes)));

    ProgressTracker progress;
    progress.add("Vertex Iteration", 1.0, static_cast<std::int64_t>(n));
    progress.start("Vertex Iteration");

    // Points go through the first domain's many-point search a chunk at a time (it overlaps
    // the memory reads of neighbouring queries); the few it does not locate are searched one
    // by one in the other domains, every domain strictly first, so that a point inside one
    // domain is never taken by the tolerant search of a neighbour that merely lies close.
    constexpr std::size_t kChunk = 1024;
    std::vector<ElementWeights> found(std::min(kChunk, n));
    std::array<NodeWeight, cell::kMaxCellNodes> nodes;
    const int domainCount = static_cast<int>(domains.size());
    for (std::size_t at = 0; at < n; at += kChunk) {
        const std::size_t m = std::min(kChunk, n - at);
        const std::span<const TripletF> chunk = points.span().subspan(at, m);
        if (domainCount > 0) domains.front()->findElements(chunk, found, SearchMode::Containing);
        for (std::size_t i = 0; i < m; ++i) {
            ElementWeights& hit = found[i];
            int holder = hit.count > 0 ? 0 : -1;
            for (SearchMode mode : {SearchMode::Containing, SearchMode::Nearest}) {
                if (holder >= 0) break;
                for (int k = mode == SearchMode::Containing ? 1 : 0; k < domainCount; ++k) {
                    if (domains[static_cast<std::size_t>(k)]->findElement(chunk[i], hit, flag, mode)) {
                        holder = k;
                        break;
                    }
                }
            }
            if (holder < 0) {
                interpolant->pushVertex(-1, {});
                continue;
            }
            for (int j = 0; j < hit.count; ++j)
                nodes[static_cast<std::size_t>(j)] =
                    NodeWeight{hit.nodes[static_cast<std::size_t>(j)], hit.weights[static_cast<std::size_t>(j)]};
            interpolant->pushVertex(holder,
                                    std::span<const NodeWeight>(nodes.data(), static_cast<std::size_t>(hit.count)));
        }
        progress.increment(static_cast<std::int64_t>(m));
    }
    progress.finish();
    return interpolant.release(); // the caller owns it
}

ExternalInterpolant* DomainGeometryBase::makeExternalInterpolant(const TripletZELVector& points,
                                                                 const std::vector<std::string>& domainNames, bool flag,
                                                                 bool listFlag) {
    std::vector<DomainGeometryBase*> domains;
    domains.reserve(domainNames.size());
    ObjectDB* db = ObjectDB::instance();
    for (const std::string& name : domainNames) {
        auto* object = dynamic_cast<GeometricOKLObject*>(db->getObjectByName(name));
        auto* domain = object != nullptr ? dynamic_cast<DomainGeometryBase*>(object->getGeometry(name)) : nullptr;
        if (domain == nullptr)
            throw internal::error(kClass, "makeExternalInterpolant", _("%s is not a domain.", name), ErrError);
        domains.push_back(domain);
    }
    return makeExternalInterpolant(points, domains, flag, listFlag);
}

ExternalInterpolant* DomainGeometryBase::makeExternalInterpolant(const TripletZELVector& points, bool flag,
                                                                 bool listFlag) {
    const GeometryInfo* directory = Geometry::getGeometryInfo();
    if (directory == nullptr)
        throw internal::nullPointer(kClass, "makeExternalInterpolant", _("Null pointer to %s.", "s_geometryInfo"),
                                    ErrError);
    std::vector<DomainGeometryBase*> domains;
    for (Geometry* geometry : directory->getGeometries(listFlag))
        if (auto* domain = dynamic_cast<DomainGeometryBase*>(geometry)) domains.push_back(domain);
    return makeExternalInterpolant(points, domains, flag, listFlag);
}

} // namespace zel
