// User expressions and constants: they may use each other; a cycle is an error naming it.
#include "ExpressionTestDoubles.h"

namespace zel::test {
namespace {

TEST_F(ExpressionTest, UserExpressionsAndConstantsChain) {
    store->constants["g"] = "9.81 [m s^-2]";
    store->constants["rho0"] = "1000 [kg m^-3]";
    store->addExpression("Hydrostatic", "rho0 * g * Depth");
    store->addExpression("Depth", "2 [m] - z");
    store->addExpression("Gauge Pressure", "Pressure - Hydrostatic");
    std::vector<std::string> asked;
    const auto v = evaluate("Gauge Pressure / 1 [Pa]", 2, {{"Pressure", {20000, 30000}}, {"Z", {0, 1}}}, &asked);
    EXPECT_EQ(asked, (std::vector<std::string>{"Pressure", "Z"}));
    EXPECT_FLOAT_EQ(v[0], 20000.0f - 1000.0f * 9.81f * 2.0f);
    EXPECT_FLOAT_EQ(v[1], 30000.0f - 1000.0f * 9.81f * 1.0f);
    EXPECT_EQ(ExpressionEvaluator::getDimensions("Hydrostatic", ""), UnitDimensions(1, -1, -2));
    EXPECT_FLOAT_EQ(single("rho0 * g * 1 [m] / 1 [Pa]"), 9810.0f);
    // a user expression wins over a variable of the same name
    store->addExpression("Density", "rho0 * 2");
    EXPECT_FLOAT_EQ(single("Density"), 2000.0f);
}

TEST_F(ExpressionTest, CyclesAreErrorsNamingThem) {
    store->addExpression("a", "b + 1");
    store->addExpression("b", "2 * c");
    store->addExpression("c", "a - 1");
    store->addExpression("self", "self + 1");
    expectDimsError("a * 2", {.fragments = {"the user expression 'a' refers to itself: 'a' -> 'b' -> 'c' -> 'a'",
                                            "in expression 'a - 1' (user expression 'c', used in '2 * c')"}});
    expectError<expressions::eval>([] { ExpressionEvaluator::evalSingleValue("self", ""); },
                                   {.fragments = {"'self' -> 'self'"}});
    store->constants["k1"] = "k2";
    store->constants["k2"] = "k1 * 2";
    expectError<expressions::eval>([] { ExpressionEvaluator::evalSingleValue("k1", ""); },
                                   {.fragments = {"the constant 'k1' refers to itself: 'k1' -> 'k2' -> 'k1'"}});
    // using one expression twice is no cycle
    store->addExpression("two", "2");
    EXPECT_FLOAT_EQ(single("two * two + two"), 6.0f);
}

TEST_F(ExpressionTest, ErrorsInsideUserExpressionsNameBothTexts) {
    store->addExpression("Bad", "Pressure + Temperature");
    expectDimsError("1 [Pa] + Bad",
                    {.message = "Dimension error in expression 'Pressure + Temperature' (user expression 'Bad', used "
                                "in '1 [Pa] + Bad') at position 10: cannot add 'Pressure' [kg m^-1 s^-2] and "
                                "'Temperature' [K]."});
    store->addExpression("Broken", "2 * (1");
    expectDimsError("Broken", {.fragments = {"Syntax error in expression '2 * (1' (user expression 'Broken'"}});
}

TEST_F(ExpressionTest, UnitsThatDependOnTheExpressionItselfAreACycle) {
    // The host works out the units of a user variable from its own expression, which uses
    // the variable again.
    vars->add("Loop", "");
    vars->baseUnits = [](const std::string& name, bool) {
        const UnitDimensions d = ExpressionEvaluator::getDimensions(name + " + 1", "");
        return d.isDimensionless() ? std::string() : std::string("m");
    };
    expectDimsError("Loop + 1", {.fragments = {"depend on itself"}});
}

} // namespace
} // namespace zel::test
