#include "locators/PlaneCalcFunc.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Progress.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/GeometryIntersector.h"
#include "framework/geometry/Interpolant.h"
#include "framework/okl/ObjectDB.h"
#include "framework/okl/PlaneOKLObject.h"
#include "framework/units/Quantity.h"
#include "locators/LocatorCalcFunc.h"

#include <cmath>
#include <vector>

namespace zel {

namespace {

const char* const kClass = "PlaneCalcFunc";
constexpr double kTwoPi = 6.283185307179586;

// Magnitudes below this count as zero for the plane's axes.
bool isZero(float value) { return std::fabs(value) < 1e-11f; }

void reportParameter(const std::string& message, int errorType = ErrError) {
    LocatorFrame::report(kClass, "processParameters", message, errorType);
}

} // namespace

// ------------------------------------------------------------------------------ actions

PlaneCalcFunc::PlaneCalcFunc(bool propagateErrors, bool interpolantFlag)
    : CalcFuncExecutive(policy(propagateErrors)), m_interpolantFlag(interpolantFlag) {}

CalcFuncExecutive::Policy PlaneCalcFunc::policy(bool propagateErrors) {
    Policy policy = reporting(kClass, "PlaneOKLObject", "PlaneOKLObject", accepting<PlaneOKLObject>, propagateErrors);
    // Every action is guarded, and its failure reports tell internal errors and lack of
    // memory apart.
    policy.guardEveryAction = true;
    policy.failedOperation = "update";
    policy.internalErrorsAsInternal = true;
    policy.reportOutOfMemory = true;
    return policy;
}

void PlaneCalcFunc::build(GeometricOKLObject& object) {
    auto& plane = static_cast<PlaneOKLObject&>(object); // accepted
    ProgressTracker progress("Plane");
    progress.add("top", 1.0);
    progress.start("top");
    if (plane.getValue("Plane Type") == "Slice")
        calcSlicePlane(plane);
    else
        calcSamplePlane(plane);
    progress.finish();
}

void PlaneCalcFunc::draw(GeometricOKLObject& object) { object.renderPlane(); }

// ---------------------------------------------------------------------- parameter step

bool PlaneCalcFunc::processParameters(const PlaneOKLObject& object) {
    TripletF p1, p2, p3;
    object.processParameters(p1, p2, p3);
    m_point = p1;
    m_normal = (p2 - p1).cross(p3 - p1);
    m_boundType = BoundNone;

    const std::string units = LocatorFrame::lengthUnits();
    const std::string bound = object.getValue("Plane Bound");
    if (bound == "Circular") {
        m_boundType = BoundCircular;
        m_boundRadius = object.getFloatValue("Bound Radius", units);
        if (m_boundRadius < 0.0f) {
            reportParameter(_("Bound Radius (%f) must be non-negative.", m_boundRadius));
            return false;
        }
        if (!calcAxes()) return false;
    } else if (bound == "Rectangular") {
        m_boundType = BoundRectangular;
        m_direction1Bound = object.getFloatValue("Direction 1 Bound", units);
        m_direction2Bound = object.getFloatValue("Direction 2 Bound", units);
        if (m_direction1Bound < 0.0f || m_direction2Bound < 0.0f) {
            reportParameter(
                _("Direction 1 and 2 Bounds(%f,%f) must be non-negative.", m_direction1Bound, m_direction2Bound));
            return false;
        }
        if (!calcAxes()) return false;
        // A value without a unit is taken to be in radians already.
        const Quantity orientation = object.getQuantityValue("Direction 1 Orientation");
        const float angle =
            orientation.getUnits().empty() ? orientation.getValue() : orientation.convertTo("radian").getValue();
        ZELMatrix3 rotation;
        rotation.setRotationMatrix(m_normal, angle);
        m_direction1 = rotation.multVec(m_direction1);
        m_direction2 = rotation.multVec(m_direction2);
    } else if (bound == "None") {
        return true;
    } else {
        reportParameter(_("Unsupported Plane Bound option '%s'.", bound), ErrInternal);
        return false;
    }
    m_invertBound = object.getBoolValue("Invert Plane Bound");
    return true;
}

bool PlaneCalcFunc::calcAxes() {
    m_direction1 = {1.0f, 0.0f, 0.0f};
    if (isZero(m_direction1.cross(m_normal).length())) m_direction1 = {0.0f, 1.0f, 0.0f};
    m_direction2 = m_normal.cross(m_direction1);
    if (isZero(m_direction2.length())) {
        reportParameter("Calculated Bound Y direction is normal to the plane.");
        return false;
    }
    m_direction1 = m_direction2.cross(m_normal);
    m_direction1.normalise();
    m_direction2.normalise();
    return true;
}

// ------------------------------------------------------------------------ sample plane

void PlaneCalcFunc::calcSamplePlane(PlaneOKLObject& object) {
    GeometryAutoPtr geometry(GeometryAPI::instance()->newGeometry("", nullptr));
    geometry->setPlane(true);
    // Unusable bound settings were reported; the plane is then attached empty.
    if (processParameters(object)) calcVertices(*geometry, object);
    geometry->setInterpolant(
        LocatorFrame::makeInterpolant(geometry->getVertices(), object.getDomainNameList(), false, m_interpolantFlag));
    LocatorFrame::attach(object, "", geometry);
}

void PlaneCalcFunc::calcVertices(Geometry& geometry, const PlaneOKLObject& object) const {
    const int n1 = object.getIntValue("Direction 1 Points");
    const int n2 = object.getIntValue("Direction 2 Points");
    auto at = [this](float a, float b) { return m_point + (m_direction1 * a + m_direction2 * b); };
    auto tooFew = [](int min1, int min2, const char* bound) {
        return data::invalid(kClass, "calcVertices",
                             _("Sample plane requires at least %d Direction 1 Points and %d Direction 2 Points for "
                               "%s bounding.",
                               min1, min2, bound),
                             ErrError);
    };

    TripletZELVector vertices;
    if (m_boundType == BoundRectangular) {
        if (n1 < 2 || n2 < 2) throw tooFew(2, 2, "Rectangular");
        const float b1 = m_direction1Bound, b2 = m_direction2Bound;
        vertices.reserve(std::size_t(n1) * std::size_t(n2));
        for (int j = 0; j < n2; ++j)
            for (int i = 0; i < n1; ++i)
                vertices.push_back(
                    at(float(i) * b1 / float(n1 - 1) - b1 * 0.5f, float(j) * b2 / float(n2 - 1) - b2 * 0.5f));
        ShapeSet* quads = geometry.addFaceSet("quad", ShapeType::Quadrilateral);
        std::vector<int>& conn = quads->editConnectivity();
        conn.reserve(4 * std::size_t(n1 - 1) * std::size_t(n2 - 1));
        for (int j = 0; j + 1 < n2; ++j)
            for (int i = 0; i + 1 < n1; ++i) {
                const int k = j * n1 + i;
                conn.insert(conn.end(), {k, k + 1, k + n1 + 1, k + n1});
            }
        quads->resize(static_cast<int>(conn.size() / 4));
    } else if (m_boundType == BoundCircular) {
        if (n1 < 2 || n2 < 3) throw tooFew(2, 3, "Circular");
        const float radius = m_boundRadius;
        vertices.reserve(std::size_t(n1 - 1) * std::size_t(n2) + 1);
        vertices.push_back(m_point);
        for (int r = 1; r < n1; ++r) {
            const float ringRadius = float(r) * radius / float(n1 - 1);
            for (int j = 0; j < n2; ++j) {
                const double theta = double(j) * kTwoPi / double(n2);
                vertices.push_back(at(ringRadius * static_cast<float>(std::sin(theta)),
                                      ringRadius * static_cast<float>(std::cos(theta))));
            }
        }
        ShapeSet* tris = geometry.addFaceSet("tri", ShapeType::Triangle, n2);
        for (int t = 0; t < n2; ++t) {
            const int face[3] = {0, t + 1, (t + 1) % n2 + 1};
            tris->setElement(t, face);
        }
        if (n1 >= 3) {
            ShapeSet* quads = geometry.addFaceSet("quad", ShapeType::Quadrilateral, (n1 - 2) * n2);
            for (int r = 0; r + 2 < n1; ++r)
                for (int j = 0; j < n2; ++j) {
                    const int next = (j + 1) % n2;
                    const int face[4] = {r * n2 + j + 1, (r + 1) * n2 + j + 1, (r + 1) * n2 + next + 1,
                                         r * n2 + next + 1};
                    quads->setElement(r * n2 + j, face);
                }
        }
    } else {
        throw data::invalid(kClass, "calcVertices",
                            "Sample plane requires a Plane Bound setting of Rectangular or Circular.", ErrError);
    }
    geometry.setVertices(std::move(vertices));
}

// ------------------------------------------------------------------------- slice plane

void PlaneCalcFunc::calcSlicePlane(PlaneOKLObject& object) {
    const std::vector<std::string> domains = object.getDomainNameList();
    if (domains.empty()) {
        LocatorFrame::report(kClass, "operator()", "No domains exist.", ErrError);
        return;
    }
    if (!processParameters(object)) return;
    const float planeConstant = m_normal.dot(m_point);

    ProgressTracker progress;
    for (const std::string& domain : domains) progress.add(domain, 1.0 / double(domains.size()));

    ObjectDB* db = ObjectDB::instance();
    for (const std::string& domain : domains) {
        progress.start(domain);
        if (db->getObjectByName(domain) == nullptr)
            throw internal::badParam(kClass, "calcSlicePlane", _("Cannot find OKL object for domain '%s'.", domain),
                                     ErrError);
        const Geometry* domainGeometry = LocatorFrame::findDomainGeometry(domain, kClass, "calcSlicePlane");

        GeometryAutoPtr cut(GeometryAPI::instance()->newGeometry("", nullptr));
        cut->setDomain(domain);
        cut->setPlane(true);
        ProgressTracker steps;
        steps.add("ElementSet traversal", 0.9);
        steps.add("Vertex Culling", 0.1);
        steps.start("ElementSet traversal");
        GeometryIntersector::intersectWithGeometry(cut.get(), domain, domainGeometry, m_normal, planeConstant);
        steps.start("Vertex Culling");
        if (m_boundType == BoundNone) {
            if (cut->getNumVertices() > 0) LocatorFrame::attach(object, domain, cut);
        } else {
            GeometryAutoPtr culled(GeometryAPI::instance()->newGeometry("", nullptr));
            culled->setDomain(domain);
            culled->setPlane(true);
            cullVertices(*cut, *culled);
            if (culled->getNumVertices() > 0) LocatorFrame::attach(object, domain, culled);
        }
        steps.finish();
    }
    progress.finish();
}

void PlaneCalcFunc::cullVertices(const Geometry& source, Geometry& target) const {
    const TripletZELVector& vertices = source.getVertices();
    std::vector<char> used(vertices.size(), 0);
    const float radius = m_boundRadius;
    const float halfB1 = m_direction1Bound * 0.5f, halfB2 = m_direction2Bound * 0.5f;
    const float d1Squared = m_direction1.lengthSquared(), d2Squared = m_direction2.lengthSquared();
    auto inside = [&](const TripletF& offset) {
        if (m_boundType == BoundCircular) return offset.length() <= radius;
        const float a = std::fabs(offset.dot(m_direction1)) / d1Squared;
        const float b = std::fabs(offset.dot(m_direction2)) / d2Squared;
        return a <= halfB1 && b <= halfB2;
    };

    std::vector<std::string> keptSets;
    std::vector<int> keptFaces; // the kept faces of one set, #kept by corners
    for (const std::string& name : source.getFaceSetNames()) {
        const ShapeSet* set = source.getFaceSet(name);
        if (set == nullptr || !set->isFaceSet() || set->size() == 0) continue;
        const int corners = set->getNodesPerElement();
        if (corners == 0) throw data::invalid("Triplet", "operator/=", "Attempt to divide by zero.", ErrError);
        keptFaces.clear();
        for (int f = 0; f < set->size(); ++f) {
            const std::span<const int> face = set->getElement(f);
            TripletF centroid;
            for (int v : face) centroid += vertices[std::size_t(v)];
            centroid /= float(corners);
            if (inside(centroid - m_point) == m_invertBound) continue;
            for (int v : face) used[std::size_t(v)] = 1;
            keptFaces.insert(keptFaces.end(), face.begin(), face.end());
        }
        if (keptFaces.empty()) continue;
        ShapeSet* out = target.addFaceSet(name, set->getShapeType(), 0, corners);
        out->editConnectivity().swap(keptFaces);
        out->resize(static_cast<int>(out->getConnectivity().size() / std::size_t(corners)));
        keptSets.push_back(name);
    }

    const auto* edges = dynamic_cast<const EdgeInterpolant*>(source.getInterpolant());
    if (edges == nullptr)
        throw internal::error(kClass, "cullVertices", _("Bad cast of %s to %s.", "Interpolant", "EdgeInterpolant"),
                              ErrError);
    auto interpolant = std::make_unique<EdgeInterpolant>(source.getDomain());

    std::vector<int> newIndex(vertices.size(), -1);
    TripletZELVector kept;
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        if (!used[i]) continue;
        newIndex[i] = static_cast<int>(kept.size());
        kept.push_back(vertices[i]);
        interpolant->pushVertex(edges->getInternalData(i));
    }
    target.setVertices(std::move(kept));
    target.setInterpolant(std::move(interpolant));

    for (const std::string& name : keptSets) {
        ShapeSet* set = target.getFaceSet(name);
        if (set == nullptr)
            throw internal::badParam(kClass, "cullVertices", _("Cannot find face set %s in plane geometry.", name),
                                     ErrError);
        for (int& v : set->editConnectivity()) v = newIndex[std::size_t(v)];
    }
}

} // namespace zel
