#include "framework/core/Error.h"
#include "framework/units/Units.h"

#include <gtest/gtest.h>

using namespace zel;

namespace {

struct UnitSystemFixture : ::testing::Test {
    void SetUp() override { EngineUnitSystemHandler::instance()->resetToDefaults(); }
    void TearDown() override { EngineUnitSystemHandler::instance()->resetToDefaults(); }
    EngineUnitSystemHandler& h = *EngineUnitSystemHandler::instance();
};

} // namespace

TEST_F(UnitSystemFixture, SIDefaultsAndHostSettings) {
    EXPECT_EQ(h.getPreferredUnitFor("Pressure"), "Pa");
    EXPECT_EQ(h.getPreferredUnitFor("Temperature"), "K");
    EXPECT_EQ(h.getPreferredUnitFor("Length"), "m");
    EXPECT_EQ(h.getPreferredUnitFor("Nonsense"), "");
    EXPECT_EQ(h.getPreferredUnitFor(UnitDimensions(1, 1, -2)), "N");
    EXPECT_EQ(h.getPreferredUnitFor(UnitDimensions(1, 5, 0)), "kg m^5"); // no quantity: base units

    h.setPreferredUnitFor("Pressure", "psi");
    h.setPreferredUnitFor("temperature", "F"); // quantity names in any case
    EXPECT_EQ(h.getPreferredUnitFor("Pressure"), "psi");
    EXPECT_EQ(h.getPreferredUnitFor("Temperature"), "F");
    EXPECT_EQ(h.getPreferredUnitFor("TEMPERATURE"), "F");
    EXPECT_THROW(h.setPreferredUnitFor("Pressure", "m"), data::invalid);
    EXPECT_THROW(h.setPreferredUnitFor("Pressure", "furlong"), data::invalid);
    EXPECT_THROW(h.setPreferredUnitFor("Happiness", "m"), data::notFound);
    h.setPreferredUnitFor("Pressure", ""); // back to the default
    EXPECT_EQ(h.getPreferredUnitFor("Pressure"), "Pa");
}

TEST_F(UnitSystemFixture, QuantityTypeTieRule) {
    EXPECT_EQ(h.getQuantityTypeFromUnits("K"), "Temperature");
    EXPECT_EQ(h.getQuantityTypeFromUnits("C"), "Temperature");
    EXPECT_EQ(h.getQuantityTypeFromUnits("kg m^-1 s^-2"), "Pressure"); // before "Stress"
    EXPECT_EQ(h.getQuantityTypeFromUnits("N m"), "Energy");            // before "Torque"
    EXPECT_EQ(h.getQuantityTypeFromUnits("kg m s^-2"), "Force");       // before "Momentum Flow"
    EXPECT_EQ(h.getQuantityTypeFromUnits("W m^-2"), "Heat Flux");
    EXPECT_EQ(h.getQuantityTypeFromUnits(""), "Dimensionless");
    EXPECT_EQ(h.getQuantityTypeFromUnits(" m^2"), "Area");
    EXPECT_EQ(h.getQuantityTypeFromUnits("kg m^7"), "");
    EXPECT_THROW(h.getQuantityTypeFromUnits("m^x"), data::invalid);
}

TEST_F(UnitSystemFixture, ConvertsToPreferredUnits) {
    // SI: base units become the named SI unit of the quantity.
    Quantity q = h.convertToUserUnits(Quantity(3.0f, "kg m s^-2"));
    EXPECT_FLOAT_EQ(q.getValue(), 3.0f);
    EXPECT_EQ(q.getUnits(), "N");

    h.setPreferredUnitFor("Pressure", "bar");
    q = h.convertToUserUnits(Quantity(2e5f, "kg m^-1 s^-2"));
    EXPECT_FLOAT_EQ(q.getValue(), 2.0f);
    EXPECT_EQ(q.getUnits(), "bar");

    h.setPreferredUnitFor("Temperature", "C");
    q = h.convertToUserUnits(Quantity(300.0f, "K"));
    EXPECT_NEAR(q.getValue(), 26.85f, 1e-4f);
    EXPECT_EQ(q.getUnits(), "C");

    // An explicit quantity type decides between quantities of equal dimensions.
    h.setPreferredUnitFor("Torque", "lbf ft");
    float v = 1.0f;
    std::string units("kg m^2 s^-2");
    h.convertToUserUnits(v, units, "Torque");
    EXPECT_EQ(units, "lbf ft");
    EXPECT_NEAR(v, 1.0 / (4.4482216152605 * 0.3048), 1e-6);
    float w = 1.0f;
    std::string energyUnits("kg m^2 s^-2");
    h.convertToUserUnits(w, energyUnits, "");
    EXPECT_EQ(energyUnits, "J");
    // A quantity type that does not fit the units is ignored.
    double d = 2.0;
    std::string lengthUnits("m");
    h.convertToUserUnits(d, lengthUnits, "Torque");
    EXPECT_EQ(lengthUnits, "m");
    EXPECT_EQ(d, 2.0);

    // Undefined and unknown quantities are left as they are.
    EXPECT_TRUE(h.convertToUserUnits(Quantity()).isUndefined());
    EXPECT_EQ(h.convertToUserUnits(Quantity()).getUnits(), "");
    q = h.convertToUserUnits(Quantity(4.0f, "kg m^7"));
    EXPECT_EQ(q.getUnits(), "kg m^7");
    EXPECT_EQ(q.getValue(), 4.0f);
    float undefinedValue = UNDEFINED_VALUE;
    std::string pressureUnits("Pa");
    h.convertToUserUnits(undefinedValue, pressureUnits, "");
    EXPECT_EQ(undefinedValue, UNDEFINED_VALUE);
    EXPECT_EQ(pressureUnits, "Pa");
}
