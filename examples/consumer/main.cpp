// A host program over the installed libZELGeomDataAccess: its own storage and definition
// store, a generated mesh, a slice plane, and the area average of a field on it through the
// calculator and through the C entry point (area_ave.c).
//
// The field p = 1 + 2x + 3y - z on the unit cube, cut by a plane through the centre: the
// section is symmetric about the centre, so the area average of a linear field is its value
// there, 3 Pa, and trilinear interpolation reproduces a linear field exactly.
#include "calculator/FunctionCalculator.h"
#include "datastorage/DataStorageBase.h"
#include "domain/DomainGeometryBase.h"
#include "expressions/VariableDefStoreBase.h"
#include "framework/core/Reporter.h"
#include "framework/geometry/Variable.h"
#include "framework/okl/CalcBase.h"
#include "framework/okl/OKLCoreAPI.h"
#include "framework/okl/ObjectDB.h"
#include "locators/LocatorRegistration.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

extern "C" bool areaAveFromC(const char* variable, const char* location, float* value, char* units, int unitsSize);

namespace {

double pressure(const zel::TripletF& at) { return 1.0 + 2.0 * at.x + 3.0 * at.y - at.z; }

// The solver side of the host: "Pressure" at the vertices of each domain, made when the
// registry first asks for it.
class FieldStorage : public zel::DataStorageBase {
public:
    ~FieldStorage() override { deleteAllVariables(); }
    std::vector<std::string> getFluidNames() override { return {"Water"}; }
    std::vector<std::string> getAllPhases() override { return {"Water"}; }

protected:
    zel::Variable* makeExternalVariable(const std::string& name, const std::string& domain, bool&) override {
        if (name != "Pressure") return nullptr;
        const zel::TripletZELVector& vertices = getGeometry(domain)->getVertices();
        auto variable = std::make_unique<zel::ScalarVariable>(zel::VarTypeConservative);
        variable->values().resize(vertices.size());
        for (std::size_t i = 0; i < vertices.size(); ++i) variable->values()[i] = float(pressure(vertices[i]));
        variable->setName(name);
        variable->setDomain(domain);
        return variable.release(); // the registry owns it
    }
};

// The expression language's operator words are the library's own table.
class DefStore : public zel::VariableDefStoreBase {
public:
    const std::vector<std::pair<std::string, std::string>>& getVariableSuffixes() override {
        return getOperatorTable();
    }
};

// n³ hexahedra over the unit cube as the domain "Box"; vertex (i, j, k) is i + (n+1)(j + (n+1)k).
std::unique_ptr<zel::DomainGeometryBase> makeBox(int n) {
    auto box = std::make_unique<zel::DomainGeometryBase>();
    box->setName("Box");
    box->setDomain("Box");
    zel::TripletZELVector vertices;
    for (int k = 0; k <= n; ++k)
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i)
                vertices.push_back({float(i) / float(n), float(j) / float(n), float(k) / float(n)});
    box->setVertices(std::move(vertices));
    std::vector<int>& conn = box->addFaceSet("hexes", zel::ShapeType::Hexahedron, n * n * n)->editConnectivity();
    auto id = [n](int i, int j, int k) { return i + (n + 1) * (j + (n + 1) * k); };
    std::size_t c = 0;
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i)
                for (const int node :
                     {id(i, j, k), id(i + 1, j, k), id(i + 1, j + 1, k), id(i, j + 1, k), id(i, j, k + 1),
                      id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)})
                    conn[c++] = node;
    return box;
}

bool check(const char* how, float value, const std::string& units) {
    const bool ok = std::fabs(value - 3.0f) < 1e-5f && units == "kg m^-1 s^-2";
    std::printf("areaAve(Pressure)@Slice %-16s %.6f [%s]%s\n", how, double(value), units.c_str(),
                ok ? "" : "  expected 3 [kg m^-1 s^-2]");
    return ok;
}

} // namespace

int main() {
    // Bring-up order: storage and definition store (registered once), calculator, calc functions.
    auto storage = std::make_unique<FieldStorage>();
    storage->registerInstance(storage.get());
    auto defs = std::make_unique<DefStore>();
    zel::VariableDefStoreBase::registerInstance(defs.get());
    zel::FunctionCalculator* calculator = zel::FunctionCalculator::instance(false);
    zel::registerLocatorCalcFuncs();

    storage->setGeometry(makeBox(8).release()); // the registry owns it
    zel::OKLCoreAPI::instance()->processOKL("DOMAIN: Box\nEND\n"
                                            "SCALAR VARIABLE: Pressure\n"
                                            "  Boundary Values = Conservative\n"
                                            "  Variable Dimensions = 1, -1, -2, 0, 0, 0, 0, 0, 0, 0\n"
                                            "END\n"
                                            "PLANE: Slice\n"
                                            "  Option = Point and Normal\n"
                                            "  Point = 0.5, 0.5, 0.5 [m]\n"
                                            "  Normal = 1, 2, 2\n"
                                            "END\n");

    const zel::Quantity ave = calculator->evaluate("areaAve", {"Pressure", "Slice"});
    bool ok = check("(calculator)", ave.getValue(), ave.getUnits());
    float value = 0.0f;
    char units[64];
    ok = areaAveFromC("Pressure", "Slice", &value, units, sizeof units) && check("(C entry point)", value, units) && ok;
    if (!ok && zel::ErrorProgressReporter::instance()->count() > 0)
        std::fprintf(stderr, "%s\n", zel::ErrorProgressReporter::instance()->last().getMessage().c_str());

    // The database and the calc functions go before the storage whose geometry they use.
    zel::ObjectDB::instance()->clear();
    zel::CalcRegistry::instance()->clear();
    return ok ? 0 : 1;
}
