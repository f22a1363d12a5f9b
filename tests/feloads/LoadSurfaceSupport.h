#pragma once
// A flow solution for the load surface tests: a box of hexahedra whose bottom (z = 0) is a
// boundary "Bottom" on the box's nodes, holding the boundary values that a host provides
// (force, heat flux and flow, wall temperature, coefficient, adjacent temperature) as analytic
// fields, and a load file of that bottom, finer than the boundary, with mid-side nodes.
#include "tests/feloads/LoadDeckSupport.h"
#include "tests/support/ErrorChecks.h"

#include "calculator/FunctionCalculator.h"
#include "expressions/ExpressionServer.h"
#include "expressions/library/VariableLibrary.h"
#include "feloads/NorvaGeometryReader.h"
#include "framework/geometry/Projection.h"

#include <functional>

namespace zel::test {

constexpr const char* kDimsForce = "1, 1, -2, 0, 0, 0, 0, 0, 0, 0";
constexpr const char* kDimsHeatFlux = "1, 0, -3, 0, 0, 0, 0, 0, 0, 0";
constexpr const char* kDimsPower = "1, 2, -3, 0, 0, 0, 0, 0, 0, 0";
constexpr const char* kDimsTemperature = "0, 0, 0, 1, 0, 0, 0, 0, 0, 0";
constexpr const char* kDimsHTC = "1, 0, -3, -1, 0, 0, 0, 0, 0, 0";

// The wall stress of the tests: linear, so that the surface reproduces it exactly.
inline TripletD wallStress(const TripletD& p) { return {1.0 + p.x, 2.0 * p.y, 3.0 + p.x + p.y}; }

// A boundary geometry as a host makes one: the components of the vectors it holds (its
// "Force") are its own too.
class TestBoundary : public Geometry {
public:
    Variable* getVariable(const std::string& name, bool mustExist = false) override {
        if (Variable* held = findVariable(name)) return held;
        static const char* const kSuffixes[3] = {" X", " Y", " Z"};
        for (int k = 0; k < 3; ++k)
            if (name.size() > 2 && name.compare(name.size() - 2, 2, kSuffixes[k]) == 0)
                if (auto* vector = dynamic_cast<VectorVariable*>(findVariable(name.substr(0, name.size() - 2))))
                    return addVariable(std::make_unique<ScalarVariable>(*vector, k));
        return Geometry::getVariable(name, mustExist);
    }
};

class LoadSurfaceTest : public ScratchLocatorTest {
protected:
    static constexpr int kCells = 4;     // of the box, per side
    static constexpr int kDeckCells = 8; // of the load file, per side

    void SetUp() override {
        ScratchLocatorTest::SetUp();
        VariableLibrary::load();
        server = std::make_unique<ExpressionServer>();
        FunctionCalculator::instance(false);
        box = addDomain(makeHexBox("Box", kCells, kCells, kCells));
        addBottom();
        setVector("Force", kDimsForce, [&](const TripletD& p, double a) { return wallStress(p) * a; });
        setScalar("Heat Flux", kDimsHeatFlux, [](const TripletD& p, double) { return 1000.0 * (1.0 + p.x); });
        setScalar("Heat Flow", kDimsPower, [](const TripletD& p, double a) { return 1000.0 * (1.0 + p.x) * a; });
        setScalar("Temperature", kDimsTemperature,
                  [](const TripletD& p, double) { return 300.0 + 10.0 * p.x + 5.0 * p.y; });
        setScalar("Wall Heat Transfer Coefficient", kDimsHTC,
                  [](const TripletD& p, double) { return 10.0 + 5.0 * p.y; });
        setScalar("Wall Adjacent Temperature", kDimsTemperature, [](const TripletD& p, double) { return 290.0 + p.x; });
        server->resetVariableUpdateFlags();
        const GridDeck deck = gridDeck(kDeckCells, 0.0, 1000.0);
        deckFile = writeFile("bottom.cdb", deckText({"ET,1,154"}, deck.nodes, deck.elements));
    }
    void TearDown() override {
        server.reset();
        ScratchLocatorTest::TearDown();
    }

    // The z = 0 side of the box as the boundary "Bottom": vertex i is mesh node i.
    void addBottom() {
        auto geometry = std::make_unique<TestBoundary>();
        geometry->setName("Bottom");
        geometry->setDomain("Box");
        const int n = kCells + 1;
        TripletZELVector points;
        auto interpolant = std::make_unique<VertexInterpolant>("Box");
        for (int i = 0; i < n * n; ++i) {
            points.push_back(box->getVertices()[std::size_t(i)]);
            interpolant->pushVertex(i);
        }
        geometry->setVertices(std::move(points));
        ShapeSet* quads = geometry->addFaceSet("Bottom:quads", ShapeType::Quadrilateral, 0);
        for (int j = 0; j < kCells; ++j)
            for (int i = 0; i < kCells; ++i) {
                const int a = i + n * j;
                quads->addElement(std::vector<int>{a, a + n, a + n + 1, a + 1}); // outward: -z
            }
        geometry->setInterpolant(std::move(interpolant));
        bottom = addTyped<GeometricOKLObject>("BOUNDARY", "Bottom", {{"Domain List", "Box"}});
        bottom->setGeometry("Box", std::move(geometry));
    }
    Geometry& bottomGeometry() const { return *bottom->getGeometry("Box"); }

    // A boundary variable f(position, vertex area) held by the bottom geometry, with its
    // object (replaced when it exists).
    using Field = std::function<double(const TripletD&, double)>;
    void setScalar(const std::string& name, const char* dims, const Field& f) {
        auto v = std::make_unique<ScalarVariable>(VarTypeHybrid);
        forVertices([&](const TripletD& p, double a) { v->values().push_back(float(f(p, a))); });
        hold(std::move(v), "SCALAR VARIABLE", name, dims);
    }
    void setVector(const std::string& name, const char* dims,
                   const std::function<TripletD(const TripletD&, double)>& f) {
        auto v = std::make_unique<VectorVariable>(VarTypeHybrid);
        forVertices([&](const TripletD& p, double a) { v->values().push_back(TripletF(f(p, a))); });
        hold(std::move(v), "VECTOR VARIABLE", name, dims);
    }
    void forVertices(const std::function<void(const TripletD&, double)>& visit) {
        const Geometry& g = bottomGeometry();
        for (int i = 0; i < g.getNumVertices(); ++i)
            visit(TripletD(g.getVertices()[std::size_t(i)]), g.getVertexAreas()[std::size_t(i)]);
    }
    void hold(std::unique_ptr<Variable> v, const std::string& type, const std::string& name, const char* dims) {
        v->setName(name);
        v->setDomain("Box");
        // Values made from a replaced variable (expressions of it) are made again.
        Geometry& g = bottomGeometry();
        for (const std::string& held : g.getVariableNames())
            if (held != name && held.find(name) != std::string::npos) g.removeVariable(held);
        g.addVariable(std::move(v));
        if (!ObjectDB::instance()->hasObject(name))
            addObject(type, name, {{"Boundary Values", "Hybrid"}, {"Variable Dimensions", dims}});
    }

    // The load surface "S" of the bottom's load file, in millimetres, projected onto "Bottom"
    // unless `associated` is false.
    GeometricOKLObject* loadSurface(bool associated = true, const std::string& name = "S") {
        auto* s = addTyped<GeometricOKLObject>("USER SURFACE", name,
                                               {{"Option", "NORVA"},
                                                {"Input File", deckFile},
                                                {"File Units", "mm"},
                                                {"Use Mid Side Nodes", "True"},
                                                {"Associated Boundary Specified", associated ? "True" : "False"},
                                                {"Associated Boundary", "Bottom"}});
        run(*s);
        server->resetVariableUpdateFlags(); // the surface declared its load variables
        return s;
    }
    static NorvaGeometryReader& readerOf(GeometricOKLObject& surface) {
        auto* external = dynamic_cast<ExternalGeometry*>(surface.getGeometry(""));
        EXPECT_NE(external, nullptr);
        auto* reader = dynamic_cast<NorvaGeometryReader*>(external->getFileReader());
        EXPECT_NE(reader, nullptr);
        return *reader;
    }
    // The surface's variable `name` (vertex values of its one geometry).
    static const FloatZELVector& scalarOn(GeometricOKLObject& surface, const std::string& name) {
        Variable* v = surface.getVariable(name, "");
        EXPECT_NE(v, nullptr) << name;
        static const FloatZELVector none;
        return v != nullptr && v->getFloatValues() != nullptr ? *v->getFloatValues() : none;
    }
    static const TripletZELVector& vectorOn(GeometricOKLObject& surface, const std::string& name) {
        Variable* v = surface.getVariable(name, "");
        EXPECT_NE(v, nullptr) << name;
        static const TripletZELVector none;
        return v != nullptr && v->getTripletValues() != nullptr ? *v->getTripletValues() : none;
    }
    // Σ over the vertices of a geometry's variable.
    static TripletD sumOf(const TripletZELVector& values) {
        TripletD s(0, 0, 0);
        for (const TripletF& v : values) s += TripletD(v);
        return s;
    }

    DomainGeometryBase* box = nullptr;
    GeometricOKLObject* bottom = nullptr;
    std::unique_ptr<ExpressionServer> server;
    std::string deckFile;
};

} // namespace zel::test
