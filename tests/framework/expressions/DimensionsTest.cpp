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
    auto dimsError = [this](const char* text) {
        return evalError([&] { ExpressionEvaluator::getDimensions(text, ""); });
    };
    EXPECT_EQ(dimsError("1 + Pressure + Temperature"),
              "Dimension error in expression '1 + Pressure + Temperature' at position 3: cannot add '1' "
              "dimensionless and 'Pressure' [kg m^-1 s^-2].");
    EXPECT_EQ(dimsError("2 * Pressure - Temperature"),
              "Dimension error in expression '2 * Pressure - Temperature' at position 14: cannot subtract "
              "'2 * Pressure' [kg m^-1 s^-2] from 'Temperature' [K].");
    EXPECT_NE(dimsError("Pressure < 1").find("cannot compare 'Pressure' [kg m^-1 s^-2] with '1' dimensionless"),
              std::string::npos);
    EXPECT_NE(dimsError("sin(Pressure)")
                  .find("'sin' needs a dimensionless or angle argument, but 'Pressure' "
                        "[kg m^-1 s^-2]"),
              std::string::npos);
    EXPECT_NE(dimsError("exp(30 [deg])").find("'exp' needs a dimensionless argument"), std::string::npos);
    EXPECT_NE(dimsError("loge(Temperature)").find("at position 6"), std::string::npos);
    EXPECT_EQ(dimsError("Pressure^0.5"),
              "Dimension error in expression 'Pressure^0.5' at position 9: non-integer power 0.5 of the "
              "dimensional value 'Pressure' [kg m^-1 s^-2].");
    EXPECT_NE(dimsError("Pressure^(Temperature / 1 [K])").find("may only be raised to a constant power"),
              std::string::npos);
    EXPECT_NE(dimsError("2^Temperature").find("the exponent 'Temperature' [K] must be dimensionless"),
              std::string::npos);
    EXPECT_NE(dimsError("max(Pressure, Temperature)").find("the arguments of 'max' differ"), std::string::npos);
    EXPECT_NE(dimsError("if(1, Pressure, 1)").find("the arguments of 'if' differ"), std::string::npos);
    EXPECT_NE(dimsError("1 [furlong]").find("cannot read the units 'furlong'"), std::string::npos);
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
    EXPECT_NE(evalError([] {
                  ExpressionEvaluator::getDimensions("Broken", "");
              }).find("the units 'furlong' of the variable 'Broken' cannot be read"),
              std::string::npos);
}

TEST_F(ExpressionTest, SingleValuesCarryTheirBaseUnits) {
    store->constants["g"] = "9.81 [m s^-2]";
    const Quantity q = ExpressionEvaluator::evalSingleValue("g * 2 [s]", "");
    EXPECT_FLOAT_EQ(q.getValue(), 19.62f);
    EXPECT_EQ(q.getUnits(), "m s^-1");
    // a field variable has no single value
    EXPECT_EQ(evalError([] { ExpressionEvaluator::evalSingleValue("2 * Pressure", "Plane 1"); }),
              "Error in expression '2 * Pressure': it needs the values of the field variable 'Pressure' and has no "
              "single value.");
    EXPECT_NE(evalError([] { ExpressionEvaluator::evalSingleValue("x", ""); }).find("field variable 'X'"),
              std::string::npos);
    // 1/0 has no value
    EXPECT_TRUE(ExpressionEvaluator::evalSingleValue("1 / 0", "").isUndefined());
    EXPECT_TRUE(ExpressionEvaluator::evalSingleValue("sqrt(-1)", "").isUndefined());
}

} // namespace
} // namespace zel::test
