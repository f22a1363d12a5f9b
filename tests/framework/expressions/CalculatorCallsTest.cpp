// Calculator calls: function(expression)@Location, with axes (force_x), fluids
// (Water.massFlow) and results that come back with their units.
#include "ExpressionTestDoubles.h"

namespace zel::test {
namespace {

TEST_F(ExpressionTest, CallsHandTheirPartsToTheCalculator) {
    struct Case {
        const char* text;
        CalcRequest expected;
    };
    const Case cases[] = {
        {"areaAve(Pressure)@Plane 1", {"areaAve", "Plane 1", "Pressure", "", ""}},
        {"massFlow()@Outlet", {"massFlow", "Outlet", "", "", ""}},
        {"Water.massFlow()@Outlet", {"massFlow", "Outlet", "", "", "Water"}},
        {"force_x()@Wall", {"force", "Wall", "", "x", ""}},
        {"Air.force_y()@Wall", {"force", "Wall", "", "y", "Air"}},
        {"area_z()@Inlet", {"area", "Inlet", "", "z", ""}},
        {"torque_z()@Wall", {"torque", "Wall", "", "z", ""}},
        {"areaAve( Velocity X * 2 )@  Plane 1  ", {"areaAve", "Plane 1", "Velocity X * 2", "", ""}},
        {"Water.massFlowAve(Water.Pressure)@Outlet", {"massFlowAve", "Outlet", "Water.Pressure", "", "Water"}},
        {"areaInt_x(Pressure)@\"/USER/Plane-1\"", {"areaInt", "/USER/Plane-1", "Pressure", "x", ""}},
        {"All Fluids.massFlow()@Outlet", {"massFlow", "Outlet", "", "", "All Fluids"}},
    };
    for (const Case& c : cases) {
        calc->requests.clear();
        ExpressionEvaluator::evalSingleValue(c.text, "");
        ASSERT_EQ(calc->requests.size(), 1u) << c.text;
        EXPECT_EQ(calc->requests[0], c.expected) << c.text;
        // What a host asks before evaluating (to combine the calls over processes first).
        const auto listed = ExpressionEvaluator::getCalculatorCalls(c.text);
        ASSERT_EQ(listed.size(), 1u) << c.text;
        const auto& l = listed[0];
        EXPECT_EQ((CalcRequest{l.function, l.location, l.expression, l.axis, l.fluid}), c.expected) << c.text;
    }
}

TEST_F(ExpressionTest, CallResultsComeBackInBaseUnitsAndCombine) {
    calc->answer = [](const CalcRequest& r) {
        if (r.function == "massFlow") return Quantity(r.location == "Outlet" ? 2.0f : 8.0f, "kg s^-1");
        if (r.function == "area") return Quantity(50.0f, "cm^2");
        if (r.function == "areaAve") return Quantity(20.0f, "C"); // an absolute temperature
        return Quantity(3.0f, "kPa");
    };
    const Quantity ratio = ExpressionEvaluator::evalSingleValue("massFlow()@Outlet / massFlow()@Inlet", "");
    EXPECT_FLOAT_EQ(ratio.getValue(), 0.25f);
    EXPECT_EQ(ratio.getUnits(), "");
    const Quantity flux = ExpressionEvaluator::evalSingleValue("massFlow()@Outlet/area()@Outlet", "");
    EXPECT_FLOAT_EQ(flux.getValue(), 400.0f);
    EXPECT_EQ(flux.getUnits(), "kg m^-2 s^-1");
    EXPECT_FLOAT_EQ(single("areaAve(Temperature)@Wall"), 293.15f);
    // the same call twice is evaluated once per evaluation
    calc->requests.clear();
    EXPECT_FLOAT_EQ(single("massFlow()@Outlet + 2*massFlow()@Outlet"), 6.0f);
    EXPECT_EQ(calc->requests.size(), 1u);
    EXPECT_EQ(ExpressionEvaluator::getCalculatorCalls("massFlow()@Outlet + 2*massFlow()@Outlet").size(), 1u);
    const auto listed = ExpressionEvaluator::getCalculatorCalls("massFlow()@Outlet/area()@Outlet");
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].function, "massFlow");
    EXPECT_EQ(listed[1].function, "area");
}

TEST_F(ExpressionTest, CallDimensionsComeFromTheFunctionTableWithoutEvaluating) {
    auto dims = [](const char* text) { return ExpressionEvaluator::getDimensions(text, ""); };
    EXPECT_EQ(dims("massFlow()@Outlet"), UnitDimensions(1, 0, -1));
    EXPECT_EQ(dims("areaAve(Pressure)@Plane 1"), UnitDimensions(1, -1, -2));
    EXPECT_EQ(dims("areaInt(Pressure)@Plane 1"), UnitDimensions(1, 1, -2));
    EXPECT_EQ(dims("force_x()@Wall / area()@Wall"), UnitDimensions(1, -1, -2));
    EXPECT_TRUE(dims("count()@Wall").isDimensionless());
    EXPECT_TRUE(calc->requests.empty());
    // calls mix with fields: evaluated once for all vertices, before any variable is asked for
    calc->answer = [](const CalcRequest&) { return Quantity(10.0f, "kg m^-1 s^-2"); };
    const auto v = evaluate("Pressure - areaAve(Pressure)@Plane 1", 3, {{"Pressure", {10, 11, 15}}});
    EXPECT_EQ(v, (std::vector<float>{0, 1, 5}));
    EXPECT_EQ(calc->requests.size(), 1u);
}

TEST_F(ExpressionTest, MalformedCallsAreErrors) {
    expectDimsError("force()@Wall", {.fragments = {"'force' needs an axis, for example 'force_x()@Location'"}});
    expectDimsError("massFlow_x()@Outlet", {.fragments = {"'massFlow' takes no axis"}});
    expectDimsError("massFlow(Pressure)@Outlet", {.fragments = {"'massFlow' takes no expression"}});
    expectDimsError("areaAve()@Outlet", {.fragments = {"'areaAve' needs an expression"}});
    expectDimsError("areaAve(Pressure, Temperature)@Outlet", {.fragments = {"takes one expression, not 2"}});
    expectDimsError("Oil.massFlow()@Outlet", {.fragments = {"'Oil' is no fluid"}});
    expectDimsError("Water.areaAve(Pressure)@Outlet", {.fragments = {"'areaAve' takes no fluid"}});
    expectDimsError("areaAve(Presure)@Outlet", {.fragments = {"position 9: 'Presure' is no variable"}});
    expectDimsError("areaAve(Pressure + Temperature)@Outlet", {.fragments = {"cannot add"}});
    expectDimsError("volumeFlow()@Outlet", {.fragments = {"'volumeFlow' is no function"}});
    expectDimsError("1 + areaAve(Pressure)",
                    {.message = "Syntax error in expression '1 + areaAve(Pressure)' at position 5: the calculator "
                                "function 'areaAve' needs a location: 'areaAve(...)@Location'."});
    expectDimsError("areaAve(Pressure)@Plane 9 * 2", {.message = "Unknown name in expression 'areaAve(Pressure)@Plane "
                                                                 "9 * 2' at position 19: 'Plane 9' is no location."});
    // without a registered calculator there are no calculator functions
    calc.reset();
    expectDimsError("massFlow()@Outlet", {.fragments = {"'massFlow' is no function"}});
}

TEST_F(ExpressionTest, UndefinedCallResultsLeaveNothingDefined) {
    calc->answer = [](const CalcRequest&) { return Quantity::undefined(); };
    EXPECT_TRUE(ExpressionEvaluator::evalSingleValue("1 [Pa] + areaAve(Pressure)@Plane 1", "").isUndefined());
    const auto v = evaluate("Pressure - areaAve(Pressure)@Plane 1", 2, {{"Pressure", {1, 2}}});
    EXPECT_EQ(v, (std::vector<float>{UNDEFINED_VALUE, UNDEFINED_VALUE}));
}

} // namespace
} // namespace zel::test
