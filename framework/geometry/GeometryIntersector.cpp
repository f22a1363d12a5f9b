#include "framework/geometry/GeometryIntersector.h"

#include "framework/core/Error.h"
#include "framework/geometry/GeometrySearch.h"

#include <cassert>

namespace zel {

std::size_t GeometryIntersector::intersectWithGeometry(Geometry* geometry, const std::string& domain,
                                                       const Geometry* domainGeometry, const TripletF& normal,
                                                       float planeConstant) {
    if (geometry == nullptr || domainGeometry == nullptr)
        throw internal::nullPointer("GeometryIntersector", "intersectWithGeometry", "Null geometry given.", ErrError);
    if (normal.isUndefined() || normal.lengthSquared() == 0.0f)
        throw internal::badParam("GeometryIntersector", "intersectWithGeometry",
                                 "The plane normal is zero or undefined.", ErrError);
    if (geometry->getNumVertices() != 0 || geometry->getNumElementSets() != 0)
        throw internal::badParam("GeometryIntersector", "intersectWithGeometry",
                                 "The geometry to fill with the cut is not empty.", ErrError);
    PlaneCutResult cut;
    PlaneCutter::cut(cellView(*domainGeometry), TripletD(normal), planeConstant, cut);
    return fill(*geometry, domain, std::move(cut));
}

std::size_t GeometryIntersector::fill(Geometry& geometry, const std::string& domain, PlaneCutResult&& cut) {
    static constexpr ShapeType kTypes[4] = {ShapeType::Triangle, ShapeType::Quadrilateral, ShapeType::Pentagon,
                                            ShapeType::Hexagon};
    std::size_t faces = 0;
    TripletZELVector vertices;
    vertices.vector().swap(cut.vertices);
    geometry.setVertices(std::move(vertices));
    for (std::size_t k = 0; k < cut.faces.size(); ++k) {
        const int n = static_cast<int>(k + 3);
        const int count = static_cast<int>(cut.faces[k].size() / std::size_t(n));
        if (count == 0) continue;
        ShapeSet* set = geometry.addFaceSet(ContourGeometry::faceSetSuffix(n), kTypes[k], count);
        assert(set != nullptr); // the geometry was empty
        set->editConnectivity().swap(cut.faces[k]);
        faces += std::size_t(count);
    }
    auto interpolant = std::make_unique<EdgeInterpolant>(domain);
    interpolant->reserve(cut.edges.size());
    for (const auto& e : cut.edges) interpolant->pushVertex(e);
    geometry.setInterpolant(std::move(interpolant));
    return faces;
}

} // namespace zel
