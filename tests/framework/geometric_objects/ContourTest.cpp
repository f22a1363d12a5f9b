#include "GeomObjTestSupport.h"

#include "framework/geometry/Interpolant.h"
#include "framework/okl/ContourOKLObject.h"

#include <cmath>
#include <functional>

namespace zel::test {
namespace {

class Contours : public GeomObjTest {
protected:
    using Field = std::function<float(const TripletF&)>;
    static float x(const TripletF& p) { return p.x; }

    // A user surface `object` holding `surface` under `name`, with the variable "F" = field.
    GeometricOKLObject* surfaceWith(std::unique_ptr<Geometry> surface, const std::string& name = "",
                                    const Field& field = x, const std::string& object = "S") {
        auto* location = dynamic_cast<GeometricOKLObject*>(db()->getObjectByName(object));
        if (!location) location = add("USER SURFACE", object);
        FloatZELVector f;
        for (const TripletF& p : surface->getVertices()) f.push_back(field(p));
        auto variable = std::make_unique<ScalarVariable>(f.data(), f.size());
        variable->setName("F");
        surface->addVariable(std::move(variable));
        location->setGeometry(name, std::move(surface));
        return location;
    }

    ContourOKLObject* contour(const std::string& locations, int levels) {
        auto* c = add<ContourOKLObject>("CONTOUR", "C");
        c->setParameter("Location List", locations);
        c->setParameter("Colour Variable", "F");
        c->setParameter("Number of Contours", std::to_string(levels));
        return c;
    }

    // Area of the fringe faces of one level.
    static double fringeArea(const ContourGeometry& g, int level) {
        double area = 0.0;
        const TripletZELVector& v = g.getVertices();
        for (const auto& ff : g.getLevel(level).fringeFaces) {
            const ShapeSet* set = g.getFaceSet(g.getName() + ":" + ContourGeometry::faceSetSuffix(ff.count));
            EXPECT_NE(set, nullptr);
            if (!set) continue;
            const auto nodes = set->getElement(ff.face);
            TripletD a;
            for (std::size_t k = 0; k < nodes.size(); ++k)
                a += TripletD(v[std::size_t(nodes[k])]).cross(TripletD(v[std::size_t(nodes[(k + 1) % nodes.size()])]));
            area += 0.5 * std::sqrt(a.lengthSquared());
        }
        return area;
    }

    static double segmentLength(const ContourGeometry& g, int level) {
        double length = 0.0;
        const auto& s = g.getLevel(level).segments;
        for (std::size_t i = 0; i + 1 < s.size(); i += 2)
            length += (g.getVertices()[std::size_t(s[i])] - g.getVertices()[std::size_t(s[i + 1])]).length();
        return length;
    }
};

TEST_F(Contours, LinearFieldOnAJitteredGrid) {
    // F = x on the unit square: the band between two levels has the area of its width and
    // every interior isoline has length 1, whatever the (planar) mesh.
    surfaceWith(unitSquareGrid(9, 0.3f));
    ContourOKLObject* c = contour("S", 5);
    c->calculateContours();
    EXPECT_EQ(c->getLevelValues(), (std::vector<float>{0.0f, 0.25f, 0.5f, 0.75f, 1.0f}));
    auto* g = dynamic_cast<ContourGeometry*>(c->getGeometry(""));
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->getNumLevels(), 5);
    // Each level is stored with its value; tolerance from float rounding of the clip points.
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(g->getLevel(k).value, 0.25f * float(k));
        EXPECT_NEAR(fringeArea(*g, k), 0.25, 1e-5) << k;
    }
    EXPECT_NEAR(fringeArea(*g, 4), 0.0, 1e-9);
    EXPECT_NEAR(sumFaceAreas(*g), 1.0, 1e-5); // the bands do not overlap
    for (int k = 1; k <= 3; ++k) {
        EXPECT_NEAR(segmentLength(*g, k), 1.0, 1e-5) << k;
        const auto& s = g->getLevel(k).segments;
        ASSERT_FALSE(s.empty());
        for (int idx : s) EXPECT_NEAR(g->getVertices()[std::size_t(idx)].x, 0.25f * float(k), 1e-6);
    }
    // The lines of the geometry are every level's segments.
    std::size_t total = 0;
    for (int k = 0; k < 5; ++k) total += g->getLevel(k).segments.size();
    EXPECT_EQ(g->getLines().size(), total);

    // Each contour vertex interpolates the field exactly (it is linear along the edges).
    const Interpolant* interpolant = g->getInterpolant();
    ASSERT_NE(interpolant, nullptr);
    EXPECT_EQ(interpolant->getKind(), InterpolantKind::Hybrid);
    EXPECT_EQ(interpolant->getNumVertices(), std::size_t(g->getNumVertices()));
    Variable* f = g->getVariable("F", false);
    ASSERT_NE(f, nullptr);
    const FloatZELVector* values = f->getFloatValues(VarTypeVertex);
    ASSERT_NE(values, nullptr);
    for (int i = 0; i < g->getNumVertices(); ++i)
        EXPECT_NEAR((*values)[std::size_t(i)], g->getVertices()[std::size_t(i)].x, 1e-6) << i;
    // Shared points are stored once: no two vertices in the same place.
    std::vector<TripletF> sorted(g->getVertices().begin(), g->getVertices().end());
    std::sort(sorted.begin(), sorted.end(),
              [](const TripletF& a, const TripletF& b) { return std::tie(a.x, a.y, a.z) < std::tie(b.x, b.y, b.z); });
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

TEST_F(Contours, DiagonalFieldAndUserRange) {
    // F = x + y on the unit square, range [0.5, 1.5] in 3 levels: bands [0.5, 1) and
    // [1, 1.5) and F >= 1.5. Areas: A(t) = area{F < t} = t²/2 (t <= 1), 1 - (2-t)²/2 (t >= 1).
    auto area = [](double t) { return t <= 1.0 ? t * t / 2.0 : 1.0 - (2.0 - t) * (2.0 - t) / 2.0; };
    surfaceWith(unitSquareGrid(8, 0.25f, 3), "", [](const TripletF& p) { return p.x + p.y; });
    ContourOKLObject* c = contour("S", 3);
    c->setParameter("Range", "User Specified");
    c->setParameter("Min", "0.5");
    c->setParameter("Max", "1.5");
    c->calculateContours();
    auto* g = dynamic_cast<ContourGeometry*>(c->getGeometry(""));
    ASSERT_NE(g, nullptr);
    EXPECT_NEAR(fringeArea(*g, 0), area(1.0) - area(0.5), 1e-5);
    EXPECT_NEAR(fringeArea(*g, 1), area(1.5) - area(1.0), 1e-5);
    EXPECT_NEAR(fringeArea(*g, 2), 1.0 - area(1.5), 1e-5);
    // Isolines x + y = v across the square: length √2·v for v <= 1, √2·(2 - v) above.
    EXPECT_NEAR(segmentLength(*g, 0), std::sqrt(2.0) * 0.5, 1e-5);
    EXPECT_NEAR(segmentLength(*g, 1), std::sqrt(2.0), 1e-5);
    EXPECT_NEAR(segmentLength(*g, 2), std::sqrt(2.0) * 0.5, 1e-5);
    float mn = 0, mx = 0;
    ASSERT_TRUE(c->getColourRange(mn, mx));
    EXPECT_EQ(mn, 0.5f);
    EXPECT_EQ(mx, 1.5f);
}

TEST_F(Contours, SaddleFaceIsSplitAndBandsStillTile) {
    // One quadrilateral with F = 0, 1, 0, 1 at its corners: the middle level crosses its
    // boundary four times.
    surfaceWith(rectangle(0, 0, 1, 1), "", [](const TripletF& p) { return p.x + p.y - 2 * p.x * p.y; });
    ContourOKLObject* c = contour("S", 3);
    c->calculateContours();
    auto* g = dynamic_cast<ContourGeometry*>(c->getGeometry(""));
    ASSERT_NE(g, nullptr);
    EXPECT_NEAR(fringeArea(*g, 0) + fringeArea(*g, 1) + fringeArea(*g, 2), 1.0, 1e-6);
    EXPECT_NEAR(sumFaceAreas(*g), 1.0, 1e-6);
    EXPECT_FALSE(g->getLevel(1).segments.empty());
    EXPECT_EQ(g->getLevel(1).segments.size() % 2, 0u);
}

TEST_F(Contours, PiecesPerDomainAndSeveralLocations) {
    surfaceWith(rectangle(0, 0, 1, 1), "D1", x, "A");
    surfaceWith(rectangle(1, 0, 1, 1), "D2", x, "A");
    surfaceWith(rectangle(0, 2, 2, 1), "D1", x, "B");
    ContourOKLObject* c = contour("A, B", 3); // F = x over [0, 2]: levels 0, 1, 2
    c->calculateContours();
    EXPECT_EQ(c->getGeometryNames(), (std::vector<std::string>{"D1", "D2"}));
    auto* d1 = dynamic_cast<ContourGeometry*>(c->getGeometry("D1"));
    auto* d2 = dynamic_cast<ContourGeometry*>(c->getGeometry("D2"));
    ASSERT_TRUE(d1 && d2);
    EXPECT_EQ(d1->getDomain(), "D1");
    EXPECT_EQ(d1->getInterpolant()->getDomains(), std::vector<std::string>{"D1"});
    EXPECT_EQ(d1->getInterpolant()->getNumSources(), 2u); // A's and B's pieces of D1
    // Band 0 (0 <= x < 1): A's D1 square (1) and half of B's strip (1); band 1: the rest.
    EXPECT_NEAR(fringeArea(*d1, 0), 2.0, 1e-6);
    EXPECT_NEAR(fringeArea(*d1, 1), 1.0, 1e-6);
    EXPECT_NEAR(fringeArea(*d2, 1), 1.0, 1e-6);
    EXPECT_NEAR(fringeArea(*d2, 0), 0.0, 1e-9);
    EXPECT_EQ(d1->getNumLevels(), 3);
    EXPECT_EQ(d2->getNumLevels(), 3);

    // Changing the parameters through the command language rebuilds the contour.
    run("CONTOUR: C\n  Location List = B\nEND\n");
    EXPECT_EQ(c->getGeometryNames(), std::vector<std::string>{"D1"});
    EXPECT_NEAR(fringeArea(*dynamic_cast<ContourGeometry*>(c->getGeometry("D1")), 0), 1.0, 1e-6);
}

TEST_F(Contours, Errors) {
    surfaceWith(rectangle(0, 0, 1, 1));
    add("LINE", "Line");
    db()->addObject(ObjectFactory::instance()->createObject("CALCULATOR", ""));
    ContourOKLObject* c = contour("S", 4);
    c->calculateContours();
    ASSERT_TRUE(c->hasGeometry(""));

    c->setParameter("Location List", "S, Nowhere");
    expectError<data::notFound>([&] { c->calculateContours(); },
                                {.fragments = {"Location 'Nowhere' of contour 'C' does not exist."}});
    EXPECT_EQ(c->getNumGeometries(), 0u); // nothing is left half-built
    c->setParameter("Location List", "CALCULATOR");
    expectError<data::invalid>([&] { c->calculateContours(); },
                               {.fragments = {"'CALCULATOR'", "not a geometric object"}});
    c->setParameter("Location List", "S");
    c->setParameter("Number of Contours", "1");
    expectError<data::invalid>([&] { c->calculateContours(); }, {.fragments = {"at least 2 contours"}});
    c->setParameter("Number of Contours", "4");
    c->setParameter("Colour Variable", "Density");
    expectError<data::notFound>([&] { c->calculateContours(); },
                                {.fragments = {"Variable 'Density'", "not available"}});
    EXPECT_EQ(c->getNumGeometries(), 0u);
    // A location without faces gives nothing to contour, and no error.
    c->setParameter("Location List", "Line");
    EXPECT_NO_THROW(c->calculateContours());
    EXPECT_EQ(c->getNumGeometries(), 0u);
    // A failed rebuild through the command language passes the error on.
    EXPECT_ANY_THROW(run("CONTOUR: C\n  Location List = Nowhere\nEND\n"));
}

} // namespace
} // namespace zel::test
