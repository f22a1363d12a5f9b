// The language: numbers with units, operators and their precedence, functions, names made
// of words joined by blanks and dots, coordinates, and syntax errors with their positions.
#include "ExpressionTestDoubles.h"

#include "framework/units/UnitsConverter.h"

#include <cmath>
#include <numbers>

namespace zel::test {
namespace {

TEST_F(ExpressionTest, OperatorsFollowPrecedenceAndAssociativity) {
    EXPECT_FLOAT_EQ(single("2 + 3 * 4"), 14.0f);
    EXPECT_FLOAT_EQ(single("(2 + 3) * 4"), 20.0f);
    EXPECT_FLOAT_EQ(single("10 - 4 - 3"), 3.0f);
    EXPECT_FLOAT_EQ(single("16 / 4 / 2"), 2.0f);
    EXPECT_FLOAT_EQ(single("-2^2"), -4.0f); // unary minus binds looser than ^
    EXPECT_FLOAT_EQ(single("2^-1"), 0.5f);
    EXPECT_FLOAT_EQ(single("2^3^2"), 512.0f); // right associative
    EXPECT_FLOAT_EQ(single("- -3"), 3.0f);
    EXPECT_FLOAT_EQ(single("+3"), 3.0f);
    EXPECT_FLOAT_EQ(single(".5 + 1.5e1 + 2E-1"), 15.7f);
    // comparisons and logic give 0 or 1 and bind looser than arithmetic
    EXPECT_FLOAT_EQ(single("1 + 1 == 2"), 1.0f);
    EXPECT_FLOAT_EQ(single("3 < 2 || 2 <= 2 && 4 >= 5"), 0.0f);
    EXPECT_FLOAT_EQ(single("3 > 2 && !(1 != 1)"), 1.0f);
    EXPECT_FLOAT_EQ(single("!0 + !5"), 1.0f);
}

TEST_F(ExpressionTest, BuiltinFunctionsMatchTheStandardLibrary) {
    EXPECT_FLOAT_EQ(single("sqrt(2)"), std::sqrt(2.0f));
    EXPECT_FLOAT_EQ(single("abs(-3.5)"), 3.5f);
    EXPECT_FLOAT_EQ(single("exp(1)"), std::exp(1.0f));
    EXPECT_FLOAT_EQ(single("loge(10)"), std::log(10.0f));
    EXPECT_FLOAT_EQ(single("log10(1000)"), 3.0f);
    EXPECT_NEAR(single("sin(0.5) - cos(0.5) + tan(0.5)"), std::sin(0.5) - std::cos(0.5) + std::tan(0.5), 1e-6);
    EXPECT_NEAR(single("asin(0.5) + acos(0.5) + atan(2)"), std::asin(0.5) + std::acos(0.5) + std::atan(2.0), 1e-6);
    EXPECT_NEAR(single("atan2(1, -1)"), std::atan2(1.0, -1.0), 1e-6);
    EXPECT_FLOAT_EQ(single("min(3, -1, 2)"), -1.0f);
    EXPECT_FLOAT_EQ(single("max(3, -1, 7)"), 7.0f);
    EXPECT_FLOAT_EQ(single("step(-2) + 10*step(0) + 100*step(3)"), 105.0f);
    EXPECT_FLOAT_EQ(single("if(1 < 2, 10, 20) + if(0, 1, 2)"), 12.0f);
    // trigonometric functions take angles in any unit
    EXPECT_NEAR(single("sin(30 [deg])"), 0.5, 1e-6);
    EXPECT_NEAR(single("cos(0.5 * 3.14159265358979 [rad])"), 0.0, 1e-6);
}

TEST_F(ExpressionTest, NumbersWithUnitsAreConvertedToBaseUnits) {
    const Quantity speed = ExpressionEvaluator::evalSingleValue("2.5 [km h^-1]", "");
    EXPECT_FLOAT_EQ(speed.getValue(), 2.5f / 3.6f);
    EXPECT_EQ(speed.getUnits(), "m s^-1");
    EXPECT_FLOAT_EQ(single("20 [C]"), 293.15f); // an absolute temperature
    EXPECT_FLOAT_EQ(single("1 [bar] / 1 [kPa]"), 100.0f);
    const Quantity q = ExpressionEvaluator::evalSingleValue("2 [m s^-1] * 3 [s] + 1 [cm]", "");
    EXPECT_FLOAT_EQ(q.getValue(), 6.01f);
    EXPECT_EQ(q.getUnits(), "m");
    EXPECT_EQ(ExpressionEvaluator::evalSingleValue("2 [m] / 4 [m]", "").getUnits(), "");
}

TEST_F(ExpressionTest, NamesWithBlanksDotsPrefixesSuffixesAndComponents) {
    std::vector<std::string> asked;
    const std::map<std::string, std::vector<float>> f = {{"Wall Heat Transfer Coefficient", {2}},
                                                         {"Heat Flux on Surface 1", {3}},
                                                         {"Velocity X", {5}},
                                                         {"Water.Velocity", {7}},
                                                         {"Velocity.Gradient X", {11}},
                                                         {"Water.Pressure", {13}},
                                                         {"Pressure", {17}},
                                                         {"Air.Velocity.Gradient X", {19}}};
    evaluate("Wall Heat Transfer Coefficient * 1 [K] + Heat Flux on Surface 1", 1, f, &asked);
    EXPECT_EQ(asked, (std::vector<std::string>{"Wall Heat Transfer Coefficient", "Heat Flux on Surface 1"}));

    // a component word after a vector; a short name stands for its variable
    asked.clear();
    EXPECT_EQ(evaluate("Velocity X + Velocity u", 1, f, &asked)[0], 10.0f);
    EXPECT_EQ(asked, (std::vector<std::string>{"Velocity X"}));

    // phase prefixes, operator suffixes (with their units), both, and a short name behind a prefix
    asked.clear();
    EXPECT_EQ(
        evaluate("Water.Velocity + Velocity.Gradient X * 1 [m] + Air.Velocity.Gradient X * 1 [m]", 1, f, &asked)[0],
        37.0f);
    EXPECT_EQ(asked, (std::vector<std::string>{"Water.Velocity", "Velocity.Gradient X", "Air.Velocity.Gradient X"}));
    asked.clear();
    evaluate("Water.p - p", 1, f, &asked);
    EXPECT_EQ(asked, (std::vector<std::string>{"Water.Pressure", "Pressure"}));

    EXPECT_EQ(ExpressionEvaluator::getDimensions("Velocity.Gradient", ""), UnitDimensions(0, 0, -1));
    EXPECT_TRUE(ExpressionEvaluator::getDimensions("Temperature.Residual", "").isDimensionless());
    EXPECT_EQ(ExpressionEvaluator::getDimensions("Temperature.Bforce", ""), UnitDimensions(0, 0, 0, 1));
    // blanks are normalised; a name the host knows as a whole wins over a component
    vars->add("Density X", "kg");
    asked.clear();
    evaluate("Density   X", 1, {{"Density X", {1}}}, &asked);
    EXPECT_EQ(asked, (std::vector<std::string>{"Density X"}));
    EXPECT_EQ(ExpressionEvaluator::getDimensions("Density X", ""), UnitDimensions(1, 0, 0));
}

TEST_F(ExpressionTest, NamesEndAtOperatorsAndFunctionWords) {
    const std::map<std::string, std::vector<float>> f = {{"Velocity X", {3}}, {"Pressure", {2}}};
    EXPECT_EQ(evaluate("Velocity X^2*1[kg m^-3]+Pressure", 1, f)[0], 11.0f);
    // longest known words first, then the rest is an error at its own position
    expectDimsError("Pressure Temperature",
                    {.message = "Syntax error in expression 'Pressure Temperature' at position 10: unexpected "
                                "'Temperature' after the name 'Pressure' (missing operator?)."});
    expectDimsError("Pressure sqrt(4)", {.fragments = {"position 10"}});
    expectDimsError("2 * Presure", {.message = "Unknown name in expression '2 * Presure' at position 5: 'Presure' is "
                                               "no variable, user expression, constant or coordinate."});
    // a known name cannot be followed by a component word it does not have
    expectDimsError("Pressure W", {.fragments = {"unexpected 'W'"}});
}

TEST_F(ExpressionTest, CoordinatesComeFromTheCoordinateVariables) {
    const std::map<std::string, std::vector<float>> f = {{"X", {3, 0, -1}}, {"Y", {4, 2, 0}}, {"Z", {5, 6, 7}}};
    std::vector<std::string> asked;
    const auto r = evaluate("r", 3, f, &asked);
    EXPECT_EQ(asked, (std::vector<std::string>{"X", "Y"}));
    EXPECT_FLOAT_EQ(r[0], 5.0f);
    EXPECT_FLOAT_EQ(r[1], 2.0f);
    const auto theta = evaluate("theta", 3, f);
    EXPECT_NEAR(theta[1], std::numbers::pi / 2, 1e-6);
    EXPECT_NEAR(theta[2], std::numbers::pi, 1e-6);
    EXPECT_EQ(evaluate("x + y + z", 3, f)[2], 6.0f);
    EXPECT_EQ(ExpressionEvaluator::getDimensions("r * z", ""), UnitDimensions(0, 2, 0));
    EXPECT_EQ(ExpressionEvaluator::getDimensions("theta", ""), UnitDimensions(0, 0, 0, 0, 1));
    EXPECT_NEAR(evaluate("sin(theta)", 3, f)[1], 1.0, 1e-6);
    // other names for the cylindrical coordinates, other coordinate variables
    ExpressionCoordTransData coords("rad", "phi", "ax");
    coords.xVariable = "X Coordinate";
    coords.yVariable = "Y Coordinate";
    coords.zVariable = "Z Coordinate";
    asked.clear();
    evaluate("rad + ax", 1, {{"X Coordinate", {3}}, {"Y Coordinate", {4}}, {"Z Coordinate", {1}}}, &asked, coords);
    EXPECT_EQ(asked, (std::vector<std::string>{"X Coordinate", "Y Coordinate", "Z Coordinate"}));
}

TEST_F(ExpressionTest, SyntaxErrorsNameTheExpressionAndThePosition) {
    struct Case {
        const char* text;
        int position;
        const char* what;
    };
    const Case cases[] = {
        {"2 * (Pressure", 14, "missing ')'"},
        {"2 +", 4, "operand is missing"},
        {"", 1, "empty expression"},
        {"Pressure = 1", 10, "'='"},
        {"3 [m", 3, "'['"},
        {"3 m]", 3, "missing operator"},
        {"2 ** 3", 4, "operand is missing"},
        {"(1 + 2))", 8, "')' without a matching '('"},
        {"2 # 3", 3, "unexpected character '#'"},
        {"1e+ 3", 2, "exponent"},
        {"2Pressure", 2, "number runs into a name"},
        {"Pressure [Pa]", 10, "only follow a number"},
        {"areaAve(Pressure)@", 18, "missing location"},
        {"sqrt()", 1, "'sqrt' takes 1 argument, not 0"},
        {"max(1, 2", 9, "missing ')'"},
        {"1 & 2", 3, "'&&'"},
    };
    for (const Case& c : cases)
        expectDimsError(c.text, {.fragments = {std::string("Syntax error in expression '") + c.text + "'",
                                               "at position " + std::to_string(c.position) + ":", c.what}});
    // the error carries the family, the class and the operation
    expectError<expressions::eval>(
        [] { ExpressionEvaluator::evalSingleValue("1 +", "Plane 1"); },
        {.className = "ExpressionEvaluator", .operation = "evalSingleValue", .fragments = {"'1 +' (of 'Plane 1')"}});
}

TEST_F(ExpressionTest, BuiltinCallsCheckTheirArguments) {
    expectDimsError("atan2(1)", {.fragments = {"'atan2' takes 2 arguments, not 1"}});
    expectDimsError("if(1, 2)", {.fragments = {"takes 3 arguments"}});
    expectDimsError("sqrt(4)@Wall", {.fragments = {"built-in"}});
    expectDimsError("foo(4)", {.fragments = {"'foo' is no function"}});
}

TEST(ExpressionNames, ValidPlainVariableNames) {
    for (const char* name : {"Pressure", "Heat Flux on Surface 1", "_k2 X"})
        EXPECT_TRUE(ExpressionEvaluator::isValidGeniVariable(name)) << name;
    for (const char* name : {"", "Water.Velocity", "1st", " Pressure", "Pressure ", "Total  Pressure", "Plane-1"})
        EXPECT_FALSE(ExpressionEvaluator::isValidGeniVariable(name)) << name;
}

} // namespace
} // namespace zel::test
