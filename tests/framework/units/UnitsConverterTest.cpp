#include "framework/core/Error.h"
#include "framework/units/Units.h"
#include "tests/support/ErrorChecks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace zel;

constexpr double kPi = std::numbers::pi;

namespace {

UnitsConverter& uc() { return *UnitsConverter::instance(); }

double conv(const std::string& from, const std::string& to, double v, bool difference = false) {
    double out = 0.0;
    EXPECT_TRUE(uc().convertUnits(from, to, v, out, difference));
    return out;
}

// Expects data::invalid whose message names the text.
void expectInvalidNaming(const std::string& units) {
    test::expectError<data::invalid>([&] { uc().dimsFromUnits(units); }, {.fragments = {"'" + units + "'"}});
}

} // namespace

TEST(UnitDimensions, ValuesArithmeticAndCommaString) {
    UnitDimensions d;
    EXPECT_TRUE(d.isDimensionless());
    EXPECT_EQ(d.commaString(), "0,0,0,0,0,0,0,0,0,0");
    d.setValue(UnitDimensions::Mass, 1);
    d.setValue(UnitDimensions::Length, 1);
    d.setValue(UnitDimensions::Time, -2);
    EXPECT_EQ(d.commaString(), "1,1,-2,0,0,0,0,0,0,0");
    EXPECT_EQ(d, UnitDimensions(1, 1, -2));
    EXPECT_EQ(d - UnitDimensions(0, 2, 0), UnitDimensions(1, -1, -2));
    EXPECT_EQ((d + UnitDimensions(0, 0, 0, -1)).commaString(), "1,1,-2,-1,0,0,0,0,0,0");
    EXPECT_EQ((UnitDimensions(0, 1, 0) * 0.5).commaString(), "0,0.5,0,0,0,0,0,0,0,0");
    EXPECT_EQ(UnitDimensions::fromCommaString(" 1, 1 ,-2,0,0,0,0,0,0,0"), d);
    EXPECT_EQ(UnitDimensions::fromCommaString("0,0.5"), UnitDimensions(0, 0.5, 0));
    EXPECT_THROW(UnitDimensions::fromCommaString("1,x"), data::invalid);
    EXPECT_THROW(UnitDimensions::fromCommaString("0,0,0,0,0,0,0,0,0,0,0"), data::invalid);
    EXPECT_THROW(d.setValue(10, 1), internal::badParam);
    EXPECT_THROW(d.getValue(-1), internal::badParam);
    d.clear();
    EXPECT_TRUE(d.isDimensionless());
    // Thirds added up are 1 within the tolerance.
    UnitDimensions third(0, 1.0 / 3.0, 0);
    EXPECT_EQ(third + third + third, UnitDimensions(0, 1, 0));
}

TEST(UnitsConverter, ParsesTheUnitTextsOfTheSystem) {
    struct Case {
        const char* text;
        const char* base;
        double scale;
    };
    const Case cases[] = {
        {"kg m^-3", "kg m^-3", 1},
        {"W m^-2 K^-1", "kg s^-3 K^-1", 1},
        {"m s^-1", "m s^-1", 1},
        {"N", "kg m s^-2", 1},
        {"Pa", "kg m^-1 s^-2", 1},
        {"kPa", "kg m^-1 s^-2", 1e3},
        {"MPa", "kg m^-1 s^-2", 1e6},
        {"bar", "kg m^-1 s^-2", 1e5},
        {"atm", "kg m^-1 s^-2", 101325},
        {"psi", "kg m^-1 s^-2", 6894.757293168361},
        {"mm", "m", 1e-3},
        {"cm", "m", 1e-2},
        {"km", "m", 1e3},
        {"in", "m", 0.0254},
        {"ft", "m", 0.3048},
        {"lbf", "kg m s^-2", 4.4482216152605},
        {"lb", "kg", 0.45359237},
        {"J kg^-1 K^-1", "m^2 s^-2 K^-1", 1},
        {"degree", "radian", kPi / 180},
        {"radian", "radian", 1},
        {"rev", "radian", 2 * kPi},
        {"s", "s", 1},
        {"min", "s", 60},
        {"h", "s", 3600},
        {"ms", "s", 1e-3},
        {"kg s^-1", "kg s^-1", 1},
        {"m^2", "m^2", 1},
        {"L", "m^3", 1e-3},
        {"W", "kg m^2 s^-3", 1},
        {"kW", "kg m^2 s^-3", 1e3},
        {"J", "kg m^2 s^-2", 1},
        {"Hz", "s^-1", 1},
        {"rad s^-1", "s^-1 radian", 1},
        {"rpm", "s^-1 radian", 2 * kPi / 60},
        {"Dimensionless", "", 1},
        {"", "", 1},
        {"  ", "", 1},
        {"cd", "cd", 1},   // candela, not centi-day
        {"mol", "mol", 1}, // not milli-"ol"
        {"hPa", "kg m^-1 s^-2", 100},
        {"g cm^-3", "kg m^-3", 1e3},
        {"kg/m^3", "kg m^-3", 1},
        {"W/m^2/K", "kg s^-3 K^-1", 1},
        {"J/(kg K)", "m^2 s^-2 K^-1", 1},
        {"N*m", "kg m^2 s^-2", 1},
        {"1/s", "s^-1", 1},
        {"m^0.5", "m^0.5", 1},
        {"m^(1/2) s^-0.5", "m^0.5 s^-0.5", 1},
        {"(m s^-1)^2", "m^2 s^-2", 1},
        {"kg m s^-2 m^-1", "kg s^-2", 1}, // repeated symbols, as a gradient suffix appends them
        {" kg m^2", "kg m^2", 1},         // integral units may start with a blank
        {"DEGREE", "radian", kPi / 180},
        {"mol kg^-1 A cd sr", "kg^-1 mol A cd sr", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const UnitInfo info = uc().parse(c.text);
        EXPECT_EQ(uc().getBaseUnitName(info.dims), c.base);
        EXPECT_NEAR(info.scale, c.scale, 1e-12 * c.scale);
        // The canonical name parses back to the same dimensions with scale 1.
        const UnitInfo back = uc().parse(c.base);
        EXPECT_EQ(back.dims, info.dims);
        EXPECT_DOUBLE_EQ(back.scale, 1.0);
    }
    EXPECT_EQ(uc().dimsStringFromUnits("N"), "1,1,-2,0,0,0,0,0,0,0");
    EXPECT_EQ(uc().dimsFromUnits("K").getValue(UnitDimensions::Temperature), 1.0);
    EXPECT_EQ(uc().getBaseUnitsOf("kPa"), "kg m^-1 s^-2");
    UnitDimensions reserved;
    reserved.setValue(UnitDimensions::Reserved, 1);
    EXPECT_THROW(uc().getBaseUnitName(reserved), data::invalid);
}

TEST(UnitsConverter, BadTextsAreErrorsNamingTheText) {
    for (const char* bad : {"kg m^", "furlong", "m^x", "m^", "kg^-", "(m", "m)", "m s^-1 /", "/ s", "m * * s", "2 m",
                            "m^(1/0)", "m2", "KG", "m^ 2", "()", "m^--1"}) {
        SCOPED_TRACE(bad);
        expectInvalidNaming(bad);
        EXPECT_FALSE(uc().isValidUnit(bad));
    }
    // The same bad text fails again (failures are not cached as dimensionless).
    expectInvalidNaming("furlong");
    test::expectError<data::invalid>([] { uc().parse("kg m^"); },
                                     {.className = "UnitsConverter",
                                      .operation = "parse",
                                      .message = "Invalid unit text 'kg m^': missing exponent after '^'."});
    test::expectError<data::invalid>([] { uc().parse("furlong"); },
                                     {.className = "UnitsConverter",
                                      .operation = "parse",
                                      .message = "Invalid unit text 'furlong': unknown unit 'furlong'."});
}

TEST(UnitsConverter, ConvertsScalesAndTemperatureOffsets) {
    EXPECT_NEAR(conv("C", "K", 0), 273.15, 1e-12);
    EXPECT_NEAR(conv("F", "K", 32), 273.15, 1e-12);
    EXPECT_NEAR(conv("F", "C", 212), 100, 1e-12);
    EXPECT_NEAR(conv("K", "R", 300), 540, 1e-12);
    EXPECT_NEAR(conv("C", "R", 0), 491.67, 1e-12);
    EXPECT_NEAR(conv("K", "F", 0), -459.67, 1e-12);
    // Differences and compound units ignore offsets.
    EXPECT_NEAR(conv("C", "K", 10, true), 10, 1e-12);
    EXPECT_NEAR(conv("F", "K", 9, true), 5, 1e-12);
    EXPECT_NEAR(conv("W m^-2 C^-1", "W m^-2 K^-1", 5), 5, 1e-12);
    EXPECT_NEAR(conv("J kg^-1 F^-1", "J kg^-1 K^-1", 1), 1.8, 1e-12);
    EXPECT_NEAR(conv("C^2", "K^2", 1), 1, 1e-12);
    // Scales: each unit's scale is checked by the parse table; these check the ratio of two.
    EXPECT_NEAR(conv("mm", "m", 1500), 1.5, 1e-12);
    EXPECT_NEAR(conv("MPa", "kPa", 1), 1000, 1e-9);
    EXPECT_NEAR(conv("m", "mm", 0.001), 1, 1e-12);
    EXPECT_NEAR(conv("rpm", "rad s^-1", 60), 2 * kPi, 1e-12);
    EXPECT_NEAR(conv("kg m^-3", "g cm^-3", 1000), 1, 1e-12);
    EXPECT_NEAR(conv("N", "kg m s^-2", 3), 3, 0);
    EXPECT_NEAR(conv("ft", "in", 1), 12, 1e-12);
    EXPECT_NEAR(conv("", "Dimensionless", 0.5), 0.5, 0);

    float f = 0;
    EXPECT_TRUE(uc().convertUnits("ft", "m", 1.0f, f, false));
    EXPECT_FLOAT_EQ(f, 0.3048f);
    // The undefined value passes through.
    EXPECT_TRUE(uc().convertUnits("C", "K", UNDEFINED_VALUE, f, false));
    EXPECT_EQ(f, UNDEFINED_VALUE);

    test::expectError<data::invalid>([] { conv("m", "s", 1); }, {.fragments = {"'m'", "'s'"}});
    double out = 7;
    EXPECT_FALSE(uc().tryConvertUnits("rpm", "Hz", 1, out)); // angle per time is not frequency
    EXPECT_FALSE(uc().tryConvertUnits("furlong", "m", 1, out));
    EXPECT_EQ(out, 7);
    EXPECT_TRUE(uc().areCompatible("Pa", "psi"));
    EXPECT_FALSE(uc().areCompatible("Pa", "N"));
}

TEST(UnitsConverter, QuantitiesAndTheirBaseUnits) {
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Length"), "m");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Area"), "m^2");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Volume"), "m^3");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Pressure"), "kg m^-1 s^-2");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Force"), "kg m s^-2");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Torque"), "kg m^2 s^-2");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Temperature"), "K");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Inverse Length"), "m^-1");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Heat Transfer Coefficient"), "kg s^-3 K^-1");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Heat Flux in"), "kg s^-3");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Power"), "kg m^2 s^-3");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Mass Flow"), "kg s^-1");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Velocity"), "m s^-1");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Density"), "kg m^-3");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Dimensionless"), "");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Angular Velocity"), "s^-1 radian");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Specific Heat Capacity"), "m^2 s^-2 K^-1");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Thermal Conductivity"), "kg m s^-3 K^-1");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Dynamic Viscosity"), "kg m^-1 s^-1");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Kinematic Viscosity"), "m^2 s^-1");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Turbulence Kinetic Energy"), "m^2 s^-2");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Turbulence Eddy Dissipation"), "m^2 s^-3");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("pressure"), "kg m^-1 s^-2"); // any case
    EXPECT_EQ(uc().getBaseUnitsFromQuant(""), "");
    EXPECT_THROW(uc().getBaseUnitsFromQuant("Happiness"), data::notFound);
    EXPECT_EQ(uc().getDefaultUnitsFromQuant("Heat Transfer Coefficient"), "W m^-2 K^-1");

    // Every quantity's default unit has the quantity's dimensions.
    for (const std::string& q : uc().getQuantityNames()) {
        SCOPED_TRACE(q);
        EXPECT_EQ(uc().dimsFromUnits(uc().getDefaultUnitsFromQuant(q)), uc().getDimsFromQuant(q));
    }
    EXPECT_EQ(uc().getQuantityFromDims(uc().dimsFromUnits("Pa")), "Pressure");
    EXPECT_EQ(uc().getQuantityFromDims(uc().dimsFromUnits("J")), "Energy");
    EXPECT_EQ(uc().getQuantityFromDims(uc().dimsFromUnits("kg m^5")), "");

    uc().addQuantity("Volumetric Heat Source", "W m^-3");
    EXPECT_EQ(uc().getBaseUnitsFromQuant("Volumetric Heat Source"), "kg m^-1 s^-3");
    EXPECT_THROW(uc().addQuantity("Bad", "W", "m"), data::invalid);
    EXPECT_THROW(uc().addQuantity("Bad", "furlong"), data::invalid);
}

TEST(Quantity, UndefinedAndConversion) {
    const Quantity u;
    EXPECT_TRUE(u.isUndefined());
    EXPECT_EQ(u.getValue(), UNDEFINED_VALUE);
    EXPECT_EQ(u.getUnits(), "");
    EXPECT_TRUE(Quantity::undefined().convertTo("Pa").isUndefined());
    EXPECT_THROW((void)u.convertTo("furlong"), data::invalid);

    const Quantity p(2.5f, "bar");
    const Quantity q = p.convertTo("kPa");
    EXPECT_FLOAT_EQ(q.getValue(), 250.0f);
    EXPECT_EQ(q.getUnits(), "kPa");
    EXPECT_EQ(p.getUnits(), "bar"); // the original is unchanged
    EXPECT_FLOAT_EQ(Quantity(25.0f, "C").convertTo("K").getValue(), 298.15f);
    EXPECT_THROW((void)p.convertTo("m"), data::invalid);
    EXPECT_EQ(p.getDimensions(), UnitDimensions(1, -1, -2));
}
