#include "locators/PolylineCalcFunc.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Interpolant.h"
#include "framework/okl/ContourOKLObject.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "framework/okl/ParamDefinition.h"
#include "locators/LineCalcFunc.h"
#include "locators/LocatorCalcFunc.h"
#include "locators/PolylineChains.h"
#include "locators/PolylineGeometryReader.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>

namespace zel {

namespace {

const char* const kClass = "PolylineCalcFunc";

// Chain ends closer than this (in length units) are one place.
constexpr double kCoincident = 1e-6;

// A problem of the boundary-intersection settings: a warning, after which nothing is built.
void warn(const std::string& message)
{
    ErrorProgressReporter::instance()->reportError(ErrorMsg(kClass, "doIntersection", message, ErrWarning));
}

} // namespace

// ------------------------------------------------------------------------------ actions

void PolylineCalcFunc::operator()(OKLObject* object, const std::string& action)
{
    auto* polyline = dynamic_cast<GeometricOKLObject*>(object);
    if (polyline == nullptr)
        throw internal::error(kClass, "operator()", "Cast to GeometricOKLObject failed.", ErrError);

    if (action == "top") {
        LocatorFrame::rebuild(*polyline, [&] {
            const std::string option = polyline->getValue("Option");
            if (option == "From File")
                readFromFile(*polyline);
            else if (option == "Boundary Intersection")
                doIntersection(*polyline);
            else if (option == "From Contour")
                doContourLine(*polyline);
        });
    } else if (action == "colour") {
        polyline->recolour();
    } else if (action == "render") {
        // A file polyline is one geometry; the others are per domain, and a contour's
        // whole-object level adds the empty name.
        std::vector<std::string> names{""};
        if (polyline->getValue("Option") != "From File") {
            names = polyline->getDomainNameList();
            if (polyline->getGeometry("") != nullptr) names.emplace_back();
        }
        LocatorFrame::renderLines(*polyline, names, kClass);
        polyline->updateDefaultLegend();
        polyline->clearChangeFlags();
    }
}

// ---------------------------------------------------------------------------- from file

void PolylineCalcFunc::readFromFile(GeometricOKLObject& object) const
{
    GeometryAutoPtr geometry(GeometryAPI::instance()->newGeometry("ExternalGeometry", nullptr));
    auto* external = dynamic_cast<ExternalGeometry*>(geometry.get());
    if (external == nullptr)
        throw internal::error(kClass, "readFromFile", _("Cast to %s failed.", "ExternalGeometry"), ErrError);
    const std::string file = object.getValue("Input File");

    auto owned = std::make_unique<PolylineGeometryReader>();
    owned->initialize(file, object.getName());
    PolylineGeometryReader* reader = owned.get();  // owned by the external geometry from here on
    external->setFileReader(std::move(owned));

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

void PolylineCalcFunc::doIntersection(GeometricOKLObject& object) const
{
    const std::string& name = object.getName();
    const std::vector<std::string> domains = object.getDomainNameList();
    if (domains.empty()) return warn(_("Cannot create polyline '%s'. Domain List is not provided.", name));

    const std::vector<std::string> locations = ParamDefinition::splitValue(object.getValue("Location"));
    if (locations.empty()) return warn(_("Cannot create polyline '%s'. Location is not provided.", name));
    if (locations.size() > 1)
        warn(_("Cannot create polyline '%s'.\nBoundary Intersection mode currently supports only one location.", name));
    const std::string& locationName = locations.front();

    const std::vector<std::string> boundaryNames = ParamDefinition::splitValue(object.getValue("Boundary List"));
    if (boundaryNames.empty()) return warn(_("Cannot create polyline '%s'. Boundary List is not provided.", name));

    OKLObject* locationObject = ObjectDB::instance()->getObjectByName(locationName);
    if (locationObject == nullptr)
        return warn(_("Cannot create polyline '%s'. Location '%s' is not found.", name, locationName));
    auto* location = dynamic_cast<GeometricOKLObject*>(locationObject);
    if (location == nullptr)
        throw internal::nullPointer(
            kClass, "doIntersection",
            _("Can't cast locator OKLObject for %s to GeometricOKLObject.", locationName), ErrError);
    if (location->getType() == "PLANE" && location->getValue("Plane Type") == "Sample")
        return warn(_("%s Boundary Intersection requires Plane:%s to be a Slice Plane. Plane:%s is a Sample Plane.",
                      "Polyline", locationName, locationName));
    if (!location->isA("mesh-density"))
        return warn(_("%s Boundary Intersection requires a Location object of \ntype Boundary, Region, Slice Plane "
                      "or Isosurface. \n%s is a %s.",
                      "Polyline", locationName, location->getType()));

    const bool onBoundary = location->isA("region2d");
    const bool addVariables = object.hasParam("Add Local Variable") && object.getBoolValue("Add Local Variable");
    for (const std::string& domain : domains) {
        GeometryAutoPtr geometry(GeometryAPI::instance()->newGeometry("", nullptr));
        geometry->setName(name);
        Geometry* surface = location->getGeometry(domain);
        if (surface == nullptr) continue;

        std::vector<Geometry*> boundaries;
        for (const std::string& boundaryName : boundaryNames) {
            OKLObject* boundaryObject = ObjectDB::instance()->getObjectByName(boundaryName);
            if (boundaryObject == nullptr) {
                warn(_("Cannot create polyline '%s'. Boundary '%s' is not found.", name, boundaryName));
                continue;
            }
            auto* boundary = dynamic_cast<GeometricOKLObject*>(boundaryObject);
            if (boundary == nullptr)
                throw internal::nullPointer(
                    kClass, "doIntersection",
                    _("Can't cast boundary OKLObject for %s to GeometricOKLObject.", boundaryName), ErrError);
            if (!boundary->isA("region2d")) {
                warn(_("Cannot create polyline '%s'. '%s' is not a boundary.", name, boundaryName));
                continue;
            }
            const std::vector<std::string> boundaryDomains = boundary->getDomainNameList();
            if (std::find(boundaryDomains.begin(), boundaryDomains.end(), domain) == boundaryDomains.end()) continue;
            Geometry* boundaryGeometry = boundary->getGeometry(domain);
            if (boundaryGeometry == nullptr)
                throw internal::nullPointer(
                    kClass, "doIntersection",
                    _("Boundary %s is listed in domain %s, but no geometry was found.", boundaryName, domain), ErrError);
            // A boundary named twice is cut once: its force and heat flux would count double.
            if (std::find(boundaries.begin(), boundaries.end(), boundaryGeometry) == boundaries.end())
                boundaries.push_back(boundaryGeometry);
        }
        if (boundaries.empty()) continue;
        if (calcIntersect(geometry.get(), boundaries, surface, onBoundary, domain, true, addVariables))
            LocatorFrame::attach(object, domain, geometry);
    }
}

bool PolylineCalcFunc::calcIntersect(Geometry* result, std::vector<Geometry*>& boundaries, Geometry* surface,
                                     bool vertexInterpolant, const std::string& domain, bool makeInterpolant,
                                     bool boundaryVariables)
{
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
    std::vector<int> newIndex(positions.size(), -1);  // surface vertex -> result vertex
    for (const VertexChain& chain : chains)
        for (int v : chain) {
            int& target = newIndex[std::size_t(v)];
            if (target >= 0) continue;
            target = static_cast<int>(vertices.size());
            vertices.push_back(positions[std::size_t(v)]);
        }
    const std::size_t vertexCount = vertices.size();

    if (makeInterpolant) {
        const Interpolant* source = surface->getInterpolant();
        if (source == nullptr)
            throw internal::nullPointer(kClass, "calcIntersect",
                                        _("%s %s does not have an interpolant.", "Locator", surface->getName()), ErrError);
        if (!vertexInterpolant) {
            const auto* edgesSource = dynamic_cast<const EdgeInterpolant*>(source);
            if (edgesSource == nullptr)
                throw internal::nullPointer(
                    kClass, "calcIntersect", _("%s %s does not have an edge interpolant.", "Locator", surface->getName()),
                    ErrError);
            auto interpolant = std::make_unique<EdgeInterpolant>(domain);
            interpolant->reserve(vertexCount);
            std::map<int, EdgeInterpolantData> data;
            for (int v : vertexSet) data.emplace(newIndex[std::size_t(v)], edgesSource->getInternalData(std::size_t(v)));
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
            for (int v : vertexSet) nodes[std::size_t(newIndex[std::size_t(v)])] = nodesSource->getInternalData(std::size_t(v));
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

void PolylineCalcFunc::doContourLine(GeometricOKLObject& object) const
{
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
        throw internal::nullPointer(
            kClass, "doContourLine",
            _("Can't cast GeometricOKLObject for %s to ContourOKLObject.", contourName), ErrError);

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

        IntZELVector segments = contourGeometry->getLevel(level - 1).segments;
        LineCalcFunc::chainSegments(segments);
        // Contour vertices in order of first use.
        const TripletZELVector& contourVertices = contourGeometry->getVertices();
        std::vector<int> newIndex(contourVertices.size(), -1);
        TripletZELVector vertices;
        IntZELVector lines(segments.size());
        for (std::size_t k = 0; k < segments.size(); ++k) {
            int& target = newIndex[std::size_t(segments[k])];
            if (target < 0) {
                target = static_cast<int>(vertices.size());
                vertices.push_back(contourVertices[std::size_t(segments[k])]);
            }
            lines[k] = target;
        }
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
