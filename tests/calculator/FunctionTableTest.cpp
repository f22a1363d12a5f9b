// The function table, the argument layout of the calculator object and the help listing.
#include "tests/calculator/CalcTestSupport.h"

#include "framework/core/Error.h"

namespace zel::test {
namespace {

// The argument layout of every function is checked by the help listing below.
TEST(FunctionTable, HoldsTheTwentyTwoFunctionsWithTheirKindsDimensionsAndArgumentCounts) {
    FunctionCalculator calculator(false);
    struct Expected {
        const char* name;
        const char* kinds; // p l s v
        double m, l, t;
        int required, maximum;
    };
    const Expected table[] = {
        {"volume", "v", 0, 3, 0, 1, 1},
        {"length", "l", 0, 1, 0, 1, 1},
        {"count", "p", 0, 0, 0, 1, 1},
        {"massFlow", "s", 1, 0, -1, 1, 2},
        {"force", "s", 1, 1, -2, 2, 3},
        {"torque", "s", 1, 2, -2, 2, 3},
        {"forceNorm", "l", 1, 1, -2, 2, 3},
        {"area", "s", 0, 2, 0, 1, 2},
        {"volumeAve", "v", 0, 0, 0, 2, 2},
        {"volumeInt", "v", 0, 3, 0, 2, 2},
        {"lengthAve", "l", 0, 0, 0, 2, 2},
        {"lengthInt", "l", 0, 1, 0, 2, 2},
        {"ave", "p", 0, 0, 0, 2, 2},
        {"sum", "p", 0, 0, 0, 2, 2},
        {"probe", "p", 0, 0, 0, 2, 2},
        {"minVal", "p", 0, 0, 0, 2, 2},
        {"maxVal", "p", 0, 0, 0, 2, 2},
        {"massFlowAve", "s", 0, 0, 0, 2, 3},
        {"massFlowAveAbs", "s", 0, 0, 0, 2, 3},
        {"massFlowInt", "s", 1, 0, -1, 2, 3},
        {"areaAve", "s", 0, 0, 0, 2, 3},
        {"areaInt", "s", 0, 2, 0, 2, 3},
    };
    const auto& all = calculator.getFunctionInfo();
    EXPECT_EQ(all.size(), 22u);
    for (const Expected& e : table) {
        SCOPED_TRACE(e.name);
        const FunctionInfo* info = calculator.getFunctionInfo(e.name);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info, &all.at(e.name));
        const std::string kinds = e.kinds;
        EXPECT_EQ(info->onPoint, kinds == "p");
        EXPECT_EQ(info->onLine, kinds == "l");
        EXPECT_EQ(info->onSurface, kinds == "s");
        EXPECT_EQ(info->onVolume, kinds == "v");
        EXPECT_EQ(info->dimensions, UnitDimensions(e.m, e.l, e.t));
        EXPECT_EQ(FunctionCalculator::requiredArgCount(*info), e.required);
        EXPECT_EQ(FunctionCalculator::maximumArgCount(*info), e.maximum);
    }
    // Exact, case-sensitive names; "range" exists only inside minVal and maxVal.
    for (const char* missing : {"AREA", "Area", "range", ""}) EXPECT_EQ(calculator.getFunctionInfo(missing), nullptr);
}

TEST(FunctionTable, MassFlowEverywhereOffersTheMassFlowFunctionsOnEveryKind) {
    for (const bool everywhere : {false, true}) {
        FunctionCalculator calculator(everywhere);
        for (const char* name : {"massFlow", "massFlowAve", "massFlowAveAbs", "massFlowInt"}) {
            const FunctionInfo& info = *calculator.getFunctionInfo(name);
            EXPECT_TRUE(info.onSurface) << name;
            EXPECT_EQ(info.onPoint, everywhere) << name;
            EXPECT_EQ(info.onLine, everywhere) << name;
            EXPECT_EQ(info.onVolume, everywhere) << name;
        }
        // Other functions do not change.
        EXPECT_FALSE(calculator.getFunctionInfo("areaAve")->onPoint);
    }
}

TEST(FunctionTable, InstanceIsCreatedOnce) {
    FunctionCalculator* first = FunctionCalculator::instance(true);
    EXPECT_EQ(FunctionCalculator::instance(false), first);
}

TEST(FunctionTable, HelpListsEveryFunctionInTheFixedLayout) {
    const std::string expected = "\n"
                                 "Function Name        Arguments <required> [optional]\n"
                                 "-------------        -------------------------------\n"
                                 "area                 [Location] [Axis] \n"
                                 "areaAve              <Expression> [Location] [Axis] \n"
                                 "areaInt              <Expression> [Location] [Axis] \n"
                                 "ave                  <Expression> [Location] \n"
                                 "count                [Location] \n"
                                 "force                [Location] <Axis> [Fluid] \n"
                                 "forceNorm            [Location] <Axis> [Fluid] \n"
                                 "length               [Location] \n"
                                 "lengthAve            <Expression> [Location] \n"
                                 "lengthInt            <Expression> [Location] \n"
                                 "massFlow             [Location] [Fluid] \n"
                                 "massFlowAve          <Expression> [Location] [Fluid] \n"
                                 "massFlowAveAbs       <Expression> [Location] [Fluid] \n"
                                 "massFlowInt          <Expression> [Location] [Fluid] \n"
                                 "maxVal               <Expression> [Location] \n"
                                 "minVal               <Expression> [Location] \n"
                                 "probe                <Expression> [Location] \n"
                                 "sum                  <Expression> [Location] \n"
                                 "torque               [Location] <Axis> [Fluid] \n"
                                 "volume               [Location] \n"
                                 "volumeAve            <Expression> [Location] \n"
                                 "volumeInt            <Expression> [Location] \n"
                                 "\n";
    FunctionCalculator calculator(false);
    testing::internal::CaptureStdout();
    calculator.printHelp();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
    EXPECT_EQ(calculator.helpText(), expected);
}

class CalculatorObjectTest : public CalcTest {
protected:
    OKLObject& object(const std::vector<std::pair<std::string, std::string>>& params) {
        return *addObject("CALCULATOR", "CALCULATOR", params);
    }
};

TEST_F(CalculatorObjectTest, GetArgsFromObjTakesOnlyTheArgumentsTheFunctionTakes) {
    OKLObject& calc =
        object({{"Function", "massFlow"}, {"Expression", "Pressure"}, {"Location", "Outlet"}, {"Axis", "X"}});
    std::string function;
    std::vector<std::string> args{"stale"};
    calculator->getArgsFromObj(function, args, calc);
    EXPECT_EQ(function, "massFlow");
    EXPECT_EQ(args, (std::vector<std::string>{"Outlet", ""})); // location, empty fluid

    calc.setParameter("Function", "count");
    calculator->getArgsFromObj(function, args, calc);
    EXPECT_EQ(args, (std::vector<std::string>{"Outlet"}));

    calc.setParameter("Function", "areaAve");
    calc.setParameter("Fluid", "Water");
    calculator->getArgsFromObj(function, args, calc);
    EXPECT_EQ(args, (std::vector<std::string>{"Pressure", "Outlet", "X"}));

    calc.setParameter("Function", "torque");
    calculator->getArgsFromObj(function, args, calc);
    EXPECT_EQ(args, (std::vector<std::string>{"Outlet", "X", "Water"}));

    calc.setParameter("Function", "Area");
    expectError<data::notFound>([&] { calculator->getArgsFromObj(function, args, calc); },
                                {.className = "functionCalculator",
                                 .operation = "getArgsFromObj",
                                 .message = "Function named 'Area' does not exist."});
}

TEST_F(CalculatorObjectTest, UpdateObjFromArgsWritesEveryCallParameter) {
    OKLObject& calc = object({{"Expression", "old"}, {"Axis", "old"}, {"Fluid", "old"}});
    struct Case {
        const char* function;
        std::vector<std::string> args;
        const char *expression, *location, *axis, *fluid;
    };
    // In turn on the same object: each call clears what the one before wrote.
    const Case cases[] = {{"area", {"Wall"}, "", "Wall", "", ""},
                          {"massFlowAve", {"Pressure", "Outlet", "Water"}, "Pressure", "Outlet", "", "Water"},
                          {"force", {"Wall", "Y", "Air"}, "", "Wall", "Y", "Air"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        calculator->updateObjFromArgs(c.function, c.args, calc);
        EXPECT_EQ(calc.getValue("Function"), c.function);
        EXPECT_EQ(calc.getValue("Expression"), c.expression);
        EXPECT_EQ(calc.getValue("Location"), c.location);
        EXPECT_EQ(calc.getValue("Axis"), c.axis);
        EXPECT_EQ(calc.getValue("Fluid"), c.fluid);
    }

    // What getArgsFromObj reads back is the call written.
    std::string function;
    std::vector<std::string> args;
    calculator->getArgsFromObj(function, args, calc);
    EXPECT_EQ(function, "force");
    EXPECT_EQ(args, (std::vector<std::string>{"Wall", "Y", "Air"}));

    // An unknown function still sets "Function", then fails.
    expectError<internal::error>([&] { calculator->updateObjFromArgs("nope", {"Wall"}, calc); },
                                 {.className = "functionCalculator",
                                  .operation = "updateObjFromArgs",
                                  .message = "Function named 'nope' does not exist."});
    EXPECT_EQ(calc.getValue("Function"), "nope");
    // A call without its location is refused rather than read out of range.
    EXPECT_THROW(calculator->updateObjFromArgs("areaAve", {"Pressure"}, calc), data::error);
}

} // namespace
} // namespace zel::test
