#pragma once
// Host doubles shared by the test folders: a storage whose solver variables are analytic
// fields of the vertex position, a definition store as a host makes one, and box meshes.
#include "datastorage/DataStorageBase.h"
#include "domain/DomainGeometryBase.h"
#include "expressions/VariableDefStoreBase.h"
#include "framework/geometry/Variable.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace zel::test {

// A variable `name` of `domain` (ScalarVariable or VectorVariable, conservative) holding f
// at each of the vertices, as a storage reads a solver variable. f takes the position as P
// (TripletF or TripletD); `extra` values more repeat the last vertex's (a reader that makes
// too many).
template <typename VariableT, typename R, typename P>
std::unique_ptr<VariableT> sampleAtVertices(const std::string& name, const std::string& domain,
                                            const TripletZELVector& vertices, const std::function<R(const P&)>& f,
                                            std::size_t extra = 0) {
    auto variable = std::make_unique<VariableT>(VarTypeConservative);
    auto& values = variable->values();
    using Value = std::remove_reference_t<decltype(values[0])>;
    values.resize(vertices.size() + extra);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<Value>(f(P(vertices[std::min(i, vertices.size() - 1)])));
    variable->setName(name);
    variable->setDomain(domain);
    return variable;
}

// A storage whose solver holds the scalar fields given to it, read at the vertices of the
// domain mesh when first asked for.
class FieldStorage : public DataStorageBase {
public:
    using ScalarField = std::function<double(const TripletD&)>;

    explicit FieldStorage(std::vector<std::string> phaseNames = {"Water"}) : phases(std::move(phaseNames)) {}
    ~FieldStorage() override { deleteAllVariables(); }

    std::vector<std::string> getFluidNames() override { return phases; }
    std::vector<std::string> getAllPhases() override { return phases; }
    // The fluids that per-phase variables are made of (none unless a test gives them).
    std::vector<std::string> getPhases(int, const std::string&) override { return multiphase; }

    std::vector<std::string> phases;
    std::vector<std::string> multiphase;
    std::map<std::string, ScalarField> fields; // solver variables by name

protected:
    Variable* makeExternalVariable(const std::string& name, const std::string& domain, bool&) override {
        const auto field = fields.find(name);
        if (field == fields.end()) return nullptr;
        return sampleAtVertices<ScalarVariable>(name, domain, getGeometry(domain)->getVertices(), field->second)
            .release();
    }
};

// The definition store a host makes: the built-in operator words are its suffixes, unless
// a test switches them off.
class HostDefStore : public VariableDefStoreBase {
public:
    const std::vector<std::pair<std::string, std::string>>& getVariableSuffixes() override {
        return withOperators ? getOperatorTable() : VariableDefStoreBase::getVariableSuffixes();
    }
    // What a concrete store does once it brought its own lists up to date.
    void markUpToDate() { setUpdateFlag(false); }
    bool withOperators = true;
};

// nx × ny × nz hexahedra over [lo, hi] in one element set "hexes", as the domain geometry
// `name`; `shear` adds shear·y to x. Vertex (i, j, k) is i + (nx+1)·(j + (ny+1)·k).
inline std::unique_ptr<DomainGeometryBase> makeHexBox(const std::string& name, int nx, int ny, int nz,
                                                      TripletF lo = {0, 0, 0}, TripletF hi = {1, 1, 1},
                                                      float shear = 0.0f) {
    auto domain = std::make_unique<DomainGeometryBase>();
    domain->setName(name);
    domain->setDomain(name);
    TripletZELVector vertices;
    vertices.reserve(std::size_t(nx + 1) * std::size_t(ny + 1) * std::size_t(nz + 1));
    for (int k = 0; k <= nz; ++k)
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i) {
                const float x = lo.x + (hi.x - lo.x) * float(i) / float(nx);
                const float y = lo.y + (hi.y - lo.y) * float(j) / float(ny);
                const float z = lo.z + (hi.z - lo.z) * float(k) / float(nz);
                vertices.push_back({x + shear * y, y, z});
            }
    domain->setVertices(std::move(vertices));
    ShapeSet* hexes = domain->addFaceSet("hexes", ShapeType::Hexahedron, nx * ny * nz);
    std::vector<int>& conn = hexes->editConnectivity();
    auto id = [&](int i, int j, int k) { return i + (nx + 1) * (j + (ny + 1) * k); };
    std::size_t c = 0;
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                const int n[8] = {id(i, j, k),     id(i + 1, j, k),     id(i + 1, j + 1, k),     id(i, j + 1, k),
                                  id(i, j, k + 1), id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)};
                for (int m = 0; m < 8; ++m) conn[c++] = n[m];
            }
    return domain;
}

} // namespace zel::test
