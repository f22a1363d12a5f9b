#pragma once
// Test doubles and meshes of the calculator tests: a concrete storage with phases per domain
// and a uniform flow per phase, a definition store, hand-built meshes of every face and cell
// type with their analytic area, volume and centroid, and a fixture that registers them.
#include "calculator/FunctionCalculator.h"
#include "datastorage/DataStorageBase.h"
#include "domain/DomainGeometryBase.h"
#include "expressions/VariableDefStoreBase.h"
#include "framework/core/Reporter.h"
#include "framework/expressions/ExpressionInterfaces.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Interpolant.h"
#include "framework/geometry/Variable.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "framework/units/UnitSystemHandler.h"
#include "tests/support/DatabaseSupport.h"
#include "tests/support/ErrorChecks.h"
#include "tests/support/StorageSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace zel::test {

using Vec3 = TripletBase<double>;

inline Vec3 toD(const TripletF& p) { return {p.x, p.y, p.z}; }
inline TripletF toF(const Vec3& p) { return TripletF(p); }

// The linear field of the integration tests: f(p) = 5 + 0.7 x - 1.3 y + 2.1 z.
inline double linearField(const Vec3& p) { return 5.0 + 0.7 * p.x - 1.3 * p.y + 2.1 * p.z; }

// An integral or average of float weights and values (each within a few ulps of exact),
// summed in double and rounded to float once: a few float epsilons of the magnitude, times
// a small factor for the number of terms.
inline void expectClose(double value, double expected, double scale = 1.0) {
    EXPECT_NEAR(value, expected, 16 * FLT_EPSILON * std::max(std::abs(expected), scale)) << "expected " << expected;
}

// Dimensions of pressure as a variable object writes them.
inline const char* const kPressureDims = "1, -1, -2, 0, 0, 0, 0, 0, 0, 0";
inline const char* const kPressureUnits = "kg m^-1 s^-2";

// A storage with phases per domain and a uniform flow (density, velocity) per phase from
// which getMassFlow computes ρ U·a at each vertex of the geometry registered for the
// interpolant, besides the solver fields of the domain meshes.
class CalcStorage : public FieldStorage {
public:
    struct Flow {
        double density = 1.0;
        Vec3 velocity;
    };

    std::vector<std::string> getPhases(int selector, const std::string& domain) override {
        EXPECT_EQ(selector, 1);
        if (domain.empty()) return phases;
        const auto it = domainPhases.find(domain);
        return it == domainPhases.end() ? std::vector<std::string>() : it->second;
    }
    void getMassFlow(FloatZELVectorConcrete& values, const Interpolant* interpolant,
                     const std::string& phase) override {
        massFlowCalls.push_back(phase);
        if (failure == 1) throw std::runtime_error("flow solver gone");
        if (failure == 2) throw std::bad_alloc();
        const Geometry* geometry = flowGeometry.at(interpolant);
        const Flow& flow = flows.at(phase);
        const TripletZELVector& a = geometry->getVertexAreaVectors();
        EXPECT_EQ(values.size(), a.size());
        for (std::size_t i = 0; i < a.size(); ++i)
            values[i] = static_cast<float>(flow.density * flow.velocity.dot(toD(a[i])));
    }
    void createAdditionalTurboVariables(const std::string& name) override {
        EXPECT_EQ(name, "");
        if (failure == 1) throw std::runtime_error("no turbo data");
        ++turboCalls;
    }

    std::map<std::string, std::vector<std::string>> domainPhases;
    std::map<std::string, Flow> flows;
    std::map<const Interpolant*, const Geometry*> flowGeometry; // not owned
    std::vector<std::string> massFlowCalls;
    int turboCalls = 0;
    int failure = 0; // 1: getMassFlow and the turbo call throw a std::exception, 2: bad_alloc
};

// A planar mesh with what it should integrate to.
struct Patch {
    std::unique_ptr<Geometry> geometry;
    double area = 0.0;
    Vec3 centroid;
    Vec3 normal; // unit normal by the right-hand rule of the faces
};

// The tilted plane the patches lie in: p = origin + u e1 + v e2.
struct PlaneFrame {
    Vec3 origin{0.3, -0.2, 0.5};
    Vec3 e1{1.0 / std::sqrt(2.0), 1.0 / std::sqrt(2.0), 0.0};
    Vec3 e2{-1.0 / std::sqrt(6.0), 1.0 / std::sqrt(6.0), 2.0 / std::sqrt(6.0)};
    Vec3 at(double u, double v) const { return origin + e1 * u + e2 * v; }
    Vec3 normal() const { return e1.cross(e2); }
};

// Faces of one shape type in the tilted plane: a 4 x 2 grid of the rectangle 2 x 1 for
// triangles and quadrilaterals (and both, side by side, for Point: a mixed mesh), two
// regular n-gons (n = 5, 6 or 7 for Pentagon, Hexagon, Polygon) otherwise.
inline Patch makePatch(ShapeType type, const std::string& name = "Patch") {
    const PlaneFrame frame;
    Patch patch;
    patch.geometry = std::make_unique<Geometry>();
    patch.geometry->setName(name);
    patch.normal = frame.normal();
    TripletZELVector vertices;
    auto grid = [&](double u0, int nu, int nv, double w, double h, bool triangles, const std::string& set) {
        const int base = static_cast<int>(vertices.size());
        for (int j = 0; j <= nv; ++j)
            for (int i = 0; i <= nu; ++i) vertices.push_back(toF(frame.at(u0 + w * i / nu, h * j / nv)));
        ShapeSet* faces = patch.geometry->addFaceSet(set, triangles ? ShapeType::Triangle : ShapeType::Quadrilateral);
        auto id = [&](int i, int j) { return base + i + (nu + 1) * j; };
        for (int j = 0; j < nv; ++j)
            for (int i = 0; i < nu; ++i) {
                const int a = id(i, j), b = id(i + 1, j), c = id(i + 1, j + 1), d = id(i, j + 1);
                if (triangles) {
                    faces->addElement(std::vector<int>{a, b, c});
                    faces->addElement(std::vector<int>{a, c, d});
                } else {
                    faces->addElement(std::vector<int>{a, b, c, d});
                }
            }
        const double area = w * h;
        patch.centroid = (patch.centroid * patch.area + frame.at(u0 + w / 2, h / 2) * area) / (patch.area + area);
        patch.area += area;
    };
    switch (type) {
    case ShapeType::Triangle: grid(0.0, 4, 2, 2.0, 1.0, true, "tris"); break;
    case ShapeType::Quadrilateral: grid(0.0, 4, 2, 2.0, 1.0, false, "quads"); break;
    case ShapeType::Point:
        grid(0.0, 2, 2, 1.0, 1.0, false, "quads");
        grid(1.0, 2, 2, 1.0, 1.0, true, "tris");
        break;
    default: {
        const int n = type == ShapeType::Pentagon ? 5 : type == ShapeType::Hexagon ? 6 : 7;
        ShapeSet* faces = patch.geometry->addFaceSet("polygons", type, 0, n);
        const double centres[2][3] = {{0.0, 0.0, 1.0}, {3.0, 0.5, 0.5}}; // u, v, radius
        for (const auto& c : centres) {
            std::vector<int> nodes;
            for (int k = 0; k < n; ++k) {
                const double t = 2.0 * std::numbers::pi * k / n + 0.3;
                nodes.push_back(static_cast<int>(vertices.size()));
                vertices.push_back(toF(frame.at(c[0] + c[2] * std::cos(t), c[1] + c[2] * std::sin(t))));
            }
            faces->addElement(nodes);
            const double area = 0.5 * n * c[2] * c[2] * std::sin(2.0 * std::numbers::pi / n);
            patch.centroid = (patch.centroid * patch.area + frame.at(c[0], c[1]) * area) / (patch.area + area);
            patch.area += area;
        }
    }
    }
    patch.geometry->setVertices(std::move(vertices));
    return patch;
}

// A line location's geometry: a helix of `segments` straight segments, with its exact length
// and integral of the linear field (per segment: length × mean of the end values), in double.
struct Polyline {
    std::unique_ptr<Geometry> geometry;
    double length = 0.0;
    double integral = 0.0;
};

inline Polyline makeHelix(int segments, const std::string& name = "Line") {
    Polyline line;
    line.geometry = std::make_unique<Geometry>();
    line.geometry->setName(name);
    TripletZELVector vertices;
    IntZELVector lines;
    for (int k = 0; k <= segments; ++k) {
        const double t = 0.4 * k;
        vertices.push_back(toF(Vec3{std::cos(t), std::sin(t), 0.3 * t}));
    }
    for (int k = 0; k < segments; ++k) {
        lines.push_back(k);
        lines.push_back(k + 1);
        const Vec3 a = toD(vertices[std::size_t(k)]), b = toD(vertices[std::size_t(k + 1)]);
        const double l = std::sqrt((b - a).lengthSquared());
        line.length += l;
        line.integral += l * 0.5 * (linearField(a) + linearField(b));
    }
    line.geometry->setVertices(std::move(vertices));
    line.geometry->setLines(std::move(lines));
    return line;
}

// A domain mesh of the box [0,2] x [0,1] x [0,1.5] in 2 x 2 x 2 blocks, each block made of
// one hexahedron, 6 tetrahedra, 2 wedges or 6 pyramids (apex at an extra vertex in the
// block's centre). Point: hexahedra for x < 1 and tetrahedra beyond (two element sets).
inline std::unique_ptr<DomainGeometryBase> makeBoxDomain(const std::string& name, ShapeType type) {
    const int n = 2;
    const Vec3 size{2.0, 1.0, 1.5};
    auto domain = std::make_unique<DomainGeometryBase>();
    domain->setName(name);
    domain->setDomain(name);
    TripletZELVector vertices;
    for (int k = 0; k <= n; ++k)
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i) vertices.push_back(toF(Vec3{size.x * i / n, size.y * j / n, size.z * k / n}));
    auto id = [&](int i, int j, int k) { return i + (n + 1) * (j + (n + 1) * k); };
    std::map<ShapeType, ShapeSet*> sets;
    auto set = [&](ShapeType t) {
        if (!sets.count(t)) sets[t] = domain->addFaceSet(std::string("cells") + std::to_string(int(t)), t);
        return sets[t];
    };
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const int h[8] = {id(i, j, k),     id(i + 1, j, k),     id(i + 1, j + 1, k),     id(i, j + 1, k),
                                  id(i, j, k + 1), id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)};
                const ShapeType t =
                    type == ShapeType::Point ? (i == 0 ? ShapeType::Hexahedron : ShapeType::Tetrahedron) : type;
                if (t == ShapeType::Hexahedron) {
                    set(t)->addElement(std::vector<int>(h, h + 8));
                } else if (t == ShapeType::Tetrahedron) {
                    const int tets[6][4] = {{0, 1, 2, 6}, {0, 2, 3, 6}, {0, 3, 7, 6},
                                            {0, 7, 4, 6}, {0, 4, 5, 6}, {0, 5, 1, 6}};
                    for (const auto& c : tets) set(t)->addElement(std::vector<int>{h[c[0]], h[c[1]], h[c[2]], h[c[3]]});
                } else if (t == ShapeType::Wedge) {
                    set(t)->addElement(std::vector<int>{h[0], h[1], h[2], h[4], h[5], h[6]});
                    set(t)->addElement(std::vector<int>{h[0], h[2], h[3], h[4], h[6], h[7]});
                } else if (t == ShapeType::Pyramid) {
                    Vec3 centre;
                    for (int m : h) centre += toD(vertices[std::size_t(m)]) * 0.125;
                    const int apex = static_cast<int>(vertices.size());
                    vertices.push_back(toF(centre));
                    // Each face of the block is a base; reversed, so that it turns
                    // counter-clockwise seen from the apex inside.
                    for (const cell::LocalFace& f : cell::kHexFaces)
                        set(t)->addElement(
                            std::vector<int>{h[f.nodes[3]], h[f.nodes[2]], h[f.nodes[1]], h[f.nodes[0]], apex});
                }
            }
    domain->setVertices(std::move(vertices));
    return domain;
}

// Registers a storage, a definition store and the calculator; clears the database, the
// reporter and the preferred units before and after each test.
class CalcTest : public ::testing::Test {
protected:
    void SetUp() override {
        ObjectDB::instance()->clear();
        ErrorProgressReporter::instance()->clear();
        EngineUnitSystemHandler::instance()->resetToDefaults();
        storage = std::make_unique<CalcStorage>();
        storage->registerInstance(storage.get());
        defs = std::make_unique<HostDefStore>();
        VariableDefStoreBase::registerInstance(defs.get());
        calculator = FunctionCalculator::instance(false);
        ExpressionInterfaces::setCallbacks(calculator);
    }
    void TearDown() override {
        ObjectDB::instance()->clear();
        defs.reset();
        storage.reset();
        ErrorProgressReporter::instance()->clear();
        EngineUnitSystemHandler::instance()->resetToDefaults();
    }

    // A field variable object with the given dimensions (its values come from the geometries
    // or from the storage's fields).
    static OKLObject* addVariableObject(const std::string& name, const std::string& dims = kPressureDims,
                                        const std::string& type = "SCALAR VARIABLE") {
        return addObject(type, name, {{"Boundary Values", "Conservative"}, {"Variable Dimensions", dims}});
    }
    // A location of `type` holding `geometry` under `slot`.
    static GeometricOKLObject* addLocation(const std::string& type, const std::string& name,
                                           std::unique_ptr<Geometry> geometry, const std::string& slot = "") {
        auto* location = dynamic_cast<GeometricOKLObject*>(addObject(type, name));
        EXPECT_NE(location, nullptr);
        if (geometry) location->setGeometry(slot, std::move(geometry));
        return location;
    }

    // Adds a scalar variable `name` with f at each vertex to the geometry (which owns it).
    static void addScalar(Geometry& geometry, const std::string& name, const std::function<double(const Vec3&)>& f) {
        auto v = std::make_unique<ScalarVariable>();
        FloatZELVector& values = v->values();
        for (const TripletF& p : geometry.getVertices()) values.push_back(static_cast<float>(f(toD(p))));
        v->setName(name);
        geometry.addVariable(std::move(v));
    }
    static void addVector(Geometry& geometry, const std::string& name, TripletZELVector values) {
        auto v = std::make_unique<VectorVariable>();
        v->values() = std::move(values);
        v->setName(name);
        geometry.addVariable(std::move(v));
    }
    // A vertex interpolant into `domain` (one node per vertex), which can calculate flows.
    static void setVertexInterpolant(Geometry& geometry, const std::string& domain) {
        auto interpolant = std::make_unique<VertexInterpolant>(domain);
        for (int i = 0; i < geometry.getNumVertices(); ++i) interpolant->pushVertex(i);
        geometry.setInterpolant(std::move(interpolant));
    }

    Quantity eval(const std::string& function, const std::vector<std::string>& args) {
        return calculator->evaluate(function, args);
    }
    // The latest report's message; empty when nothing was reported.
    static std::string lastReport() {
        const auto* r = ErrorProgressReporter::instance();
        return r->count() == 0 ? std::string() : r->last().getMessage();
    }
    static std::size_t reportCount() { return ErrorProgressReporter::instance()->count(); }
    // The latest report, in the fields that are given.
    static void expectLastReport(const ExpectedReport& expected) {
        ASSERT_GT(reportCount(), 0u);
        expectReport(ErrorProgressReporter::instance()->last(), expected);
    }

    std::unique_ptr<CalcStorage> storage;
    std::unique_ptr<HostDefStore> defs;
    FunctionCalculator* calculator = nullptr;
};

} // namespace zel::test
