// The built-in variable library: it reads, it defines what a CFD user meets with quantities
// the units library knows, its constants mean what they say, and it loads once.
#include "ExprServerTestSupport.h"

#include "expressions/ExpressionServer.h"
#include "expressions/VariableDefs.h"
#include "expressions/library/VariableLibrary.h"
#include "framework/expressions/ExpressionEvaluator.h"
#include "framework/okl/OKLAPI.h"
#include "framework/okl/OKLCoreAPI.h"
#include "framework/units/UnitsConverter.h"

#include <cmath>
#include <set>

namespace zel::exprtest {
namespace {

class LibraryTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        VariableLibrary::load();
    }
};

TEST(VariableLibraryText, PiecesFitEveryCompilerAndJoinToTheText) {
    std::string joined;
    for (std::string_view piece : VariableLibrary::pieces()) {
        EXPECT_LT(piece.size(), VariableLibrary::kMaxPieceBytes);
        EXPECT_EQ(piece.back(), '\n'); // pieces end at a line end
        joined += piece;
    }
    EXPECT_EQ(joined, VariableLibrary::text());
}

TEST_F(LibraryTest, LoadsCleanlyAndDefinesTheVariablesOfACfdUserWithTheirQuantities) {
    EXPECT_TRUE(reports().empty());
    EXPECT_EQ(ObjectDB::instance()->getObjectByPath("/LIBRARY"), nullptr); // the branch is removed
    EXPECT_GE(store.getDefinitions().size(), 40u);
    EXPECT_EQ(store.findDefinition("Strain Rate"), nullptr); // a symmetric tensor: not offered
    struct Expected {
        const char* longName;
        const char* quantity;
        bool vector;
    };
    const Expected expected[] = {
        {"Pressure", "Pressure", false},
        {"Absolute Pressure", "Pressure", false},
        {"Total Pressure", "Pressure", false},
        {"Velocity", "Velocity", true},
        {"Temperature", "Temperature", false},
        {"Total Temperature", "Temperature", false},
        {"Density", "Density", false},
        {"Dynamic Viscosity", "Dynamic Viscosity", false},
        {"Wall Shear", "Shear Stress", true},
        {"Wall Heat Flux", "Heat Flux", false},
        {"Heat Flux", "Heat Flux", false},
        {"Wall Heat Transfer Coefficient", "Heat Transfer Coefficient", false},
        {"Wall Adjacent Temperature", "Temperature", false},
        {"Volume Fraction", "Dimensionless", false},
        {"Turbulence Kinetic Energy", "Turbulence Kinetic Energy", false},
        {"Turbulence Eddy Dissipation", "Turbulence Eddy Dissipation", false},
        {"Turbulence Eddy Frequency", "Turbulence Eddy Frequency", false},
        {"Force", "Force", true},
        {"Mass Flow", "Mass Flow", false},
        {"momentum flow", "Momentum Flow", true},
        {"X Coordinate", "Length", false},
        {"Y Coordinate", "Length", false},
        {"Z Coordinate", "Length", false},
    };
    for (const Expected& e : expected) {
        const VariableDefStoreBase::Definition* def = store.findDefinition(e.longName);
        ASSERT_NE(def, nullptr) << e.longName;
        EXPECT_EQ(def->quantity, e.quantity) << e.longName;
        EXPECT_EQ(def->tensorType, e.vector ? VariableDefStoreBase::Vector : VariableDefStoreBase::Scalar)
            << e.longName;
    }
    // The aliases of the coordinates lead to the coordinate definitions.
    EXPECT_EQ(store.getVarLongName("X"), "X Coordinate");
    EXPECT_EQ(store.getVarDefData("Z", VariableDefStoreBase::DataQuantity), "Length");
    // Component names as the readers name the component variables.
    EXPECT_EQ(store.getVarComponentName("Velocity", 1), "Velocity Y");
    EXPECT_EQ(store.getVarComponentName("Water.Force", 2), "Water.Force Z");
    EXPECT_EQ(store.getVarLongName("u"), ""); // component short names are no definitions
    EXPECT_EQ(store.getVarLongName("Wall Shear X"), "Wall Shear");
}

TEST_F(LibraryTest, EveryDefinitionIsUsable) {
    const UnitsConverter& units = *UnitsConverter::instance();
    std::set<std::string> shortNames;
    for (const auto& [longName, def] : store.getDefinitions()) {
        EXPECT_TRUE(units.isKnownQuantity(def.quantity)) << longName << ": " << def.quantity;
        EXPECT_TRUE(ExpressionEvaluator::isValidGeniVariable(longName)) << longName;
        EXPECT_TRUE(ExpressionEvaluator::isValidGeniVariable(def.shortName)) << longName << ": " << def.shortName;
        EXPECT_TRUE(shortNames.insert(def.shortName).second) << "short name used twice: " << def.shortName;
        EXPECT_GE(def.userLevel, 1) << longName;
        EXPECT_LE(def.userLevel, 3) << longName;
        EXPECT_FALSE(def.description.empty()) << longName;
        // Short names leave the coordinate names of the language alone and do not hide a
        // constant or another definition.
        for (const char* coordinate : {"x", "y", "z", "r", "theta"}) EXPECT_NE(def.shortName, coordinate) << longName;
        EXPECT_EQ(store.getConstants().count(def.shortName), 0u) << longName;
        if (def.shortName != longName) {
            EXPECT_EQ(store.findDefinition(def.shortName), nullptr) << def.shortName;
        }
        if (def.tensorType == VariableDefStoreBase::Vector) {
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(def.componentLongNames[std::size_t(k)], longName + " " + char('X' + k)) << longName;
                EXPECT_FALSE(def.componentShortNames[std::size_t(k)].empty()) << longName;
            }
        }
        // The units of a name known only by its definition.
        EXPECT_EQ(store.getBaseUnits(longName, false), units.getBaseUnitsFromQuant(def.quantity)) << longName;
    }
    EXPECT_EQ(store.getBaseUnits("Wall Heat Transfer Coefficient", false), "kg s^-3 K^-1");
    EXPECT_EQ(store.getBaseUnits("tauw", false), "kg m^-1 s^-2");
}

TEST_F(LibraryTest, ConstantsHaveTheirValuesAndUnits) {
    struct Expected {
        const char* name;
        double value; // in base SI units
        const char* units;
    };
    const Expected expected[] = {
        {"pi", 3.14159265358979, ""},
        {"e", 2.71828182845905, ""},
        {"g", 9.80665, "m s^-2"},
        {"c", 299792458.0, "m s^-1"},
        {"R", 8.314462618, "kg m^2 s^-2 K^-1 mol^-1"},
        {"Avogadro", 6.02214076e23, "mol^-1"},
        {"Boltzmann", 1.380649e-23, "kg m^2 s^-2 K^-1"},
        {"Planck", 6.62607015e-34, "kg m^2 s^-1"},
        {"Stefan Boltzmann", 5.670374419e-8, "kg s^-3 K^-4"},
        {"Standard Atmosphere", 101325.0, "kg m^-1 s^-2"},
    };
    EXPECT_EQ(store.getConstants().size(), std::size(expected));
    ExpressionServer server; // the names reach the language through the server
    for (const Expected& e : expected) {
        ASSERT_EQ(store.getConstants().count(e.name), 1u) << e.name;
        EXPECT_TRUE(ExpressionEvaluator::isValidGeniVariable(e.name)) << e.name;
        const Quantity q = ExpressionEvaluator::evalSingleValue(e.name, "");
        // Single precision: the values are kept as float.
        EXPECT_NEAR(q.getValue(), e.value, std::abs(e.value) * 1e-6) << e.name;
        EXPECT_EQ(q.getUnits(), e.units) << e.name;
    }
}

TEST_F(LibraryTest, LoadingTwiceFailsAndKeepsTheSecondCopy) {
    expectError<data::duplicate>([] { VariableLibrary::load(); },
                                 {.className = "VariableDefStoreBase",
                                  .operation = "addScalarVarDef",
                                  .message = "Variable Declaration 'Pressure' already exists."});
    EXPECT_NE(ObjectDB::instance()->getObjectByPath("/LIBRARY"), nullptr);
}

} // namespace
} // namespace zel::exprtest
