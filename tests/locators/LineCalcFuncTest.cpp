// Sample and cut lines: spacing and sample counts, chords through boxes against the analytic
// slab intersection, exact line averages of a linear field, crossings at nodes, domains a
// line misses, the merge/chain/ordering steps against literal twins, and the render step.
#include "tests/locators/LocatorTestSupport.h"

#include "locators/LineCalcFunc.h"
#include "locators/SegmentChains.h"

#include <algorithm>
#include <deque>
#include <random>
#include <set>

namespace zel::test {
namespace {

// The part of the infinite line p + t·d inside the box [lo, hi] (slab method, double):
// false when it misses; otherwise the entry and exit parameters.
bool clipToBox(const TripletD& p, const TripletD& d, const TripletD& lo, const TripletD& hi, double& t0, double& t1) {
    t0 = -1e300;
    t1 = 1e300;
    for (int a = 0; a < 3; ++a) {
        if (d[a] == 0.0) {
            if (p[a] < lo[a] || p[a] > hi[a]) return false;
            continue;
        }
        double s0 = (lo[a] - p[a]) / d[a], s1 = (hi[a] - p[a]) / d[a];
        if (s0 > s1) std::swap(s0, s1);
        t0 = std::max(t0, s0);
        t1 = std::min(t1, s1);
    }
    return t1 > t0;
}

// Float positions of a few ulps of a unit-sized mesh, summed over a short line.
constexpr double kTol = 1e-5;

using Params = std::vector<std::pair<std::string, std::string>>;

class LineTest : public LocatorTest {
protected:
    GeometricOKLObject* addLine(const std::string& name, const Params& params) {
        return addTyped<GeometricOKLObject>("LINE", name, params);
    }
    // The object changed by `params` and built again.
    static void rerun(OKLObject& object, const Params& params) {
        for (const auto& [name, value] : params) object.setParameter(name, value);
        run(object);
    }
};

TEST_F(LineTest, SampleLineIsEvenlySpacedInLengthUnitsAndAveragesLinearFieldsExactly) {
    addDomain(makeHexBox("D1", 4, 4, 4));
    addField("Pressure", benchField);
    auto* line =
        addLine("Line 1", {{"Point 1", "100, 200, 300 [mm]"}, {"Point 2", "0.9, 0.6, 0.7"}, {"Line Samples", "5"}});
    run(*line);

    ASSERT_EQ(line->getGeometryNames(), std::vector<std::string>{""});
    Geometry* g = line->getGeometry("");
    EXPECT_EQ(g->getName(), "Line 1");
    ASSERT_EQ(g->getNumVertices(), 5);
    const TripletD p1{0.1, 0.2, 0.3}, p2{0.9, 0.6, 0.7};
    for (int i = 0; i < 5; ++i) {
        const TripletD expected = p1 + (p2 - p1) * (i / 4.0);
        for (int a = 0; a < 3; ++a) EXPECT_NEAR(g->getVertices()[std::size_t(i)][a], expected[a], 1e-6) << i;
    }
    EXPECT_EQ(g->getLines().vector(), (std::vector<int>{0, 1, 1, 2, 2, 3, 3, 4}));
    const auto* interp = dynamic_cast<const ExternalInterpolant*>(g->getInterpolant());
    ASSERT_NE(interp, nullptr);
    EXPECT_EQ(interp->getDomains(), std::vector<std::string>{"D1"});
    EXPECT_EQ(interp->getNumLocated(), 5u);

    EXPECT_NEAR(length(*line), std::sqrt((p2 - p1).lengthSquared()), kTol);
    EXPECT_NEAR(lengthAve(*line, "Pressure"), benchField((p1 + p2) * 0.5), kTol);
    EXPECT_EQ(reports().size(), 0u) << lastReport();
}

TEST_F(LineTest, SampleCountsCoincidentPointsAndNoDomains) {
    addDomain(makeHexBox("D1", 2, 2, 2));
    auto* line =
        built(addLine("L", {{"Point 1", "0.1, 0.1, 0.1"}, {"Point 2", "0.7, 0.1, 0.1"}, {"Line Samples", "2"}}));
    Geometry* g = line->getGeometry("");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->getVertices().vector(), (std::vector<TripletF>{{0.1f, 0.1f, 0.1f}, {0.7f, 0.1f, 0.1f}}));
    EXPECT_EQ(g->getLines().vector(), (std::vector<int>{0, 1}));

    // Fewer than two samples: the error names 2, and the earlier geometry is gone.
    for (const char* samples : {"1", "0", "-3"}) {
        line->setParameter("Line Samples", samples);
        expectError<data::invalid>(
            [&] { run(*line); }, {.className = "LineCalcFunc", .message = "Sample line requires at least 2 samples."});
        EXPECT_EQ(line->getNumGeometries(), 0u);
    }

    // Coincident end points are allowed for a sample line: every sample sits on Point 1.
    rerun(*line, {{"Point 2", "0.1, 0.1, 0.1"}, {"Line Samples", "3"}});
    g = line->getGeometry("");
    ASSERT_NE(g, nullptr);
    for (const TripletF& v : g->getVertices()) EXPECT_EQ(v, TripletF(0.1f, 0.1f, 0.1f));
    EXPECT_EQ(g->getNumLines(), 2);

    // ... but not for a cut line.
    line->setParameter("Line Type", "Cut");
    expectError<internal::error>([&] { run(*line); },
                                 {.className = "LineCalcFunc", .message = "Points defining the line are coincident."});
    EXPECT_EQ(line->getNumGeometries(), 0u);

    // A point with two values is refused before anything is built.
    line->setParameter("Point 1", "0.1, 0.1");
    expectError<data::invalid>([&] { run(*line); },
                               {.message = "Parameter 'Point 1' must be defined by 3 float values."});

    // Without domains a sample line is built, its interpolant covering none; a cut line fails.
    auto* bare = built(addLine("Bare", {{"Domain List", ""}, {"Line Samples", "3"}}));
    g = bare->getGeometry("");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->getNumVertices(), 3);
    EXPECT_TRUE(g->getInterpolant()->getDomains().empty());
    bare->setParameter("Line Type", "Cut");
    expectError<data::invalid>([&] { run(*bare); }, {.className = "LineCalcFunc", .message = "No domains exist."});
    EXPECT_EQ(bare->getNumGeometries(), 0u);
}

TEST_F(LineTest, CutLineGivesEachCrossedDomainItsChordOrderedFromPointOne) {
    const TripletD lo1{0, 0, 0}, hi1{0.5, 1, 1}, lo2{0.5, 0, 0}, hi2{1, 1, 1};
    addDomain(makeHexBox("D1", 3, 4, 5, TripletF(lo1), TripletF(hi1)));
    addDomain(makeHexBox("D2", 4, 3, 2, TripletF(lo2), TripletF(hi2)));
    addField("Pressure", benchField);

    const TripletD a{-0.2, 0.33, 0.41}, b{1.3, 0.52, 0.77};
    for (const bool reversed : {false, true}) {
        SCOPED_TRACE(reversed);
        const TripletD p1 = reversed ? b : a, p2 = reversed ? a : b;
        auto* line =
            built(addLine(reversed ? "Back" : "Forth", {{"Line Type", "Cut"},
                                                        {"Point 1", _("%.9g, %.9g, %.9g", p1.x, p1.y, p1.z)},
                                                        {"Point 2", _("%.9g, %.9g, %.9g", p2.x, p2.y, p2.z)}}));
        EXPECT_EQ(line->getGeometryNames(), (std::vector<std::string>{"D1", "D2"}));
        EXPECT_EQ(line->getGeometry(""), nullptr);

        const TripletD d = (p2 - p1) * (1.0 / std::sqrt((p2 - p1).lengthSquared()));
        double total = 0.0;
        for (const auto& [name, lo, hi] : {std::tuple{"D1", lo1, hi1}, std::tuple{"D2", lo2, hi2}}) {
            SCOPED_TRACE(name);
            double t0 = 0, t1 = 0;
            ASSERT_TRUE(clipToBox(p1, d, lo, hi, t0, t1));
            Geometry* g = line->getGeometry(name);
            ASSERT_NE(g, nullptr);
            EXPECT_EQ(g->getDomain(), name);
            const TripletZELVector& v = g->getVertices();
            ASSERT_GE(v.size(), 2u);
            // Vertex 0 is the crossing on Point 1's side; the keys ascend along the line.
            const TripletD entry = p1 + d * t0, exit = p1 + d * t1;
            for (int k = 0; k < 3; ++k) {
                EXPECT_NEAR(v[0][k], entry[k], kTol);
                EXPECT_NEAR(v.back()[k], exit[k], kTol);
            }
            for (std::size_t i = 1; i < v.size(); ++i) EXPECT_LT(TripletD(v[i - 1]).dot(d), TripletD(v[i]).dot(d)) << i;
            // Each segment joins two neighbours along the line, each pair once.
            std::set<int> starts;
            for (int s = 0; s < g->getNumLines(); ++s) {
                const int i = g->getLines()[2 * std::size_t(s)], j = g->getLines()[2 * std::size_t(s) + 1];
                EXPECT_EQ(std::abs(i - j), 1);
                EXPECT_TRUE(starts.insert(std::min(i, j)).second);
            }
            EXPECT_EQ(starts.size() + 1, v.size());
            // The edge-based interpolant locates every crossing in this domain only.
            const auto* interp = dynamic_cast<const ExternalInterpolant*>(g->getInterpolant());
            ASSERT_NE(interp, nullptr);
            EXPECT_EQ(interp->getDomains(), std::vector<std::string>{name});
            EXPECT_EQ(interp->getNumLocated(), v.size());

            const double chord = t1 - t0;
            EXPECT_NEAR(g->getVertexLengths().getSum(), chord, kTol);
            total += chord;
        }
        EXPECT_NEAR(length(*line), total, kTol);
        // A linear field averages to its value at the middle of the whole chord.
        double t0 = 0, t1 = 0;
        ASSERT_TRUE(clipToBox(p1, d, lo1, hi2, t0, t1));
        EXPECT_NEAR(lengthAve(*line, "Pressure"), benchField(p1 + d * (0.5 * (t0 + t1))), 1e-5);
    }
    EXPECT_EQ(reports().size(), 0u) << lastReport();
}

TEST_F(LineTest, CutLineThroughNodesAndAlongEdgesHasNoRepeatedCrossings) {
    addDomain(makeHexBox("D1", 4, 4, 4));
    addField("Pressure", benchField);
    struct Case {
        const char* p1;
        const char* p2;
        double length;
        int vertices;
    };
    // Along an edge line shared by four cells; through the nodes of the main diagonal; in a
    // face plane shared by two cells.
    for (const Case& c : {Case{"-1, 0.25, 0.5", "2, 0.25, 0.5", 1.0, 5}, Case{"0, 0, 0", "1, 1, 1", std::sqrt(3.0), 5},
                          Case{"0.1, -1, 0.5", "0.1, 3, 0.5", 1.0, 5}}) {
        SCOPED_TRACE(c.p1);
        auto* line = built(addLine(c.p1, {{"Line Type", "Cut"}, {"Point 1", c.p1}, {"Point 2", c.p2}}));
        Geometry* g = line->getGeometry("D1");
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->getNumVertices(), c.vertices);
        EXPECT_EQ(g->getNumLines(), c.vertices - 1);
        EXPECT_NEAR(g->getVertexLengths().getSum(), c.length, kTol);
        for (std::size_t i = 1; i < g->getVertices().size(); ++i) {
            const TripletF step = g->getVertices()[i] - g->getVertices()[i - 1];
            EXPECT_GT(step.length(), 0.1f) << "vertices " << i - 1 << " and " << i << " should have merged";
        }
        const TripletF& first = g->getVertices()[0];
        const TripletF& last = g->getVertices().back();
        EXPECT_NEAR(lengthAve(*line, "Pressure"), benchField(TripletD(first + last) * 0.5), kTol);
    }
}

// --------------------------------------------------------------- the steps, and twins

// The merge step as written: every pair, lowest earlier vertex wins.
bool literalMerge(TripletZELVector& v, IntZELVector& lines, float tolerance) {
    if (lines.empty()) return false;
    std::vector<int> record(v.size(), -1);
    for (std::size_t i = 0; i < v.size(); ++i)
        for (std::size_t j = i + 1; j < v.size(); ++j)
            if (record[j] < 0 && std::sqrt((TripletD(v[i]) - TripletD(v[j])).lengthSquared()) < tolerance)
                record[j] = int(i);
    bool changed = false;
    for (int& x : lines)
        if (record[std::size_t(x)] >= 0) x = record[std::size_t(x)], changed = true;
    std::vector<int> kept;
    for (std::size_t s = 0; s < lines.size() / 2; ++s) {
        const int a = lines[2 * s], b = lines[2 * s + 1];
        bool drop = a == b;
        for (std::size_t k = 0; !drop && k < kept.size(); k += 2)
            drop = (kept[k] == a && kept[k + 1] == b) || (kept[k] == b && kept[k + 1] == a);
        if (drop) {
            changed = true;
            continue;
        }
        kept.push_back(a);
        kept.push_back(b);
    }
    lines.vector() = kept;
    if (changed) LineCalcFunc::renumberByFirstUse(v, lines);
    return changed;
}

// The chain step's ordering as written: whole passes over the segments.
void literalChain(IntZELVector& lines) {
    const std::size_t n = lines.size() / 2;
    std::vector<Edge> e;
    for (std::size_t s = 0; s < n; ++s) e.emplace_back(lines[2 * s], lines[2 * s + 1]);
    std::vector<bool> used(n, false);
    auto shares = [&](std::size_t a, std::size_t b) {
        return e[a][0] == e[b][0] || e[a][0] == e[b][1] || e[a][1] == e[b][0] || e[a][1] == e[b][1];
    };
    std::vector<int> out;
    for (std::size_t first = 0; first < n; ++first) {
        if (used[first]) continue;
        std::deque<std::size_t> chain{first};
        used[first] = true;
        for (const bool tail : {true, false})
            for (bool added = true; added;) {
                added = false;
                for (std::size_t k = 0; k < n; ++k)
                    if (!used[k] && shares(k, tail ? chain.back() : chain.front())) {
                        used[k] = true;
                        tail ? chain.push_back(k) : chain.push_front(k);
                        added = true;
                    }
            }
        for (std::size_t k : chain) out.insert(out.end(), {e[k][0], e[k][1]});
    }
    lines.vector() = out;
}

TEST(LineSteps, MergeJoinsNearCrossingsAndDropsCollapsedAndRepeatedSegments) {
    // Crossings A, B, B' (B shifted by less than the tolerance), C; segments A-B, B'-C, B-B',
    // and C-B' again reversed.
    TripletZELVector v{{0, 0, 0}, {1, 0, 0}, {1.00005f, 0, 0}, {2, 0, 0}};
    IntZELVector lines{0, 1, 2, 3, 1, 2, 3, 2};
    EXPECT_TRUE(LineCalcFunc::mergeVertices(v, lines, 1e-4f));
    EXPECT_EQ(v.vector(), (std::vector<TripletF>{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}));
    EXPECT_EQ(lines.vector(), (std::vector<int>{0, 1, 1, 2}));
    // Nothing closer than the tolerance: unchanged, also an unused vertex stays.
    TripletZELVector w{{0, 0, 0}, {1, 0, 0}, {5, 5, 5}};
    IntZELVector l2{1, 0};
    EXPECT_FALSE(LineCalcFunc::mergeVertices(w, l2, 1e-4f));
    EXPECT_EQ(w.size(), 3u);
    EXPECT_EQ(l2.vector(), (std::vector<int>{1, 0}));
    // An empty connectivity changes nothing.
    IntZELVector none;
    EXPECT_FALSE(LineCalcFunc::mergeVertices(w, none, 10.0f));
    // Each vertex maps to the lowest vertex within the tolerance, not transitively.
    TripletZELVector chain{{0, 0, 0}, {0.6f, 0, 0}, {1.2f, 0, 0}};
    IntZELVector l3{0, 1, 1, 2};
    EXPECT_TRUE(LineCalcFunc::mergeVertices(chain, l3, 1.0f));
    EXPECT_EQ(chain.vector(), (std::vector<TripletF>{{0, 0, 0}, {0.6f, 0, 0}}));
    EXPECT_EQ(l3.vector(), (std::vector<int>{0, 1}));
}

TEST(LineSteps, MergeAndChainMatchTheirLiteralTwinsOnRandomInput) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int trial = 0; trial < 200; ++trial) {
        SCOPED_TRACE(trial);
        // Crossings along a slanted line, some repeated within or near the tolerance.
        const int n = 2 + int(rng() % 40);
        TripletZELVector v;
        for (int i = 0; i < n; ++i) {
            const float t = unit(rng);
            v.push_back({t, 0.5f * t + 0.1f, 0.3f - 0.2f * t});
            if (rng() % 3 == 0) {
                const float jitter = (unit(rng) - 0.5f) * 4e-3f;
                v.push_back({t + jitter, 0.5f * t + 0.1f, 0.3f - 0.2f * t + jitter});
            }
        }
        IntZELVector lines;
        const int segments = 1 + int(rng() % (2 * v.size()));
        for (int s = 0; s < segments; ++s) {
            lines.push_back(int(rng() % v.size()));
            lines.push_back(rng() % 5 == 0 ? lines.back() : int(rng() % v.size()));
        }
        const float tolerance = 1e-3f;
        TripletZELVector v1 = v, v2 = v;
        IntZELVector l1 = lines, l2 = lines;
        EXPECT_EQ(LineCalcFunc::mergeVertices(v1, l1, tolerance), literalMerge(v2, l2, tolerance));
        EXPECT_EQ(v1.vector(), v2.vector());
        EXPECT_EQ(l1.vector(), l2.vector());

        IntZELVector c1 = lines, c2 = lines;
        chainSegments(c1);
        literalChain(c2);
        EXPECT_EQ(c1.vector(), c2.vector());
    }
}

TEST(LineSteps, ChainFollowsThePathAndOrderingSortsAlongTheLine) {
    // A path 0-1-2-3-4 given shuffled, with one segment reversed; vertices scattered.
    TripletZELVector v{{3, 0, 0}, {1, 0, 0}, {4, 0, 0}, {0, 0, 0}, {2, 0, 0}};
    // Positions: vertex 3 (x=0) - 1 (x=1) - 4 (x=2) - 0 (x=3) - 2 (x=4).
    IntZELVector lines{4, 0, 3, 1, 2, 0, 1, 4};
    LineCalcFunc::chainStep(v, lines);
    // The chain grows from 4-0 at the tail (0-2), then at the head (1-4, 3-1); segments keep
    // their direction; vertices are renumbered by first use.
    // Chain: 3-1, 1-4, 4-0, 2-0; renumbered 3->0, 1->1, 4->2, 0->3, 2->4.
    EXPECT_EQ(lines.vector(), (std::vector<int>{0, 1, 1, 2, 2, 3, 4, 3}));
    EXPECT_EQ(v.vector(), (std::vector<TripletF>{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}}));

    // Ordering random segments keeps each on the same positions.
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    v.clear();
    lines.clear();
    for (int i = 0; i < 50; ++i) v.push_back({unit(rng), unit(rng), unit(rng)});
    for (int s = 0; s < 80; ++s) lines.push_back(int(rng() % 50));
    const TripletZELVector before = v;
    const IntZELVector linesBefore = lines;
    const TripletF direction = TripletF(0.3f, -0.5f, 0.8f).normalised();
    LineCalcFunc::orderAlongLine(v, lines, direction);
    for (std::size_t i = 1; i < v.size(); ++i) EXPECT_LE(v[i - 1].dot(direction), v[i].dot(direction));
    for (std::size_t k = 0; k < lines.size(); ++k)
        EXPECT_EQ(v[std::size_t(lines[k])], before[std::size_t(linesBefore[k])]) << k;
}

// ------------------------------------------------------------- missing domains, render

TEST_F(LineTest, CutLineAttachesAndDrawsOnlyTheDomainsItCrossesAndSortsItsActions) {
    addDomain(makeHexBox("D1", 2, 2, 2));
    addDomain(makeHexBox("D2", 2, 2, 2, {2, 0, 0}, {3, 1, 1}));
    addField("Pressure", benchField);
    // Along y at x = 0.3: through D1 only.
    auto* cut = built(addLine("L", {{"Line Type", "Cut"}, {"Point 1", "0.3, -1, 0.6"}, {"Point 2", "0.3, 2, 0.6"}}));
    EXPECT_EQ(cut->getGeometryNames(), std::vector<std::string>{"D1"});
    EXPECT_NEAR(cut->getGeometry("D1")->getVertexLengths().getSum(), 1.0, kTol);

    // Missing every domain: no geometry, no error, no report.
    rerun(*cut, {{"Point 1", "0.3, -1, 5"}, {"Point 2", "0.3, 2, 5"}});
    EXPECT_EQ(cut->getNumGeometries(), 0u);
    EXPECT_EQ(reports().size(), 0u) << lastReport();

    // A listed name without an object is skipped; a name whose object is no geometric
    // object, or has no geometry of that name, is an error.
    rerun(*cut, {{"Point 1", "0.3, -1, 0.6"}, {"Point 2", "0.3, 2, 0.6"}, {"Domain List", "Nowhere, D1"}});
    EXPECT_EQ(cut->getGeometryNames(), std::vector<std::string>{"D1"});
    addObject("NOTE", "Speed"); // a plain object, not a geometric one
    cut->setParameter("Domain List", "D1, Speed");
    expectError<internal::badParam>(
        [&] { run(*cut); },
        {.className = "LineCalcFunc", .message = "Bad cast of OKLObject 'Speed' to GeometricOKLObject."});
    EXPECT_EQ(cut->getNumGeometries(), 0u);
    addObject("BOUNDARY", "Wall");
    cut->setParameter("Domain List", "Wall");
    expectError<internal::badParam>([&] { run(*cut); },
                                    {.className = "LineCalcFunc", .message = "Cannot get geometry for domain 'Wall'."});

    // Drawn: the crossed domain with the object's settings; the other names are deleted.
    auto* line = built(addLine("Cut 1", {{"Line Type", "Cut"},
                                         {"Point 1", "0.3, -1, 0.6"},
                                         {"Point 2", "0.3, 2, 0.6"},
                                         {"Line Width", "3"},
                                         {"Visibility", "False"}}));
    ViewerInterface* viewer = ViewerInterface::instance();
    viewer->clearHistory();
    run(*line, "render");
    const std::string path = line->getPath();
    EXPECT_EQ(viewer->getGeometryNames(path), std::vector<std::string>{"D1"});
    const DrawnItem* item = viewer->getItem(path, "D1");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->graphic.getLineWidth(), 3.0f);
    EXPECT_FALSE(item->graphic.isVisible());
    EXPECT_TRUE(item->graphic.isChanged());
    EXPECT_EQ(item->getNumLines(), 2u);
    // The names without geometry were deleted: D2 and the empty name of a sample line.
    EXPECT_EQ(deletedGeometries(), (std::vector<std::string>{"D2", ""}));
    EXPECT_FALSE(line->isGeometryChanged() || line->isRenderChanged() || line->isColourChanged());

    // Coloured by a variable: it is drawn with it, and the legend shows it.
    line->setParameter("Colour Mode", "Variable");
    run(*line, "render");
    item = viewer->getItem(path, "D1");
    ASSERT_NE(item, nullptr);
    EXPECT_FALSE(item->graphic.isChanged());
    EXPECT_TRUE(item->graphic.getVariableColouring());
    EXPECT_EQ(item->graphic.getColourVariableName(), "Pressure");
    ASSERT_NE(viewer->getDefaultLegend(), nullptr);
    EXPECT_EQ(viewer->getDefaultLegend()->variable, "Pressure");

    // A colour variable the geometry cannot provide (the solver lacks it) removes every
    // drawing of the object.
    addObject("SCALAR VARIABLE", "Nope", {{"Boundary Values", "Conservative"}});
    line->setParameter("Colour Variable", "Nope");
    expectError<internal::nullPointer>([&] { run(*line, "render"); },
                                       {.className = "LineCalcFunc", .message = "Couldn't find variable Nope."});
    EXPECT_TRUE(viewer->getGeometryNames(path).empty());

    // A variable on the geometry that no database object defines is refused, unless the
    // locator code made it.
    auto local = std::make_unique<ScalarVariable>(VarTypeVertex);
    local->setName("Local Var");
    local->resize(std::size_t(line->getGeometry("D1")->getNumVertices()));
    Variable* added = line->getGeometry("D1")->addVariable(std::move(local));
    line->setParameter("Colour Variable", "Local Var");
    expectError<internal::nullPointer>([&] { run(*line, "render"); },
                                       {.message = "Couldn't find variable okl object Local Var."});
    added->setGlobalType(VarTypeLocal);
    run(*line, "render");
    EXPECT_TRUE(viewer->isDrawn(path, "D1"));

    // "colour" recolours only; unknown actions are ignored and the geometry stays.
    line->clearChangeFlags();
    run(*line, "colour");
    EXPECT_TRUE(line->isColourChanged());
    EXPECT_FALSE(line->isGeometryChanged());
    run(*line, "glyph");
    EXPECT_EQ(line->getNumGeometries(), 1u);

    std::unique_ptr<CalcBase> copy(LineCalcFunc(false).clone());
    EXPECT_FALSE(dynamic_cast<LineCalcFunc&>(*copy).getFlag());
    OKLObject* note = addObject("NOTE", "N");
    expectError<internal::error>([&] { LineCalcFunc()(note, "top"); },
                                 {.className = "LineCalcFunc", .message = "Cast to GeometricOKLObject failed."});
}

} // namespace
} // namespace zel::test
