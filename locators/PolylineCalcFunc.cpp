#include "locators/PolylineCalcFunc.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Interpolant.h"
#include "framework/okl/ContourOKLObject.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "locators/BoundaryIntersection.h"
#include "locators/LocatorCalcFunc.h"
#include "locators/PolylineGeometryReader.h"
#include "locators/SegmentChains.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>

namespace zel {

namespace {

const char* const kClass = "PolylineCalcFunc";

// Chain ends closer than this (in length units) are one place.
constexpr double kCoincident = 1e-6;

const BoundaryIntersection::Wording kIntersection{
    kClass,
    "doIntersection",
    "polyline",
    "Polyline",
    "mesh-density",
    "%s Boundary Intersection requires a Location object of \ntype Boundary, Region, Slice Plane or Isosurface. \n"
    "%s is a %s."};

} // namespace

// ------------------------------------------------------------------------------ actions

PolylineCalcFunc::PolylineCalcFunc(bool interpolantFlag)
    : CalcFuncExecutive(passingOn(kClass)), m_flag(interpolantFlag) {}

void PolylineCalcFunc::build(GeometricOKLObject& polyline) {
    const std::string option = polyline.getValue("Option");
    if (option == "From File")
        readFromFile(polyline);
    else if (option == "Boundary Intersection")
        doIntersection(polyline);
    else if (option == "From Contour")
        doContourLine(polyline);
}

void PolylineCalcFunc::draw(GeometricOKLObject& polyline) {
    // A file polyline is one geometry; the others are per domain, and a contour's
    // whole-object level adds the empty name.
    std::vector<std::string> names{""};
    if (polyline.getValue("Option") != "From File") {
        names = polyline.getDomainNameList();
        if (polyline.getGeometry("") != nullptr) names.emplace_back();
    }
    LocatorFrame::renderLines(polyline, names, kClass);
}

// ---------------------------------------------------------------------------- from file

void PolylineCalcFunc::readFromFile(GeometricOKLObject& object) const {
    GeometryAutoPtr geometry;
    ExternalGeometry& external = LocatorFrame::newExternalGeometry(geometry, kClass, "readFromFile");
    const std::string file = object.getValue("Input File");

    auto owned = std::make_unique<PolylineGeometryReader>();
    owned->initialize(file, object.getName());
    PolylineGeometryReader* reader = owned.get(); // owned by the external geometry from here on
    external.setFileReader(std::move(owned));

    TripletZELVector points;
    std::vector<int> lines;
    reader->readPolylineFile(points, lines);
    geometry->setVertices(std::move(points));
    geometry->setLines(IntZELVector(std::move(lines)));

    geometry->setInterpolant(
        LocatorFrame::makeInterpolant(geometry->getVertices(), object.getDomainNameList(), false, m_flag));
    geometry->setName(object.getName());
    LocatorFrame::attach(object, "", geometry);
    reader->generateOKLObjects();
}

// ------------------------------------------------------------------ boundary intersection

void PolylineCalcFunc::doIntersection(GeometricOKLObject& object) const {
    BoundaryIntersection settings(kIntersection);
    if (!settings.read(object)) return;
    const bool onBoundary = settings.location().isA("region2d");
    const bool addVariables = object.hasParam("Add Local Variable") && object.getBoolValue("Add Local Variable");
    settings.forEachDomain([&](const std::string& domain, Geometry& surface, std::vector<Geometry*>& boundaries) {
        GeometryAutoPtr geometry(GeometryAPI::instance()->newGeometry("", nullptr));
        geometry->setName(object.getName());
        if (calcIntersect(geometry.get(), boundaries, &surface, onBoundary, domain, true, addVariables))
            LocatorFrame::attach(object, domain, geometry);
    });
}

bool PolylineCalcFunc::calcIntersect(Geometry* result, std::vector<Geometry*>& boundaries, Geometry* surface,
                                     bool vertexInterpolant, const std::string& domain, bool makeInterpolant,
                                     bool boundaryVariables) {
    if (result == nullptr || surface == nullptr)
        throw internal::nullPointer(kClass, "calcIntersect", "Null pointers provided to function.", ErrError);

    std::vector<Edge> edges;
    std::set<int> vertexSet;
    surface->getFreeEdges(edges, vertexSet);
    surface->findFreeEdgesOnBoundaries(boundaries, edges, vertexSet);

    std::vector<VertexChain> chains = chainEdgesByIndex(edges);
    const TripletZELVector& positions = surface->getVertices();
    joinChainsByPosition(chains, positions.span(), kCoincident);

    // Vertices in order of first use along the chains, after those the result holds.
    TripletZELVector& vertices = result->getModifiableVertices();
    std::vector<int> newIndex(positions.size(), -1); // surface vertex -> result vertex
    std::vector<int> path;                           // the chains one after another, as result vertices below
    for (const VertexChain& chain : chains) path.insert(path.end(), chain.begin(), chain.end());
    appendByFirstUse(path, positions.span(), vertices,
                     [&](int v) { newIndex[std::size_t(v)] = static_cast<int>(vertices.size()) - 1; });
    const std::size_t vertexCount = vertices.size();

    if (makeInterpolant) {
        const Interpolant* source = surface->getInterpolant();
        if (source == nullptr)
            throw internal::nullPointer(kClass, "calcIntersect",
                                        _("%s %s does not have an interpolant.", "Locator", surface->getName()),
                                        ErrError);
        if (!vertexInterpolant) {
            const auto* edgesSource = dynamic_cast<const EdgeInterpolant*>(source);
            if (edgesSource == nullptr)
                throw internal::nullPointer(
                    kClass, "calcIntersect",
                    _("%s %s does not have an edge interpolant.", "Locator", surface->getName()), ErrError);
            auto interpolant = std::make_unique<EdgeInterpolant>(domain);
            interpolant->reserve(vertexCount);
            std::map<int, EdgeInterpolantData> data;
            for (int v : vertexSet)
                data.emplace(newIndex[std::size_t(v)], edgesSource->getInternalData(std::size_t(v)));
            interpolant->addData(data);
            result->setInterpolant(std::move(interpolant));
        } else {
            const auto* nodesSource = dynamic_cast<const VertexInterpolant*>(source);
            if (nodesSource == nullptr)
                throw internal::nullPointer(
                    kClass, "calcIntersect",
                    _("%s %s does not have a vertex interpolant.", "Locator", surface->getName()), ErrError);
            auto interpolant = std::make_unique<VertexInterpolant>(domain);
            interpolant->reserve(vertexCount);
            std::vector<int> nodes(vertexCount, -1);
            for (int v : vertexSet)
                nodes[std::size_t(newIndex[std::size_t(v)])] = nodesSource->getInternalData(std::size_t(v));
            interpolant->swapInternalData(nodes);
            result->setInterpolant(std::move(interpolant));
        }
    }

    IntZELVector& lines = result->getModifiableLines();
    const std::size_t before = lines.size();
    std::size_t added = 0;
    for (const VertexChain& chain : chains) added += 2 * (chain.size() - 1);
    lines.resize(before + added);
    std::size_t written = 0;
    for (const VertexChain& chain : chains)
        for (std::size_t k = 1; k < chain.size(); ++k) {
            lines[before + written++] = newIndex[std::size_t(chain[k - 1])];
            lines[before + written++] = newIndex[std::size_t(chain[k])];
        }
    if (before + written != lines.size())
        throw data::invalid(kClass, "calcIntersect",
                            _("Lines size mismatch. Expected %d, created %d segments.", lines.size(), before + written),
                            ErrError);

    if (boundaryVariables && makeInterpolant && !vertexInterpolant)
        if (auto* interpolant = dynamic_cast<EdgeInterpolant*>(result->getInterpolant()))
            calcBoundaryVariables(*interpolant, *result, boundaries, result->getName());

    return result->getNumVertices() > 0;
}

// --------------------------------------------------------------------------- contour line

void PolylineCalcFunc::doContourLine(GeometricOKLObject& object) const {
    const int level = object.getIntValue("Contour Level");
    const std::string contourName = object.getValue("Contour Name");
    OKLObject* contourObject = ObjectDB::instance()->getObjectByName(contourName);
    if (contourObject == nullptr)
        throw internal::badParam(kClass, "doContourLine", _("Cannot find OKL object for contour '%s'.", contourName),
                                 ErrError);
    auto* geometric = dynamic_cast<GeometricOKLObject*>(contourObject);
    if (geometric == nullptr)
        throw internal::badParam(kClass, "doContourLine",
                                 _("Bad cast of %s '%s' to %s.", "OKLObject", contourName, "GeometricOKLObject"),
                                 ErrError);
    auto* contour = dynamic_cast<ContourOKLObject*>(geometric);
    if (contour == nullptr)
        throw internal::nullPointer(kClass, "doContourLine",
                                    _("Can't cast GeometricOKLObject for %s to ContourOKLObject.", contourName),
                                    ErrError);

    const std::vector<std::string> domains = object.getDomainNameList();
    if (domains.empty())
        throw data::invalid(kClass, "doContourLine", "Empty domain list found in Domain List parameter.", ErrError);
    std::vector<std::string> names = domains;
    names.emplace_back();

    for (const std::string& name : names) {
        GeometryAutoPtr geometry(GeometryAPI::instance()->newGeometry("", nullptr));
        const Geometry* found = contour->getGeometry(name);
        if (found == nullptr) continue;
        const auto* contourGeometry = dynamic_cast<const ContourGeometry*>(found);
        if (contourGeometry == nullptr)
            throw internal::error(kClass, "doContourLine", _("Cast to %s failed.", "ContourGeometry"), ErrError);
        if (level < 1 || level > contourGeometry->getNumLevels())
            throw data::invalid(kClass, "doContourLine", _("Requested contour level %d does not exist.", level),
                                ErrError);

        IntZELVector lines = contourGeometry->getLevel(level - 1).segments;
        chainSegments(lines);
        TripletZELVector vertices;
        appendByFirstUse(lines.span(), contourGeometry->getVertices().span(), vertices, [](int) {});
        if (vertices.empty()) continue;
        geometry->setVertices(std::move(vertices));
        geometry->setLines(std::move(lines));
        geometry->setInterpolant(LocatorFrame::makeInterpolant(
            geometry->getVertices(), name.empty() ? domains : std::vector<std::string>{name}, false, m_flag));
        geometry->setName(object.getName());
        LocatorFrame::attach(object, name, geometry);
    }
}

} // namespace zel
