// Boundary flows from a patch's face values: each face's flow split among its vertices, so
// that the boundary's vertex values add up to the sum over its faces (a brute-force twin on
// the patch's own faces), on triangles, quadrilaterals and polygons facing two directions;
// the points alternative integrates a linear field exactly.
#include "tests/host/HostTestSupport.h"

#include "host/BoundaryGeometry.h"
#include "host/CaseLoader.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <map>
#include <random>

namespace zel::host::test {
namespace {

using V = TripletD;

// Two sides of cubeCase(n), x = 1 and y = 1, as one patch "sides" whose faces are quads,
// pairs of triangles and hexagons (two quads merged) at random, each wound counter-clockwise
// seen from outside. Point data: the cube's p and U, zero wallShearStress. Cell data: random
// p, U, wallShearStress and, with `faceDensity`, rho.
MeshBlock sidesPatch(int n, unsigned seed, bool faceDensity) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_int_distribution<int> kind(0, 2);
    MeshBlock b;
    b.name = "sides";
    b.path = "boundary/sides";
    b.sourceFile = "sides.vtp";
    std::vector<float> pts, p, u, zero;
    auto point = [&](float x, float y, float z) {
        pts.insert(pts.end(), {x, y, z});
        p.push_back(1 + 2 * x + 3 * y - z);
        u.insert(u.end(), {1.0f, 0.0f, 0.0f});
        zero.insert(zero.end(), {0.0f, 0.0f, 0.0f});
        return std::int64_t(pts.size() / 3 - 1);
    };
    std::vector<float> fp, fu, ft, frho;
    auto add = [&](std::initializer_list<std::int64_t> nodes) {
        const std::size_t count = nodes.size();
        b.cells.types.push_back(std::uint8_t(count == 3 ? VtkTriangle : count == 4 ? VtkQuad : VtkPolygon));
        b.cells.connectivity.insert(b.cells.connectivity.end(), nodes);
        b.cells.offsets.push_back(std::int64_t(b.cells.connectivity.size()));
        fp.push_back(1.0f + unit(rng));
        for (int k = 0; k < 3; ++k) fu.push_back(unit(rng));
        for (int k = 0; k < 3; ++k) ft.push_back(0.1f * unit(rng));
        frho.push_back(1.25f + 0.5f * unit(rng));
    };
    // side(a, b): the point of the side at grid (a, b); the sides' own (a, b) axes are
    // (y, z) on x = 1 and (z, x) on y = 1, so a × b points outward.
    for (int s = 0; s < 2; ++s) {
        std::vector<std::int64_t> id(std::size_t((n + 1) * (n + 1)));
        for (int bb = 0; bb <= n; ++bb)
            for (int a = 0; a <= n; ++a) {
                const float fa = float(a) / float(n), fb = float(bb) / float(n);
                id[std::size_t(a + (n + 1) * bb)] = s == 0 ? point(1.0f, fa, fb) : point(fb, 1.0f, fa);
            }
        auto at = [&](int a, int bb) { return id[std::size_t(a + (n + 1) * bb)]; };
        for (int bb = 0; bb < n; ++bb)
            for (int a = 0; a < n; ++a) {
                const int k = kind(rng);
                if (k == 2 && a + 1 < n) {
                    add({at(a, bb), at(a + 1, bb), at(a + 2, bb), at(a + 2, bb + 1), at(a + 1, bb + 1), at(a, bb + 1)});
                    ++a;
                } else if (k == 1) {
                    add({at(a, bb), at(a + 1, bb), at(a + 1, bb + 1)});
                    add({at(a, bb), at(a + 1, bb + 1), at(a, bb + 1)});
                } else {
                    add({at(a, bb), at(a + 1, bb), at(a + 1, bb + 1), at(a, bb + 1)});
                }
            }
    }
    b.points = RealArray(pts);
    b.pointData.push_back({"p", 1, RealArray(p)});
    b.pointData.push_back({"U", 3, RealArray(u)});
    b.pointData.push_back({"wallShearStress", 3, RealArray(zero)});
    b.cellData.push_back({"p", 1, RealArray(fp)});
    b.cellData.push_back({"U", 3, RealArray(fu)});
    b.cellData.push_back({"wallShearStress", 3, RealArray(ft)});
    if (faceDensity) b.cellData.push_back({"rho", 1, RealArray(frho)});
    validateBlock(b);
    return b;
}

// The solver's sums over the patch's faces: S_f by the shoelace rule, ρ_f = `rho` or the
// face's rho, p and τ kinematic (times `scale`), τ negated as the name table does.
struct FaceSums {
    double mass = 0;
    V pressure{0, 0, 0}, viscous{0, 0, 0}, momentum{0, 0, 0};
};
FaceSums faceSums(const MeshBlock& patch, double rho, double scale) {
    FaceSums out;
    const FieldArray* p = patch.findCellData("p");
    const FieldArray* u = patch.findCellData("U");
    const FieldArray* tau = patch.findCellData("wallShearStress");
    const FieldArray* density = patch.findCellData("rho");
    for (std::size_t c = 0; c < patch.numCells(); ++c) {
        const auto nodes = patch.cells.cellPoints(c);
        V s(0, 0, 0);
        for (std::size_t k = 0; k < nodes.size(); ++k) {
            auto at = [&](std::int64_t q) {
                const std::size_t i = 3 * std::size_t(q);
                return V(patch.points[i], patch.points[i + 1], patch.points[i + 2]);
            };
            s += at(nodes[k]).cross(at(nodes[(k + 1) % nodes.size()])) * 0.5;
        }
        const double r = density != nullptr ? density->value(c, 0) : rho;
        const V uf(u->value(c, 0), u->value(c, 1), u->value(c, 2));
        const V tf(tau->value(c, 0), tau->value(c, 1), tau->value(c, 2));
        const double m = r * uf.dot(s);
        out.mass += m;
        out.pressure += s * (scale * p->value(c, 0));
        out.viscous += tf * (-scale * std::sqrt(s.lengthSquared()));
        out.momentum += uf * m;
    }
    out.momentum += out.pressure + out.viscous;
    return out;
}

// Σ_i over the boundary's vertices of a scalar or vector variable, in double.
V vertexSum(Geometry& g, const std::string& name) {
    Variable* v = g.getVariable(name, false);
    EXPECT_NE(v, nullptr) << name;
    V sum(0, 0, 0);
    if (v == nullptr) return sum;
    if (const TripletZELVector* t = v->getTripletValues(VarTypeVertex))
        for (const TripletF& x : *t) sum += V(x);
    else
        for (const float x : *v->getFloatValues(VarTypeVertex)) sum.x += x;
    return sum;
}
double vertexMagnitudes(Geometry& g, const std::string& name) {
    double sum = 0;
    if (const TripletZELVector* t = g.getVariable(name, false)->getTripletValues(VarTypeVertex))
        for (const TripletF& x : *t) sum += std::fabs(x.x) + std::fabs(x.y) + std::fabs(x.z);
    else
        for (const float x : *g.getVariable(name, false)->getFloatValues(VarTypeVertex)) sum += std::fabs(x);
    return sum;
}

// The cube case with the patch sidesPatch(4, seed, faceDensity), loaded into a new Host, with
// a uniform density `domainRho` in the domain unless it is 0. `patch` keeps the patch.
class BoundaryFlowTest : public HostTest {
protected:
    BoundaryGeometry* loadSides(unsigned seed, bool faceDensity, const LoadOptions& options, float domainRho = 0) {
        restartHost();
        CaseData data = cubeCase(4);
        if (domainRho != 0)
            data.blocks.front().pointData.push_back(
                {"rho", 1, RealArray(std::vector<float>(data.blocks.front().numPoints(), domainRho))});
        data.blocks.push_back(sidesPatch(4, seed, faceDensity));
        patch = data.blocks.back();
        host->loadCase(std::move(data), options);
        return dynamic_cast<BoundaryGeometry*>(boundaryGeometry("sides"));
    }
    MeshBlock patch;
};

TEST_F(BoundaryFlowTest, FaceFlowsSpreadToTheVerticesAddUpToTheSumsOverTheFaces) {
    for (const bool faceDensity : {false, true}) {
        for (unsigned seed : {3u, 17u}) {
            // With a density field in the domain, the faces must bring theirs.
            BoundaryGeometry* b = loadSides(seed, faceDensity, withDensity(1.2), faceDensity ? 9.0f : 0.0f);
            ASSERT_NE(b, nullptr);
            ASSERT_EQ(b->getNumElementSets(), 3); // triangles, quadrilaterals, hexagons

            const FaceSums expected = faceSums(patch, 1.2, 1.2);
            // Each vertex value is rounded to float once: the sum is within that of the twin.
            auto tolerance = [&](const char* name) { return 4 * FLT_EPSILON * vertexMagnitudes(*b, name) + 1e-12; };
            const std::string label = "seed " + std::to_string(seed) + (faceDensity ? ", face rho" : "");
            const struct {
                const char* name;
                V value;
            } vectors[] = {{"Mass Flow", V(expected.mass, 0, 0)},
                           {"Pressure Force", expected.pressure},
                           {"Viscous Force", expected.viscous},
                           {"Force", expected.pressure + expected.viscous},
                           {"momentum flow", expected.momentum}};
            for (const auto& [name, value] : vectors) {
                const V sum = vertexSum(*b, name);
                const double tol = tolerance(name);
                EXPECT_NEAR(sum.x, value.x, tol) << name << ", " << label;
                EXPECT_NEAR(sum.y, value.y, tol) << name << ", " << label;
                EXPECT_NEAR(sum.z, value.z, tol) << name << ", " << label;
            }
            // The calculator's integrals are those sums.
            host->runSession("> calculate massFlow, sides\n> calculate force, sides, Y\n", "flows");
            EXPECT_NEAR(result("massFlow, sides"), expected.mass, tolerance("Mass Flow"));
            EXPECT_NEAR(result("force, sides, Y"), expected.pressure.y + expected.viscous.y, tolerance("Force"));
            EXPECT_EQ(host->errorCount(), 0u) << reports();
        }
    }
}

TEST_F(BoundaryFlowTest, BoundaryFlowsFromPointsIntegrateTheVertexValues) {
    // Points on request; and faces by default where the domain's density has no face values
    // (the mass flow alone falls back to the vertices).
    for (const bool byRequest : {true, false}) {
        BoundaryGeometry* b = byRequest ? loadSides(5u, false, withDensity(1.2, FlowSource::Points))
                                        : loadSides(5u, false, withDensity(1.0), 2.0f);
        ASSERT_NE(b, nullptr);
        // U = (1, 0, 0) at the points: ρ times the area of the x = 1 side, exactly.
        const double rho = byRequest ? 1.2 : 2.0;
        EXPECT_NEAR(vertexSum(*b, "Mass Flow").x, rho * 1.0, 1e-6);
        if (!byRequest) {
            // Forces still come from the faces.
            const FaceSums faces = faceSums(patch, 1.0, 1.0);
            EXPECT_NEAR(vertexSum(*b, "Force").y, faces.pressure.y + faces.viscous.y, 1e-5);
            continue;
        }
        // p = 1 + 2x + 3y - z (kinematic, times ρ): ∫p dA over x = 1 is 4, over y = 1 4.5.
        const V force = vertexSum(*b, "Force");
        EXPECT_NEAR(force.x, 1.2 * 4.0, 1e-5);
        EXPECT_NEAR(force.y, 1.2 * 4.5, 1e-5);
        EXPECT_NEAR(force.z, 0.0, 1e-5);
        EXPECT_NEAR(vertexSum(*b, "Viscous Force").x, 0.0, 1e-12); // the zero point shear
        // A copy of the mesh keeps the choice.
        const std::unique_ptr<Geometry> copy = b->clone(true, false);
        EXPECT_EQ(dynamic_cast<BoundaryGeometry*>(copy.get())->getFlowSource(), FlowSource::Points);
    }
}

// The faces of `whole` that `inPart` takes, as a boundary part of their vertices alone, with
// their face values and the point values the flows are made of.
std::unique_ptr<BoundaryGeometry> boundaryPart(BoundaryGeometry& whole, const std::function<bool(V)>& inPart) {
    auto part = std::make_unique<BoundaryGeometry>();
    part->setName(whole.getName());
    part->setDomain(whole.getDomain());
    std::vector<int> index(std::size_t(whole.getNumVertices()), -1);
    TripletZELVector vertices;
    std::map<std::string, DomainField> fields;
    for (const auto& [name, f] : whole.getFaceFields()) fields[name].components = f.components;
    std::size_t face = 0;
    for (int s = 0; s < whole.getNumElementSets(); ++s) {
        const ShapeSet& set = whole.getElementSet(s);
        std::vector<int> connectivity;
        for (int e = 0; e < set.size(); ++e, ++face) {
            const auto nodes = set.getElement(e);
            V centre(0, 0, 0);
            for (const int n : nodes) centre += V(whole.getVertices()[std::size_t(n)]) * (1.0 / double(nodes.size()));
            if (!inPart(centre)) continue;
            for (const int n : nodes) {
                if (index[std::size_t(n)] < 0) {
                    index[std::size_t(n)] = int(vertices.size());
                    vertices.push_back(whole.getVertices()[std::size_t(n)]);
                }
                connectivity.push_back(index[std::size_t(n)]);
            }
            for (const auto& [name, f] : whole.getFaceFields()) {
                const std::size_t nc = std::size_t(f.components);
                auto& to = fields[name].values;
                to.insert(to.end(), f.values.begin() + std::ptrdiff_t(face * nc),
                          f.values.begin() + std::ptrdiff_t((face + 1) * nc));
            }
        }
        const int count = set.getNodesPerElement();
        ShapeSet* added = part->addFaceSet(set.getName(), set.getShapeType(), int(connectivity.size()) / count,
                                           set.getShapeType() == ShapeType::Polygon ? count : 0);
        std::copy(connectivity.begin(), connectivity.end(), added->editConnectivity().begin());
    }
    for (const char* name : {"Pressure", "Wall Shear", "Velocity", "Density"}) {
        Variable* from = whole.getVariable(name, false);
        if (from == nullptr) continue;
        std::unique_ptr<Variable> to;
        if (const TripletZELVector* t = from->getTripletValues(VarTypeVertex)) {
            TripletZELVector values(vertices.size());
            for (std::size_t i = 0; i < index.size(); ++i)
                if (index[i] >= 0) values[std::size_t(index[i])] = (*t)[i];
            auto v = std::make_unique<VectorVariable>();
            v->setTripletValues(std::move(values));
            to = std::move(v);
        } else {
            std::vector<float> values(vertices.size());
            for (std::size_t i = 0; i < index.size(); ++i)
                if (index[i] >= 0) values[std::size_t(index[i])] = (*from->getFloatValues(VarTypeVertex))[i];
            auto v = std::make_unique<ScalarVariable>();
            v->setFloatValues(FloatZELVector(std::move(values)));
            to = std::move(v);
        }
        to->setName(name);
        to->setDomain(whole.getDomain());
        part->addVariable(std::move(to));
    }
    part->setVertices(std::move(vertices));
    part->setFlowSource(whole.getFlowSource());
    part->setFaceFields(std::move(fields));
    return part;
}

// The faces of `other` that meet a vertex of `part` (the same coordinates), as the seam
// faces of `part`, less the face values `without` names.
BoundaryGeometry::SeamFaces seamOf(const BoundaryGeometry& part, const BoundaryGeometry& other,
                                   const std::string& without = {}) {
    BoundaryGeometry::SeamFaces seam;
    auto here = [&](const TripletF& at) {
        const auto i = std::find(part.getVertices().begin(), part.getVertices().end(), at);
        return i == part.getVertices().end() ? -1 : int(i - part.getVertices().begin());
    };
    const std::vector<double> shares = other.getFaceVertexAreas(), S = other.getFaceAreaVectors();
    const std::vector<double> vectors = other.getFaceVertexAreaVectors();
    std::size_t face = 0, entry = 0;
    for (int s = 0; s < other.getNumElementSets(); ++s)
        for (int e = 0; e < other.getElementSet(s).size(); ++e, ++face) {
            const auto nodes = other.getElementSet(s).getElement(e);
            std::vector<int> corners;
            for (const int n : nodes) corners.push_back(here(other.getVertices()[std::size_t(n)]));
            entry += nodes.size();
            if (std::all_of(corners.begin(), corners.end(), [](int c) { return c < 0; })) continue;
            seam.corners.insert(seam.corners.end(), corners.begin(), corners.end());
            seam.shares.insert(seam.shares.end(), shares.begin() + std::ptrdiff_t(entry - nodes.size()),
                               shares.begin() + std::ptrdiff_t(entry));
            seam.shareVectors.insert(seam.shareVectors.end(),
                                     vectors.begin() + std::ptrdiff_t(3 * (entry - nodes.size())),
                                     vectors.begin() + std::ptrdiff_t(3 * entry));
            seam.offsets.push_back(seam.corners.size());
            seam.areaVectors.insert(seam.areaVectors.end(), S.begin() + std::ptrdiff_t(3 * face),
                                    S.begin() + std::ptrdiff_t(3 * face + 3));
            for (const auto& [name, f] : other.getFaceFields()) {
                if (name == without) continue;
                DomainField& to = seam.fields[name];
                to.components = f.components;
                const std::size_t nc = std::size_t(f.components);
                to.values.insert(to.values.end(), f.values.begin() + std::ptrdiff_t(face * nc),
                                 f.values.begin() + std::ptrdiff_t((face + 1) * nc));
            }
        }
    return seam;
}

// Vertex i's components of `name` (1 or 3).
std::vector<float> valuesAt(BoundaryGeometry& g, const std::string& name, std::size_t i) {
    Variable* v = g.getVariable(name, false);
    if (v == nullptr) return {};
    if (const TripletZELVector* t = v->getTripletValues(VarTypeVertex)) return {(*t)[i].x, (*t)[i].y, (*t)[i].z};
    return {(*v->getFloatValues(VarTypeVertex))[i]};
}

// A boundary held in two parts (as two processes hold it): with the other part's faces around
// the shared vertices, a part's vertex flows, areas and face averages are the whole
// boundary's; without them a shared vertex has its own faces' share only.
TEST_F(BoundaryFlowTest, SeamFacesGiveAPartsSharedVerticesTheWholeBoundarysValues) {
    for (const FlowSource source : {FlowSource::Faces, FlowSource::Points}) {
        const bool faces = source == FlowSource::Faces;
        SCOPED_TRACE(faces ? "flows from faces" : "flows from points");
        BoundaryGeometry* whole = loadSides(5u, true, withDensity(1.2, source));
        ASSERT_NE(whole, nullptr);
        std::map<std::string, DomainField> fields = whole->getFaceFields();
        std::mt19937 rng(11);
        std::uniform_real_distribution<float> flux(-50.0f, 80.0f);
        DomainField& q = fields["Heat Flux"];
        for (std::int64_t f = 0; f < whole->getNumElements(); ++f) q.values.push_back(flux(rng));
        whole->setFaceFields(fields);

        // The seam, about z = 0.5, crosses both sides and every kind of face.
        auto below = [](V c) { return c.z < 0.5; };
        const auto lower = boundaryPart(*whole, below), upper = boundaryPart(*whole, [&](V c) { return !below(c); });
        const auto alone = boundaryPart(*whole, below);
        lower->setSeamFaces(seamOf(*lower, *upper));
        ASSERT_GT(lower->getSeamFaces().size(), 0u);
        std::vector<std::string> names = {"Force",     "Pressure Force", "Viscous Force", "momentum flow",
                                          "Mass Flow", "Area",           "Normal",        "Normal Y"};
        if (faces) names.insert(names.end(), {"Heat Flow", "Heat Flux"});
        std::size_t shared = 0;
        for (std::size_t i = 0; i < lower->getVertices().size(); ++i) {
            const TripletF at = lower->getVertices()[i];
            const std::size_t w = std::size_t(std::find(whole->getVertices().begin(), whole->getVertices().end(), at) -
                                              whole->getVertices().begin());
            const TripletZELVector& up = upper->getVertices();
            const bool onSeam = std::find(up.begin(), up.end(), at) != up.end();
            shared += onSeam ? 1 : 0;
            for (const std::string& name : names) {
                const std::vector<float> expected = valuesAt(*whole, name, w), got = valuesAt(*lower, name, i),
                                         own = valuesAt(*alone, name, i);
                ASSERT_FALSE(expected.empty()) << name;
                ASSERT_EQ(got.size(), expected.size()) << name;
                for (std::size_t c = 0; c < got.size(); ++c) {
                    // The double sums add the faces in another order: at most one rounding apart.
                    EXPECT_NEAR(got[c], expected[c], FLT_EPSILON * std::fabs(expected[c]) + 1e-30f)
                        << name << " at vertex " << i << (onSeam ? " on the seam" : "");
                    if (!onSeam) {
                        EXPECT_EQ(own[c], got[c]) << name;
                    }
                }
            }
            if (onSeam) { // alone, the part has its own faces' share: of the area, about half
                EXPECT_LT(valuesAt(*alone, "Area", i)[0], 0.75f * valuesAt(*whole, "Area", w)[0]) << i;
            }
        }
        EXPECT_GE(shared, 2u * 5u - 1u); // z = 0.5 on the two sides, and where faces cross it
        for (const std::string& name : names) {
            EXPECT_TRUE(lower->isWholeAtSeams(name)) << name;
            EXPECT_FALSE(alone->isWholeAtSeams(name)) << name << ": never given its seams";
        }
        EXPECT_TRUE(lower->isWholeAtSeams("Force X"));

        if (!faces) continue;
        // Seam faces without the shear: the parts made of it are this part's at the seam.
        const auto noShear = boundaryPart(*whole, below);
        noShear->setSeamFaces(seamOf(*noShear, *upper, "Wall Shear"));
        for (const char* name : {"Force", "Viscous Force", "Pressure Force", "Mass Flow"}) noShear->getVariable(name);
        EXPECT_FALSE(noShear->isWholeAtSeams("Force"));
        EXPECT_FALSE(noShear->isWholeAtSeams("Viscous Force Y"));
        EXPECT_TRUE(noShear->isWholeAtSeams("Pressure Force"));
        EXPECT_TRUE(noShear->isWholeAtSeams("Mass Flow"));
        EXPECT_EQ(host->errorCount(), 0u) << reports();
    }
}
} // namespace
} // namespace zel::host::test
