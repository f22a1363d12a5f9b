// Dimensions: every value carries them, unlike ones do not mix, and they are known
// without evaluating anything.
#include "ExpressionTestDoubles.h"

namespace zel::test {
namespace {

const UnitDimensions kPressure(1, -1, -2);

TEST_F(ExpressionTest, DimensionsFollowTheOperations) {
    auto dims = [](const char* text) { return ExpressionEvaluator::getDimensions(text, ""); };
    EXPECT_EQ(dims("Pressure"), kPressure);
    EXPECT_EQ(dims("p * Velocity"), UnitDimensions(1, 0, -3));
    EXPECT_EQ(dims("Pressure / Density"), UnitDimensions(0, 2, -2));
    EXPECT_EQ(dims("Velocity^2 * Density / 2 - Pressure"), kPressure);
    EXPECT_EQ(dims("Velocity^-2"), UnitDimensions(0, -2, 2));
    EXPECT_EQ(dims("sqrt(Velocity^2)"), UnitDimensions(0, 1, -1));
    EXPECT_EQ(dims("sqrt(Temperature)"), UnitDimensions(0, 0, 0, 0.5)); // roots may be fractional
    EXPECT_EQ(dims("abs(-Pressure)"), kPressure);
    EXPECT_EQ(dims("min(Pressure, 1 [bar])"), kPressure);
    EXPECT_EQ(dims("if(Temperature > 300 [K], Pressure, 0 [Pa])"), kPressure);
    EXPECT_TRUE(dims("Pressure > 1 [Pa] && Temperature").isDimensionless());
    EXPECT_TRUE(dims("atan2(Velocity, 1 [m s^-1])").isDimensionless());
    EXPECT_TRUE(dims("exp(Pressure / 1 [Pa]) + step(Temperature / 1 [K] - 300)").isDimensionless());
    EXPECT_TRUE(dims("(Pressure / 1 [Pa])^0.5 + 2^(Temperature / 1 [K])").isDimensionless());
    // no value of any variable was asked for, and nothing was evaluated
    EXPECT_TRUE(calc->requests.empty());
}

TEST_F(ExpressionTest, UnlikeDimensionsAreErrorsNamingTheOffendingPart) {
    expectDimsError("1 + Pressure + Temperature",
                    {.message = "Dimension error in expression '1 + Pressure + Temperature' at position 3: cannot add "
                                "'1' dimensionless and 'Pressure' [kg m^-1 s^-2]."});
    expectDimsError("2 * Pressure - Temperature",
                    {.message = "Dimension error in expression '2 * Pressure - Temperature' at position 14: cannot "
                                "subtract '2 * Pressure' [kg m^-1 s^-2] from 'Temperature' [K]."});
    expectDimsError("Pressure^0.5", {.message = "Dimension error in expression 'Pressure^0.5' at position 9: "
                                                "non-integer power 0.5 of the dimensional value 'Pressure' "
                                                "[kg m^-1 s^-2]."});
    expectDimsError("Pressure < 1", {.fragments = {"cannot compare 'Pressure' [kg m^-1 s^-2] with '1' dimensionless"}});
    expectDimsError("sin(Pressure)",
                    {.fragments = {"'sin' needs a dimensionless or angle argument, but 'Pressure' [kg m^-1 s^-2]"}});
    expectDimsError("exp(30 [deg])", {.fragments = {"'exp' needs a dimensionless argument"}});
    expectDimsError("loge(Temperature)", {.fragments = {"at position 6"}});
    expectDimsError("Pressure^(Temperature / 1 [K])", {.fragments = {"may only be raised to a constant power"}});
    expectDimsError("2^Temperature", {.fragments = {"the exponent 'Temperature' [K] must be dimensionless"}});
    expectDimsError("max(Pressure, Temperature)", {.fragments = {"the arguments of 'max' differ"}});
    expectDimsError("if(1, Pressure, 1)", {.fragments = {"the arguments of 'if' differ"}});
    expectDimsError("1 [furlong]", {.fragments = {"cannot read the units 'furlong'"}});
    // a constant whole power of a dimensional value is fine, also when it is computed
    EXPECT_EQ(ExpressionEvaluator::getDimensions("Velocity^(1 + 1)", ""), UnitDimensions(0, 2, -2));
}

TEST_F(ExpressionTest, VariablesWithoutUnitsInTheListAskForTheirBaseUnits) {
    vars->add("Eddy Viscosity", "");
    std::vector<std::string> askedFor;
    vars->baseUnits = [&](const std::string& name, bool fromExpression) {
        askedFor.push_back(name);
        EXPECT_TRUE(fromExpression);
        return std::string("kg m^-1 s^-1");
    };
    EXPECT_EQ(ExpressionEvaluator::getDimensions("Eddy Viscosity", ""), UnitDimensions(1, -1, -1));
    EXPECT_EQ(askedFor, std::vector<std::string>{"Eddy Viscosity"});
    // a variable whose units are not known at all counts as dimensionless
    vars->add("Mystery", "");
    vars->baseUnits = nullptr;
    EXPECT_TRUE(ExpressionEvaluator::getDimensions("Mystery", "").isDimensionless());
    vars->add("Broken", "furlong");
    expectDimsError("Broken", {.fragments = {"the units 'furlong' of the variable 'Broken' cannot be read"}});
}

TEST_F(ExpressionTest, SingleValuesCarryTheirBaseUnits) {
    store->constants["g"] = "9.81 [m s^-2]";
    const Quantity q = ExpressionEvaluator::evalSingleValue("g * 2 [s]", "");
    EXPECT_FLOAT_EQ(q.getValue(), 19.62f);
    EXPECT_EQ(q.getUnits(), "m s^-1");
    // a field variable has no single value
    expectError<expressions::eval>([] { ExpressionEvaluator::evalSingleValue("2 * Pressure", "Plane 1"); },
                                   {.message = "Error in expression '2 * Pressure': it needs the values of the field "
                                               "variable 'Pressure' and has no single value."});
    expectError<expressions::eval>([] { ExpressionEvaluator::evalSingleValue("x", ""); },
                                   {.fragments = {"field variable 'X'"}});
    // 1/0 has no value
    EXPECT_TRUE(ExpressionEvaluator::evalSingleValue("1 / 0", "").isUndefined());
    EXPECT_TRUE(ExpressionEvaluator::evalSingleValue("sqrt(-1)", "").isUndefined());
}

} // namespace
} // namespace zel::test
