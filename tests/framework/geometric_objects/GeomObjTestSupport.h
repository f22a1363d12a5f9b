#pragma once
// Shared fixture and meshes of the geometric object tests: every test starts from an empty
// database with the built-in types, an empty viewer and no geometry directory.
#include "framework/core/Error.h"
#include "framework/geometry/Geometry.h"
#include "framework/okl/GeometricOKLObject.h"
#include "tests/support/DatabaseSupport.h"
#include "tests/support/ErrorChecks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace zel::test {

class GeomObjTest : public DatabaseTest {
protected:
    // An object of the type made by the type's factory, added to the database.
    template <typename T = GeometricOKLObject> static T* add(const std::string& type, const std::string& name) {
        OKLObject* o = db()->addObject(ObjectFactory::instance()->createObject(type, name));
        auto* t = dynamic_cast<T*>(o);
        EXPECT_NE(t, nullptr) << type << " " << name;
        return t;
    }
};

inline void expectNear(const TripletF& a, const TripletF& b, const std::string& what, double tolerance = 1e-6) {
    EXPECT_NEAR(a.x, b.x, tolerance) << what;
    EXPECT_NEAR(a.y, b.y, tolerance) << what;
    EXPECT_NEAR(a.z, b.z, tolerance) << what;
}

// An axis-aligned rectangle in the plane z = const, one quadrilateral counter-clockwise seen
// from +Z (area w·h, normal +Z).
inline std::unique_ptr<Geometry> rectangle(float x0, float y0, float w, float h, float z = 0.0f) {
    auto g = std::make_unique<Geometry>();
    g->setVertices(TripletZELVector({{x0, y0, z}, {x0 + w, y0, z}, {x0 + w, y0 + h, z}, {x0, y0 + h, z}}));
    ShapeSet* quads = g->addFaceSet("quad", ShapeType::Quadrilateral, 0);
    const int face[4] = {0, 1, 2, 3};
    quads->addElement(face);
    return g;
}

// The unit square [0,1]² at z = 0 as an n by n grid: the lower half of the rows quadrilaterals,
// the upper half pairs of triangles. Interior vertices are moved at random (fixed seed) by up
// to `jitter` of a cell, so no face edge lines up with a level; boundary vertices stay put.
inline std::unique_ptr<Geometry> unitSquareGrid(int n, float jitter, unsigned seed = 7) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-jitter, jitter);
    const float h = 1.0f / float(n);
    TripletZELVector vertices;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            float x = i == n ? 1.0f : float(i) * h, y = j == n ? 1.0f : float(j) * h;
            if (i > 0 && i < n && j > 0 && j < n) {
                x += u(rng) * h;
                y += u(rng) * h;
            }
            vertices.push_back({x, y, 0.0f});
        }
    auto g = std::make_unique<Geometry>();
    g->setVertices(std::move(vertices));
    ShapeSet* quads = g->addFaceSet("quads", ShapeType::Quadrilateral, 0);
    ShapeSet* tris = g->addFaceSet("tris", ShapeType::Triangle, 0);
    auto id = [n](int i, int j) { return j * (n + 1) + i; };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = id(i, j), b = id(i + 1, j), c = id(i + 1, j + 1), d = id(i, j + 1);
            if (j < n / 2) {
                const int q[4] = {a, b, c, d};
                quads->addElement(q);
            } else {
                const int t1[3] = {a, b, c}, t2[3] = {a, c, d};
                tris->addElement(t1);
                tris->addElement(t2);
            }
        }
    return g;
}

// Σ over the faces of a geometry of its area (Newell), double precision.
inline double sumFaceAreas(const Geometry& g, const std::string& setName = "") {
    double area = 0.0;
    const TripletZELVector& v = g.getVertices();
    for (int s = 0; s < g.getNumElementSets(); ++s) {
        const ShapeSet& set = g.getElementSet(s);
        if (!set.isFaceSet() || (!setName.empty() && set.getName() != setName)) continue;
        for (int e = 0; e < set.size(); ++e) {
            const auto nodes = set.getElement(e);
            TripletD a;
            for (std::size_t k = 0; k < nodes.size(); ++k)
                a += TripletD(v[std::size_t(nodes[k])]).cross(TripletD(v[std::size_t(nodes[(k + 1) % nodes.size()])]));
            area += 0.5 * std::sqrt(a.lengthSquared());
        }
    }
    return area;
}

} // namespace zel::test
