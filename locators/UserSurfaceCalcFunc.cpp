#include "locators/UserSurfaceCalcFunc.h"

#include "domain/DomainGeometryBase.h"
#include "feloads/KVO2NorvaUtilities.h"
#include "feloads/NorvaGeometryReader.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Progress.h"
#include "framework/core/StringUtilities.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Interpolant.h"
#include "framework/geometry/Octree.h"
#include "framework/geometry/Projection.h"
#include "framework/okl/ContourOKLObject.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "framework/viewer/Colour.h"
#include "framework/viewer/GraphicObject.h"
#include "locators/BoundaryIntersection.h"
#include "locators/LocatorCalcFunc.h"
#include "locators/UserSurfaceGeometryReader.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace zel {

namespace {

const char* const kClass = "UserSurfaceCalcFunc";

// The face sets of a file surface, in the order the readers fill them.
constexpr std::array<std::pair<const char*, ShapeType>, 4> kFileFaceSets = {{
    {"TRIANGLE", ShapeType::Triangle},
    {"QUAD", ShapeType::Quadrilateral},
    {"PENTAGON", ShapeType::Pentagon},
    {"HEXAGON", ShapeType::Hexagon},
}};

// A vector parameter of at least three floats (the first three are used), in `units`.
TripletF readVector(const OKLObject& object, const std::string& name, const std::string& units, const char* operation) {
    const std::vector<float> values = object.getFloatArray(name, units);
    if (values.size() < 3)
        throw data::invalid(kClass, operation, _("Parameter '%s' must be defined by %d float values.", name, 3),
                            ErrError);
    return {values[0], values[1], values[2]};
}

// The geometric object `name` that a surface is made from (`what`: "surface", "contour").
// internal::badParam when there is no such object or it is not a geometric object.
GeometricOKLObject& findGeometricSource(const std::string& name, const char* what, const char* operation) {
    OKLObject* source = ObjectDB::instance()->getObjectByName(name);
    if (source == nullptr)
        throw internal::badParam(kClass, operation, _("Cannot find OKL object for %s  '%s'.", what, name), ErrError);
    auto* geometric = dynamic_cast<GeometricOKLObject*>(source);
    if (geometric == nullptr)
        throw internal::badParam(kClass, operation,
                                 _("Bad cast of %s '%s' to %s.", "OKLObject", name, "GeometricOKLObject"), ErrError);
    return *geometric;
}

// The surface named by "Surface Name", which the offset and transformed surfaces copy.
GeometricOKLObject& findSourceSurface(const OKLObject& object, const char* operation) {
    return findGeometricSource(object.getValue("Surface Name"), "surface", operation);
}

// The geometry names of a source surface: its domains, then the empty name when it has a
// geometry that spans no single domain.
std::vector<std::string> sourceGeometryNames(const GeometricOKLObject& source) {
    std::vector<std::string> names = source.getDomainNameList();
    if (source.getGeometry("") != nullptr) names.emplace_back();
    return names;
}

// Appends the mesh of `from` to `into`: vertices, lines and elements, the element sets
// joined by name (a set of `from` whose name `into` lacks is added).
void appendMesh(Geometry& into, const Geometry& from) {
    const int offset = into.getNumVertices();
    TripletZELVector& vertices = into.getModifiableVertices();
    for (const TripletF& p : from.getVertices()) vertices.push_back(p);
    IntZELVector& lines = into.getModifiableLines();
    for (int index : from.getLines()) lines.push_back(index + offset);
    for (int s = 0; s < from.getNumElementSets(); ++s) {
        const ShapeSet& set = from.getElementSet(s);
        ShapeSet* target = into.getFaceSet(set.getName());
        if (target == nullptr || target->getShapeType() != set.getShapeType() ||
            target->getNodesPerElement() != set.getNodesPerElement()) {
            if (target != nullptr)
                throw internal::error(kClass, "doTransformedSurface",
                                      _("Element sets '%s' of the source geometries differ in shape.", set.getName()),
                                      ErrError);
            target = into.addFaceSet(set.getName(), set.getShapeType(), 0, set.getNodesPerElement());
        }
        std::vector<int>& connectivity = target->editConnectivity();
        const std::size_t first = connectivity.size();
        const std::span<const int> source = set.getConnectivity();
        connectivity.insert(connectivity.end(), source.begin(), source.end());
        for (std::size_t k = first; k < connectivity.size(); ++k) connectivity[k] += offset;
        // The element count (and numbers) follow the longer connectivity.
        target->resize(static_cast<int>(connectivity.size()) / std::max(1, target->getNodesPerElement()));
    }
}

// Faces grouped by shape type (ascending), each group a flat list of vertex indices.
using FaceGroups = std::map<ShapeType, std::vector<int>>;

// The output's interpolant of kind T, made for `domain` when it has none yet.
// internal::nullPointer "User Surface <name> does not have a <kind> interpolant." when it
// has one of another kind.
template <typename T>
T& outputInterpolant(Geometry& output, const std::string& domain, const char* operation, const char* kind) {
    if (Interpolant* existing = output.getInterpolant()) {
        auto* typed = dynamic_cast<T*>(existing);
        if (typed == nullptr)
            throw internal::nullPointer(
                kClass, operation, _("%s %s does not have a %s interpolant.", "User Surface", output.getName(), kind),
                ErrError);
        return *typed;
    }
    auto fresh = std::make_unique<T>(domain);
    T& typed = *fresh;
    output.setInterpolant(std::move(fresh));
    return typed;
}

// The interpolant of kind T of a geometry that a surface is made from (`role`: "Contour",
// "Locator", "Boundary"; `kind`: how messages name T). internal::nullPointer when it has
// none, internal::error when it has one of another kind.
template <typename T>
const T& sourceInterpolant(const Geometry& source, const char* role, const char* kind, const char* operation) {
    const Interpolant* interpolant = source.getInterpolant();
    if (interpolant == nullptr)
        throw internal::nullPointer(kClass, operation, _("%s %s does not have an interpolant.", role, source.getName()),
                                    ErrError);
    const auto* typed = dynamic_cast<const T*>(interpolant);
    if (typed == nullptr)
        throw internal::error(kClass, operation, _("%s %s does not have %s.", role, source.getName(), kind), ErrError);
    return *typed;
}

// Renumbers the source vertices that `groups` use (faces in group order, vertices in face
// order) to new vertices appended to `vertices`, and calls added(source vertex) for each new
// one in that order. The groups then hold the new indices.
template <typename Added>
void appendUsedVertices(FaceGroups& groups, const TripletZELVector& sourcePoints, TripletZELVector& vertices,
                        Added&& added) {
    std::vector<int> used; // the groups one after another
    for (const auto& [type, nodes] : groups) used.insert(used.end(), nodes.begin(), nodes.end());
    appendByFirstUse(used, sourcePoints.span(), vertices, added);
    auto next = used.begin();
    for (auto& [type, nodes] : groups)
        for (int& node : nodes) node = *next++;
}

// One face set "<domain>:<shape type>" per non-empty group, holding its faces.
void addFaceGroups(Geometry& output, FaceGroups& groups, const std::string& domain, const char* operation) {
    for (auto& [type, nodes] : groups) {
        if (nodes.empty()) continue;
        const std::string setName = _("%s:%d", domain, static_cast<int>(type));
        ShapeSet* set = output.addFaceSet(setName, type, 0);
        if (set == nullptr)
            throw internal::nullPointer(kClass, operation, _("Could not create faceset '%s', already exists.", setName),
                                        ErrError);
        set->resize(static_cast<int>(nodes.size()) / cell::nodeCount(type));
        set->editConnectivity() = std::move(nodes);
    }
}

} // namespace

unsigned UserSurfaceCalcFunc::s_buildsInProgress = 0;

unsigned UserSurfaceCalcFunc::getBuildsInProgress() { return s_buildsInProgress; }

// ------------------------------------------------------------------------------ actions

UserSurfaceCalcFunc::UserSurfaceCalcFunc(bool flag) : CalcFuncExecutive(passingOn(kClass)), m_flag(flag) {}

// The modes built in one progress step.
struct UserSurfaceCalcFunc::OneStepMode {
    const char* option;
    const char* step;
    void (UserSurfaceCalcFunc::*build)(GeometricOKLObject*) const;
};

const UserSurfaceCalcFunc::OneStepMode* UserSurfaceCalcFunc::findOneStepMode(const std::string& option) {
    static constexpr OneStepMode kModes[] = {
        {"Boundary Intersection", "Do Intersection", &UserSurfaceCalcFunc::doIntersection},
        {"From Contour", "Do Contour Surface", &UserSurfaceCalcFunc::doContourSurface},
        {"Transformed Surface", "Do Transformed Surface", &UserSurfaceCalcFunc::doTransformedSurface},
        {"Offset From Surface", "Do Offset Surface", &UserSurfaceCalcFunc::doOffsetSurface},
    };
    for (const OneStepMode& mode : kModes)
        if (option == mode.option) return &mode;
    return nullptr;
}

void UserSurfaceCalcFunc::build(GeometricOKLObject& object) {
    // The count serves only to name the progress. Only a build that returns normally counts
    // down; a failed one leaves its count behind.
    ++s_buildsInProgress;
    ProgressTracker progress("User Surface " + StringUtilities::toString(s_buildsInProgress));

    const std::string option = object.getValue("Option");
    if (option == "From File") {
        progress.add("Load Data", 0.2);
        progress.add("Interpolant Calculation", 0.8);
        doFileSurface(object, progress);
    } else if (const OneStepMode* mode = findOneStepMode(option)) {
        progress.add(mode->step, 1.0);
        progress.start(mode->step);
        (this->*mode->build)(&object);
    } else if (option == "NORVA") {
        progress.add("Load Data", 0.2);
        progress.add("Interpolant Calculation", 0.8);
        doLoadFileSurface(object, progress);
    }
    progress.finish();
    --s_buildsInProgress;
}

// ---------------------------------------------------------------------------- from file

void UserSurfaceCalcFunc::doFileSurface(GeometricOKLObject& object, ProgressTracker& progress) const {
    GeometryAutoPtr geometry;
    ExternalGeometry& external = LocatorFrame::newExternalGeometry(geometry, kClass, "doFileSurface");
    progress.start("Load Data");
    const std::string file = object.getValue("Input File");
    auto reader = std::make_unique<UserSurfaceGeometryReader>();
    reader->initialize(file, object.getName());
    UserSurfaceGeometryReader* fileReader = reader.get(); // owned by the geometry from here on
    external.setFileReader(std::move(reader));
    loadData(fileReader, &external);

    progress.start("Interpolant Calculation");
    geometry->setInterpolant(
        LocatorFrame::makeInterpolant(geometry->getVertices(), object.getDomainNameList(), false, m_flag));
    geometry->setName(object.getName());
    LocatorFrame::attach(object, "", geometry);
    fileReader->generateOKLObjects();
}

void UserSurfaceCalcFunc::loadData(UserSurfaceGeometryReader* reader, Geometry* geometry) {
    const FileFaceSets sets = addFileFaceSets(*geometry);
    reader->readUserSurfaceFile(geometry->getModifiableVertices(), sets.data());
    geometry->invalidateVertexData();
}

UserSurfaceCalcFunc::FileFaceSets UserSurfaceCalcFunc::addFileFaceSets(Geometry& geometry) {
    FileFaceSets sets{};
    for (std::size_t s = 0; s < kFileFaceSets.size(); ++s) {
        sets[s] = geometry.addFaceSet(kFileFaceSets[s].first, kFileFaceSets[s].second, 1);
        if (sets[s] == nullptr)
            throw internal::nullPointer(kClass, "loadData",
                                        _("Could not create faceset '%s', already exists.", kFileFaceSets[s].first),
                                        ErrError);
    }
    return sets;
}

// ----------------------------------------------------------------------- from load file

void UserSurfaceCalcFunc::doLoadFileSurface(GeometricOKLObject& object, ProgressTracker& progress) const {
    GeometryAutoPtr geometry;
    ExternalGeometry& external = LocatorFrame::newExternalGeometry(geometry, kClass, "doLoadFileSurface");
    progress.start("Load Data");
    const std::string file = object.getValue("Input File");
    auto owned = std::make_unique<NorvaGeometryReader>(object.getValue("File Units"));
    owned->initialize(file, object.getName());
    NorvaGeometryReader* reader = owned.get(); // owned by the geometry from here on
    external.setFileReader(std::move(owned));

    const FileFaceSets sets = addFileFaceSets(*geometry);
    std::string elementType;
    std::string keyOption;
    reader->readNorvaFile(geometry->getModifiableVertices(), sets.data(), elementType, keyOption,
                          object.getBoolValue("Use Mid Side Nodes"));
    geometry->invalidateVertexData();
    object.setParameter("Surface Element Type", elementType);
    object.setParameter("NORVA Key Option", keyOption);

    progress.start("Interpolant Calculation");
    const bool associated = object.getBoolValue("Associated Boundary Specified");
    Geometry::ProjectionStatistics statistics;
    if (associated) {
        reader->setOKLObject(&object);
        geometry->setInterpolant(reader->makeHybridInterpolant(geometry->getVertices(), statistics));
    } else {
        geometry->setInterpolant(
            LocatorFrame::makeInterpolant(geometry->getVertices(), object.getDomainNameList(), false, m_flag));
    }
    geometry->setName(object.getName());
    LocatorFrame::attach(object, "", geometry);
    reader->generateOKLObjects();
    if (associated) KVO2NorvaUtilities::writeImportDiagnostics(&object, statistics);
}

// ------------------------------------------------------------------------- from contour

void UserSurfaceCalcFunc::doContourSurface(GeometricOKLObject* object) const {
    const char* const operation = "doContourSurface";
    const int level = object->getIntValue("Contour Level");
    const std::string name = object->getValue("Contour Name");
    auto* contour = dynamic_cast<ContourOKLObject*>(&findGeometricSource(name, "contour", operation));
    if (contour == nullptr)
        throw internal::nullPointer(kClass, operation,
                                    _("Can't cast GeometricOKLObject for %s to ContourOKLObject.", name), ErrError);

    std::vector<std::string> domains = object->getDomainNameList();
    if (domains.empty())
        throw data::invalid(kClass, operation, "Empty domain list found in Domain List parameter.", ErrError);
    domains.emplace_back();

    for (const std::string& domain : domains) {
        GeometryAutoPtr geometry(GeometryAPI::instance()->newGeometry("", nullptr));
        geometry->setName(object->getName());
        geometry->setDomain(domain);
        Geometry* source = contour->getGeometry(domain);
        if (source != nullptr) {
            auto* levels = dynamic_cast<ContourGeometry*>(source);
            if (levels == nullptr)
                throw internal::error(kClass, operation, _("Cast to %s failed.", "ContourGeometry"), ErrError);
            collectFringeFaces(geometry.get(), levels, level, domain);
        }
        if (geometry->getNumVertices() > 0) LocatorFrame::attach(*object, domain, geometry);
    }
}

int UserSurfaceCalcFunc::collectFringeFaces(Geometry* output, ContourGeometry* contour, int level,
                                            const std::string& domain) {
    const char* const operation = "collectFringeFaces";
    HybridInterpolant& target = outputInterpolant<HybridInterpolant>(*output, domain, operation, "hybrid");
    const HybridInterpolant& contourInterpolant =
        sourceInterpolant<HybridInterpolant>(*contour, "Contour", "a HybridInterpolant", operation);

    if (level < 1 || level > contour->getNumLevels()) {
        LocatorFrame::report(kClass, operation, _("Requested contour level %d does not exist.", level));
        return 0;
    }
    const std::vector<ContourGeometry::FringeFace>& fringe = contour->getLevel(level - 1).fringeFaces;

    FaceGroups groups;
    for (const ContourGeometry::FringeFace& face : fringe) {
        const std::string setName = contour->getName() + ":" + ContourGeometry::faceSetSuffix(face.count);
        const ShapeSet* set = contour->getFaceSet(setName);
        if (set == nullptr)
            throw internal::nullPointer(
                kClass, operation, _("Could not find FaceSet %s on %s %s.", setName, "Contour", contour->getName()),
                ErrError);
        const std::span<const int> nodes = set->getElement(face.face);
        std::vector<int>& group = groups[set->getShapeType()];
        group.insert(group.end(), nodes.begin(), nodes.end());
    }

    // The output's sources are the contour's, so that the copied weights keep their meaning.
    std::vector<int> sourceIndex(contourInterpolant.getNumSources());
    for (std::size_t k = 0; k < sourceIndex.size(); ++k)
        sourceIndex[k] = target.addSource(contourInterpolant.getSource(k));

    appendUsedVertices(groups, contour->getVertices(), output->getModifiableVertices(), [&](int node) {
        const NodeDefinition definition = contourInterpolant.getInternalData(std::size_t(node));
        target.pushVertex(definition.source < 0 ? -1 : sourceIndex[std::size_t(definition.source)], definition.nodes);
    });
    addFaceGroups(*output, groups, domain, operation);
    return static_cast<int>(fringe.size());
}

// -------------------------------------------------------------------------- offset

void UserSurfaceCalcFunc::doOffsetSurface(GeometricOKLObject* object) const {
    const char* const operation = "doOffsetSurface";
    GeometricOKLObject& source = findSourceSurface(*object, operation);
    const std::vector<std::string> names = sourceGeometryNames(source);

    const std::string type = object->getValue("Offset Type");
    const float distance = object->getFloatValue("Offset Distance", LocatorFrame::lengthUnits());
    const std::string variable =
        object->getValue("Offset Mode") == "Variable" ? object->getValue("Offset Variable") : std::string();
    const TripletF direction = readVector(*object, "Offset Direction", "", operation).normalised();

    for (const std::string& name : names) {
        Geometry* original = source.getGeometry(name);
        if (original == nullptr) continue;
        GeometryAutoPtr copy(original->clone(true, false));
        offsetGeometry(original, copy.get(), type, distance, direction, variable);
        if (copy->getNumVertices() == 0) continue;
        // A piece of one domain is located in that domain; a whole-surface geometry in the
        // offset surface's own domains.
        const std::vector<std::string> domains =
            name.empty() ? object->getDomainNameList() : std::vector<std::string>{name};
        copy->setInterpolant(LocatorFrame::makeInterpolant(copy->getVertices(), domains, false, m_flag));
        copy->setName(object->getName());
        LocatorFrame::attach(*object, name, copy);
    }
}

void UserSurfaceCalcFunc::offsetGeometry(Geometry* source, Geometry* copy, const std::string& type, float distance,
                                         const TripletF& direction, const std::string& variable) {
    const bool normal = type == "Normal";
    if (!normal && type != "Translational") return;

    const FloatZELVector* values = nullptr;
    if (!variable.empty()) {
        if (const Variable* v = source->getVariable(variable, false)) values = v->getFloatValues(VarTypeVertex);
    }
    const std::size_t count = std::size_t(copy->getNumVertices());
    // A variable that does not cover every vertex is not used.
    if (values != nullptr && values->size() < count) values = nullptr;

    const TripletZELVector* normals = normal ? &source->getVertexNormals() : nullptr;
    TripletZELVector& vertices = copy->getModifiableVertices();
    for (std::size_t i = 0; i < count; ++i) {
        double amount = distance;
        if (values != nullptr) {
            const float value = (*values)[i];
            if (isUndefined(value)) continue;
            amount = value;
        }
        const TripletF& along = normal ? (*normals)[i] : direction;
        TripletF& p = vertices[i];
        p.x = static_cast<float>(p.x + double(along.x) * amount);
        p.y = static_cast<float>(p.y + double(along.y) * amount);
        p.z = static_cast<float>(p.z + double(along.z) * amount);
    }
}

// ----------------------------------------------------------------------- transformed

void UserSurfaceCalcFunc::doTransformedSurface(GeometricOKLObject* object) const {
    const char* const operation = "doTransformedSurface";
    GeometricOKLObject& source = findSourceSurface(*object, operation);
    const std::vector<std::string> names = sourceGeometryNames(source);

    const bool applyRotation = object->getBoolValue("Apply Rotation");
    const bool applyTranslation = object->getBoolValue("Apply Translation");
    const bool applyScale = object->getBoolValue("Apply Scale");
    const float scale = object->getFloatValue("Scale Factor");
    const std::string length = LocatorFrame::lengthUnits();
    const TripletF translation = readVector(*object, "Translation Vector", length, operation);
    const float angle = object->getFloatValue("Rotation Angle", "radian");

    TripletF from{0.0f, 0.0f, 0.0f};
    TripletF to{1.0f, 0.0f, 0.0f};
    if (object->getValue("Rotation Axis Type") == "Principal Axis") {
        const std::string axis = object->getValue("Principal Axis");
        to = axis == "X" ? TripletF{1, 0, 0} : axis == "Y" ? TripletF{0, 1, 0} : TripletF{0, 0, 1};
    } else {
        from = readVector(*object, "Rotation Axis From", length, operation);
        to = readVector(*object, "Rotation Axis To", length, operation);
        if (from == to)
            throw data::invalid(kClass, operation, "Rotation axis cannot be defined via two coincident points.",
                                ErrError);
    }

    // The copies of all source geometries become one geometry: a second one handed over
    // under the same name would replace the first.
    GeometryAutoPtr joined;
    std::vector<std::string> domains = object->getDomainNameList();
    for (const std::string& name : names) {
        Geometry* original = source.getGeometry(name);
        if (original == nullptr) continue;
        GeometryAutoPtr copy(original->clone(true, false));
        transformGeometry(original, copy.get(), applyScale, applyTranslation, applyRotation, scale, translation, from,
                          to, angle);
        if (copy->getNumVertices() == 0) continue;
        if (!name.empty() && std::find(domains.begin(), domains.end(), name) == domains.end()) domains.push_back(name);
        if (joined)
            appendMesh(*joined, *copy);
        else
            joined = std::move(copy);
    }
    if (!joined) return;
    joined->setInterpolant(LocatorFrame::makeInterpolant(joined->getVertices(), domains, false, m_flag));
    joined->setName(object->getName());
    LocatorFrame::attach(*object, "", joined);
}

void UserSurfaceCalcFunc::transformGeometry(Geometry* /*source*/, Geometry* copy, bool applyScale,
                                            bool applyTranslation, bool applyRotation, float scale,
                                            const TripletF& translation, const TripletF& axisFrom,
                                            const TripletF& axisTo, float angle) {
    if (copy->getNumVertices() == 0) return;
    TripletZELVector& vertices = copy->getModifiableVertices();
    if (applyScale) {
        const TripletF centre = (vertices.getMinExtents() + vertices.getMaxExtents()) * 0.5f;
        ZELMatrix3 matrix;
        matrix.setScaleMatrix(scale);
        for (TripletF& p : vertices) p = centre + matrix.multVec(p - centre);
    }
    if (applyRotation) {
        const TripletF axis = (axisTo - axisFrom).normalised();
        ZELMatrix3 matrix;
        matrix.setRotationMatrix(axis, angle);
        for (TripletF& p : vertices) p = axisFrom + matrix.multVec(p - axisFrom);
    }
    if (applyTranslation)
        for (TripletF& p : vertices) p += translation;
}

// ---------------------------------------------------------------- boundary intersection

namespace {

const BoundaryIntersection::Wording kIntersection{
    kClass,
    "doIntersection",
    "user surface",
    "User Surface",
    "edge-based",
    "%s Boundary Intersection requires a Location object of type Isosurface or Slice Plane. %s is a %s."};

} // namespace

void UserSurfaceCalcFunc::doIntersection(GeometricOKLObject* object) const {
    const char* const operation = "doIntersection";
    BoundaryIntersection settings(kIntersection);
    if (!settings.read(*object)) return;
    settings.forEachDomain([&](const std::string& domain, Geometry& cut, std::vector<Geometry*>& boundaries) {
        OKLObject* domainNamed = ObjectDB::instance()->getObjectByName(domain);
        if (domainNamed == nullptr)
            throw internal::nullPointer(kClass, operation, _("Cannot find OKL object for domain '%s'.", domain),
                                        ErrError);
        auto* domainObject = dynamic_cast<GeometricOKLObject*>(domainNamed);
        if (domainObject == nullptr)
            throw internal::nullPointer(kClass, operation,
                                        _("Bad cast of %s '%s' to %s.", "OKLObject", domain, "GeometricOKLObject"),
                                        ErrError);
        Geometry* mesh = domainObject->getGeometry(domain);
        if (mesh == nullptr)
            throw internal::nullPointer(kClass, operation, _("Cannot get geometry for domain '%s'.", domain), ErrError);
        auto* domainGeometry = dynamic_cast<DomainGeometryBase*>(mesh);
        if (domainGeometry == nullptr)
            throw internal::nullPointer(
                kClass, operation, _("Bad cast of %s '%s' to %s.", "Geometry", domain, "DomainGeometry"), ErrError);

        GeometryAutoPtr geometry(GeometryAPI::instance()->newGeometry("", nullptr));
        geometry->setName(object->getName());
        geometry->setDomain(domain);
        calcIntersect(geometry.get(), boundaries, &cut, domain, domainGeometry);
        if (geometry->getNumVertices() > 0) LocatorFrame::attach(*object, domain, geometry);
    });
}

void UserSurfaceCalcFunc::calcIntersect(Geometry* output, std::vector<Geometry*>& boundaries, Geometry* location,
                                        const std::string& domain, DomainGeometryBase* domainGeometry) {
    const char* const operation = "calcIntersect";
    if (output == nullptr || location == nullptr || domainGeometry == nullptr)
        throw internal::nullPointer(kClass, operation, "Null pointers provided to function.", ErrError);

    // The location's free edges that lie on the boundaries, and their vertices per boundary.
    std::vector<Edge> edges;
    std::set<int> freeVertices;
    location->getFreeEdges(edges, freeVertices);
    std::vector<std::vector<int>> onBoundary;
    location->findFreeEdgesOnBoundaries(boundaries, edges, freeVertices, &onBoundary);

    const EdgeInterpolant& edgeData =
        sourceInterpolant<EdgeInterpolant>(*location, "Locator", "an edge interpolant", operation);

    // The mesh nodes at the ends of the edges that the location crosses on each boundary; a
    // location vertex that sits on a node (weight 1 or 0) touches that node alone.
    const std::size_t nodeCount = domainGeometry->getVertices().size();
    std::vector<std::vector<int>> touched(boundaries.size());
    for (std::size_t b = 0; b < boundaries.size(); ++b) {
        std::vector<int>& nodes = touched[b];
        for (int vertex : onBoundary[b]) {
            if (vertex < 0 || std::size_t(vertex) >= edgeData.getNumVertices())
                throw data::invalid(kClass, operation,
                                    _("Index count %d exceeded vector size %d for free vertex by boundary calculation.",
                                      vertex + 1, static_cast<int>(edgeData.getNumVertices())),
                                    ErrError);
            const EdgeInterpolantData& data = edgeData.getInternalData(std::size_t(vertex));
            if (data.weightA > 1e-6f && data.nodeA >= 0 && std::size_t(data.nodeA) < nodeCount)
                nodes.push_back(data.nodeA);
            if (data.weightA < 0.999999f && data.nodeB >= 0 && std::size_t(data.nodeB) < nodeCount)
                nodes.push_back(data.nodeB);
        }
        std::sort(nodes.begin(), nodes.end());
        nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
    }

    VertexInterpolant& target = outputInterpolant<VertexInterpolant>(*output, domain, operation, "vertex");

    // Faces of each boundary that touch its touched nodes.
    const bool useOctree = std::getenv("ZEL_NO_OCTREE") == nullptr;
    const TripletZELVector& meshPoints = domainGeometry->getVertices();
    std::vector<FaceGroups> selected(boundaries.size());
    ProgressTracker progress("Boundary Intersection");
    for (const Geometry* boundary : boundaries)
        progress.add(boundary->getName(), 1.0 / static_cast<double>(boundaries.size()));
    for (std::size_t b = 0; b < boundaries.size(); ++b) {
        Geometry& boundary = *boundaries[b];
        progress.start(boundary.getName());
        if (touched[b].empty()) continue;
        // The strip keeps the boundary's own vertex interpolation, so it must have one.
        const VertexInterpolant& nodesOf =
            sourceInterpolant<VertexInterpolant>(boundary, "Boundary", "a VertexInterpolant", operation);
        const std::vector<std::string> setNames = boundary.getFaceSetNames();
        ProgressTracker setProgress(boundary.getName());
        for (const std::string& setName : setNames)
            setProgress.add(setName, 1.0 / static_cast<double>(setNames.size()));
        for (const std::string& setName : setNames) {
            const ShapeSet* set = boundary.getFaceSet(setName);
            if (set == nullptr)
                throw internal::nullPointer(
                    kClass, operation,
                    _("Could not find FaceSet %s on %s %s.", setName, "Boundary", boundary.getName()), ErrError);
            setProgress.start(setName);
            if (!set->isFaceSet() || set->size() == 0) continue;
            std::vector<char> keep(std::size_t(set->size()), 0);
            if (useOctree) {
                Octree octree;
                octree.Construct(boundary, *set);
                for (int node : touched[b]) {
                    octree.IntersectWithPoint(meshPoints[std::size_t(node)]);
                    for (int face = octree.GetNextIntersection(); face >= 0; face = octree.GetNextIntersection())
                        keep[std::size_t(face)] = 1;
                }
            } else {
                for (int face = 0; face < set->size(); ++face)
                    for (int vertex : set->getElement(face))
                        if (std::binary_search(touched[b].begin(), touched[b].end(),
                                               nodesOf.getInternalData(std::size_t(vertex)))) {
                            keep[std::size_t(face)] = 1;
                            break;
                        }
            }
            std::vector<int>& group = selected[b][set->getShapeType()];
            for (int face = 0; face < set->size(); ++face)
                if (keep[std::size_t(face)]) {
                    const std::span<const int> nodes = set->getElement(face);
                    group.insert(group.end(), nodes.begin(), nodes.end());
                }
        }
    }

    // Append the selected faces' vertices with their interpolation and momentum flow.
    auto momentum = std::make_unique<VectorVariable>();
    momentum->setName("momentum flow");
    momentum->setDomain(domain);
    TripletZELVector flows;
    FaceGroups faces;
    TripletZELVector& vertices = output->getModifiableVertices();
    for (std::size_t b = 0; b < boundaries.size(); ++b) {
        FaceGroups& groups = selected[b];
        bool any = false;
        for (const auto& [type, nodes] : groups) any = any || !nodes.empty();
        if (!any) continue;
        Geometry& boundary = *boundaries[b];
        const auto& nodesOf = static_cast<const VertexInterpolant&>(*boundary.getInterpolant()); // checked above
        const TripletZELVector* values = nullptr;
        Variable* variable = boundary.findVariable("momentum flow");
        if (variable == nullptr && ObjectDB::instance()->hasObject("momentum flow"))
            variable = boundary.getVariable("momentum flow", false);
        if (variable != nullptr) {
            auto* vector = dynamic_cast<VectorVariable*>(variable);
            if (vector == nullptr)
                throw data::invalid(kClass, operation,
                                    _("Bad cast of %s '%s' to %s.", "variable", "momentum flow", "VectorVariable"),
                                    ErrError);
            values = vector->getTripletValues(VarTypeVertex);
            const int found = values != nullptr ? static_cast<int>(values->size()) : 0;
            if (found != boundary.getNumVertices())
                throw data::invalid(kClass, operation,
                                    _("Data consistency error.  Expected %d momentum flow values, found %d",
                                      boundary.getNumVertices(), found),
                                    ErrError);
            momentum->setTimestep(vector->getTimestep());
            momentum->setGlobalType(vector->getGlobalType());
        }

        appendUsedVertices(groups, boundary.getVertices(), vertices, [&](int node) {
            target.pushVertex(nodesOf.getInternalData(std::size_t(node)));
            flows.push_back(values != nullptr ? (*values)[std::size_t(node)] : TripletF::undefined());
        });
        for (auto& [type, nodes] : groups) {
            std::vector<int>& all = faces[type];
            all.insert(all.end(), nodes.begin(), nodes.end());
        }
    }
    addFaceGroups(*output, faces, domain, operation);
    momentum->setTripletValues(std::move(flows), VarTypeVertex);
    output->addVariable(std::move(momentum));
}

// --------------------------------------------------------------------------- render

void UserSurfaceCalcFunc::draw(GeometricOKLObject& surface) {
    std::vector<std::string> names = surface.getDomainNameList();
    if (surface.getGeometry("") != nullptr) names.emplace_back();
    LocatorFrame::drawGeometries(
        surface, names, [&](GraphicObject& graphic, Geometry& geometry, const std::string& name, ColourMap& map) {
            const bool changed = surface.isGeometryChanged() || surface.isRenderChanged();
            const bool drawLines = surface.getBoolValue("Draw Lines");
            if (drawLines && (changed || geometry.getNumLines() == 0)) {
                geometry.calculateLines(surface.getFloatValue("Render Edge Angle", "degree"));
                graphic.setChanged(true);
            }

            const std::string mode = surface.getValue("Colour Mode");
            graphic.setColourMode(mode);
            graphic.setConstantColour(map.addCustomColour(Colour::fromValues(surface.getFloatArray("Colour"))));
            if (mode != "Constant") {
                std::string variableName;
                if (mode == "Variable") {
                    variableName = surface.getValue("Colour Variable");
                    if (variableName.empty()) {
                        surface.setParameter("Colour Variable", "Pressure");
                        variableName = "Pressure";
                    }
                } else {
                    variableName = surface.getValue("Variable");
                }
                // "<variable> on <location>": a variable that another location made.
                GeometricOKLObject* holder = &surface;
                const std::size_t on = variableName.rfind(" on ");
                if (on != std::string::npos) {
                    auto* other = dynamic_cast<GeometricOKLObject*>(
                        ObjectDB::instance()->getObjectByName(variableName.substr(on + 4)));
                    if (other != nullptr && other != &surface) holder = other;
                }
                Variable& variable =
                    LocatorFrame::findColourVariable(*holder, variableName, name, kClass, "Couldn't find variable %s");
                LocatorFrame::requireDefined(variable, variableName, kClass, "Couldn't find variable okl object %s");
                LocatorFrame::colourBy(graphic, surface, variable);
            }

            graphic.setDrawFaces(surface.getBoolValue("Draw Faces"));
            std::vector<float> lineColour = surface.getFloatArray("Line Colour");
            if (surface.hasParam("Line Colour Mode") && surface.getValue("Line Colour Mode") == "Default") {
                const OKLObject* viewport = ObjectDB::instance()->getObjectByName("VIEWPORT MANAGER");
                if (viewport != nullptr && viewport->hasParam("Global Edge Colour"))
                    lineColour = viewport->getFloatArray("Global Edge Colour");
            }
            graphic.setLineColour(map.addCustomColour(Colour::fromValues(lineColour)));
            graphic.setLineWidth(surface.getFloatValue("Line Width"));
            graphic.setDrawLines(drawLines);
            graphic.setSurfaceDrawing(surface.getValue("Surface Drawing"));
            graphic.setLighting(surface.getBoolValue("Lighting"));
            if (surface.hasParam("Colour Scale")) graphic.setColourScale(surface.getValue("Colour Scale"));
            graphic.setTransparency(surface.getValue("Transparency"));
            graphic.setVisible(surface.getBoolValue("Visibility"));
            graphic.setSpecularLighting(surface.getBoolValue("Specular Lighting"));
            graphic.setCullingMode(surface.getValue("Culling Mode"));
        });
}

} // namespace zel
