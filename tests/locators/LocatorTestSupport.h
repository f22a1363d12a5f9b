#pragma once
// Test doubles of the locator tests: boxes of tetrahedra (boxes of hexahedra and the storage
// of analytic fields are shared, tests/support), and a fixture that registers the storage, a
// definition store and the calc functions, and clears the database, the reporter and the
// viewer.
#include "datastorage/DataStorageBase.h"
#include "domain/DomainGeometryBase.h"
#include "expressions/VariableDefStoreBase.h"
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/Reporter.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/Interpolant.h"
#include "framework/geometry/Variable.h"
#include "framework/geometry/Visitor.h"
#include "framework/okl/CalcBase.h"
#include "framework/okl/GeometricOKLObject.h"
#include "framework/okl/ObjectDB.h"
#include "framework/viewer/ViewerInterface.h"
#include "locators/LocatorRegistration.h"
#include "tests/support/DatabaseSupport.h"
#include "tests/support/ErrorChecks.h"
#include "tests/support/StorageSupport.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace zel::test {

// The linear field of the benchmark figures: f = 1 + 2x + 3y - z.
inline double benchField(const TripletD& p) { return 1.0 + 2.0 * p.x + 3.0 * p.y - p.z; }

// n³ cubes over [lo, hi], each split into six tetrahedra along its main diagonal (the same
// split in every cube, so the faces match), in one set "tets".
inline std::unique_ptr<DomainGeometryBase> makeTetBox(const std::string& name, int n, TripletF lo = {0, 0, 0},
                                                      TripletF hi = {1, 1, 1}) {
    auto domain = makeHexBox(name, n, n, n, lo, hi);
    const TripletZELVector& v = domain->getVertices();
    std::vector<int> tets;
    auto id = [&](int i, int j, int k) { return i + (n + 1) * (j + (n + 1) * k); };
    const int perms[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i)
                for (const auto& p : perms) {
                    int at[3] = {i, j, k};
                    int t[4];
                    t[0] = id(at[0], at[1], at[2]);
                    for (int s = 0; s < 3; ++s) {
                        ++at[p[s]];
                        t[s + 1] = id(at[0], at[1], at[2]);
                    }
                    // VTK orientation: 0-1-2 counter-clockwise seen from 3.
                    const TripletF a = v[std::size_t(t[1])] - v[std::size_t(t[0])];
                    const TripletF b = v[std::size_t(t[2])] - v[std::size_t(t[0])];
                    const TripletF c = v[std::size_t(t[3])] - v[std::size_t(t[0])];
                    if (a.cross(b).dot(c) < 0.0f) std::swap(t[1], t[2]);
                    tets.insert(tets.end(), t, t + 4);
                }
    domain->removeFaceSet("hexes");
    ShapeSet* set = domain->addFaceSet("tets", ShapeType::Tetrahedron, static_cast<int>(tets.size() / 4));
    set->editConnectivity() = std::move(tets);
    return domain;
}

// The side of a box of n³ hexahedra (makeHexBox) where coordinate `axis` is at its minimum
// (side 0) or maximum (side 1): its faces, outward, in one set, with a vertex interpolant onto
// the box's nodes; vertices are numbered as the faces first use them.
inline std::unique_ptr<Geometry> makeBoxSide(const DomainGeometryBase& box, int n, int axis, int side,
                                             const std::string& name, const std::string& faceSet) {
    auto geometry = std::make_unique<Geometry>();
    geometry->setName(name);
    geometry->setDomain(box.getName());
    auto interpolant = std::make_unique<VertexInterpolant>(box.getName());
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    std::map<int, int> local;
    TripletZELVector vertices;
    auto vertex = [&](int iu, int iv) {
        int at[3];
        at[axis] = side * n;
        at[u] = iu;
        at[v] = iv;
        const int node = at[0] + (n + 1) * (at[1] + (n + 1) * at[2]);
        auto [it, added] = local.try_emplace(node, static_cast<int>(vertices.size()));
        if (added) {
            vertices.push_back(box.getVertices()[std::size_t(node)]);
            interpolant->pushVertex(node);
        }
        return it->second;
    };
    std::vector<int> quads;
    for (int iu = 0; iu < n; ++iu)
        for (int iv = 0; iv < n; ++iv) {
            // (u, v) counter-clockwise faces +axis; the minimum side faces -axis.
            int q[4] = {vertex(iu, iv), vertex(iu + 1, iv), vertex(iu + 1, iv + 1), vertex(iu, iv + 1)};
            if (side == 0) std::swap(q[1], q[3]);
            quads.insert(quads.end(), q, q + 4);
        }
    geometry->setVertices(std::move(vertices));
    geometry->addFaceSet(faceSet, ShapeType::Quadrilateral, n * n)->editConnectivity() = std::move(quads);
    geometry->setInterpolant(std::move(interpolant));
    return geometry;
}

class LocatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ObjectDB::instance()->clear();
        ErrorProgressReporter::instance()->clear();
        ViewerInterface::instance()->clear();
        CalcRegistry::instance()->clear();
        storage = std::make_unique<FieldStorage>();
        storage->registerInstance(storage.get());
        defs = std::make_unique<VariableDefStoreBase>();
        VariableDefStoreBase::registerInstance(defs.get());
        registerLocatorCalcFuncs();
    }
    void TearDown() override {
        ObjectDB::instance()->clear();
        CalcRegistry::instance()->clear();
        defs.reset();
        storage.reset();
        ErrorProgressReporter::instance()->clear();
        ViewerInterface::instance()->clear();
    }

    // Registers a domain mesh and its "DOMAIN" object.
    DomainGeometryBase* addDomain(std::unique_ptr<DomainGeometryBase> domain) {
        DomainGeometryBase* raw = domain.get();
        const std::string name = domain->getName();
        storage->setGeometry(domain.release());
        addObject("DOMAIN", name);
        return raw;
    }
    // A solver variable: its object and its values.
    void addField(const std::string& name, FieldStorage::ScalarField field) {
        storage->fields[name] = std::move(field);
        addObject("SCALAR VARIABLE", name, {{"Boundary Values", "Conservative"}});
    }
    template <typename T>
    static T* addTyped(const std::string& type, const std::string& name,
                       const std::vector<std::pair<std::string, std::string>>& params = {}) {
        auto* object = dynamic_cast<T*>(addObject(type, name, params));
        EXPECT_NE(object, nullptr);
        return object;
    }
    // Runs the calc function registered for the object's type.
    static void run(OKLObject& object, const std::string& action = "top") {
        ASSERT_TRUE(CalcRegistry::instance()->run(object, action));
    }
    // The object, after its calc function ran.
    template <typename T> static T* built(T* object) {
        run(*object);
        return object;
    }

    // Σ area·value / Σ area over the object's geometries, and Σ area; likewise for lengths.
    template <typename V> static V visited(GeometricOKLObject& object, const std::string& variable = "") {
        V visitor(variable);
        object.acceptVisitor(visitor);
        return visitor;
    }
    static double areaAve(GeometricOKLObject& o, const std::string& v) {
        return visited<AreaVisitor>(o, v).getAverage();
    }
    static double area(GeometricOKLObject& o) { return visited<AreaVisitor>(o).getTotalWeight(); }
    static double lengthAve(GeometricOKLObject& o, const std::string& v) {
        return visited<LengthVisitor>(o, v).getAverage();
    }
    static double length(GeometricOKLObject& o) { return visited<LengthVisitor>(o).getTotalWeight(); }

    static const std::vector<ErrorProgressReporter::Report>& reports() {
        return ErrorProgressReporter::instance()->getReports();
    }
    static std::string lastReport() { return reports().empty() ? std::string("(none)") : reports().back().toString(); }
    // The last report, checked to be the only one since `before`.
    static const ErrorProgressReporter::Report& onlyReportSince(std::size_t before) {
        EXPECT_EQ(reports().size(), before + 1) << lastReport();
        return ErrorProgressReporter::instance()->last();
    }
    // The object `name`, checked to be of `type` and to hold these parameter values; null (and
    // a failure) when there is none.
    static OKLObject* expectObject(const std::string& name, const std::string& type,
                                   const std::vector<std::pair<std::string, std::string>>& values) {
        OKLObject* object = ObjectDB::instance()->getObjectByName(name);
        if (object == nullptr) {
            ADD_FAILURE() << "no object " << name;
            return nullptr;
        }
        EXPECT_EQ(object->getType(), type) << name;
        for (const auto& [param, value] : values) EXPECT_EQ(object->getValue(param), value) << name << ": " << param;
        return object;
    }
    // The geometries the viewer was told to delete one by one (not all of an object at once).
    static std::vector<std::string> deletedGeometries() {
        std::vector<std::string> deleted;
        for (const ViewerEvent& e : ViewerInterface::instance()->getHistory())
            if (e.kind == ViewerEvent::Delete && e.geometryName != ViewerInterface::AllGeometries)
                deleted.push_back(e.geometryName);
        return deleted;
    }

    std::unique_ptr<FieldStorage> storage;
    std::unique_ptr<VariableDefStoreBase> defs;
};

} // namespace zel::test
