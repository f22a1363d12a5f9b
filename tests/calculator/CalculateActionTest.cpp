// The "calculate" action on the CALCULATOR object and the exported C functions.
#include "tests/calculator/CalcTestSupport.h"

#include "calculator/CalculateExecutor.h"
#include "calculator/zel_calculator.h"
#include "framework/core/Error.h"
#include "framework/core/Undefined.h"
#include "framework/expressions/ExpressionEvaluator.h"
#include "framework/expressions/ExpressionInterfaces.h"
#include "framework/okl/ActionExecutor.h"
#include "framework/viewer/GraphicObject.h"
#include "framework/viewer/ViewerInterface.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <tuple>

namespace zel::test {
namespace {

// Counts the changes the database announces for one object.
struct ChangeCounter : Observer {
    explicit ChangeCounter(std::string name) : name(std::move(name)) { ObjectDB::instance()->addObserver(this); }
    ~ChangeCounter() override { ObjectDB::instance()->removeObserver(this); }
    void update(NotifyType) override {}
    void objectNotify(NotifyType type, const OKLObject& object) override {
        if (type == NotifyObjectChanged && object.getName() == name) ++changes;
    }
    std::string name;
    int changes = 0;
};

class CalculateActionTest : public CalcTest {
protected:
    void SetUp() override {
        CalcTest::SetUp();
        addVariableObject("Temperature", "0, 0, 0, 1, 0, 0, 0, 0, 0, 0");
        // Wall: the 2 x 1 quadrilateral patch, with a uniform force (1, 2, 3) per unit area.
        Patch wall = makePatch(ShapeType::Quadrilateral, "Wall");
        setVertexInterpolant(*wall.geometry, "D1");
        TripletZELVector force;
        for (float a : wall.geometry->getVertexAreas()) force.push_back(TripletF{1, 2, 3} * a);
        addVector(*wall.geometry, "Force", force);
        storage->flowGeometry[wall.geometry->getInterpolant()] = wall.geometry.get();
        storage->flows["Water"] = {1.0, {0.0, 0.0, 1.0}};
        storage->domainPhases["D1"] = {"Water"};
        addLocation("BOUNDARY", "Wall", std::move(wall.geometry));
        addVariableObject("Force", "1, 1, -2", "VECTOR VARIABLE");
        // Line: a straight segment of 2 m. Probe: a point at 300 K.
        auto line = std::make_unique<Geometry>();
        line->setVertices(TripletZELVector{{0, 0, 0}, {2, 0, 0}});
        line->setLines(IntZELVector{0, 1});
        addLocation("LINE", "Line", std::move(line));
        auto point = std::make_unique<Geometry>();
        point->setVertices(TripletZELVector{{0, 0, 0}});
        addScalar(*point, "Temperature", [](const Vec3&) { return 300.0; });
        addLocation("POINT", "Probe", std::move(point));
    }
    OKLObject* calculatorObject(const std::vector<std::pair<std::string, std::string>>& params) {
        return addObject("CALCULATOR", "CALCULATOR", params);
    }
    // Runs the action and returns what it printed.
    std::string run(const std::vector<std::string>& action) {
        testing::internal::CaptureStdout();
        try {
            executor.invoke(action);
        } catch (...) {
            testing::internal::GetCapturedStdout();
            throw;
        }
        return testing::internal::GetCapturedStdout();
    }
    static OKLObject* calc() { return ObjectDB::instance()->getObjectByName("CALCULATOR"); }

    CalculateExecutor executor;
};

TEST_F(CalculateActionTest, HelpPrintsTheListAndTouchesNoObject) {
    const std::string help = FunctionCalculator::instance(false)->helpText();
    EXPECT_EQ(run({"calculate", "help"}), help);
    EXPECT_EQ(run({"calculate", "help", "area"}), help);
    EXPECT_EQ(calc(), nullptr);
}

TEST_F(CalculateActionTest, RefusesOtherActionsAndAStoredCallWithoutObject) {
    expectError<internal::badParam>(
        [&] {
            run({"integrate", "area", "Wall"});
        },
        {.className = "CalculateExecutor",
         .operation = "invoke",
         .message = "Action 'integrate' cannot be handled by CalculateExecutor."});
    expectError<data::error>([&] { run({"calculate"}); },
                             {.message = "Insufficient Data provided to perform calculation."});
    EXPECT_EQ(calc(), nullptr);
    // A stored call naming an unknown function fails while reading it.
    calculatorObject({{"Function", "Area"}, {"Location", "Wall"}});
    EXPECT_THROW(run({"calculate"}), data::notFound);
}

TEST_F(CalculateActionTest, ExplicitCallCreatesTheObjectButDoesNotStoreTheCall) {
    EXPECT_EQ(run({"calculate", "area", "Wall"}), "");
    ASSERT_NE(calc(), nullptr);
    EXPECT_EQ(calc()->getType(), "CALCULATOR");
    EXPECT_EQ(calc()->getValue("Result"), "2");
    EXPECT_EQ(calc()->getValue("Result Units"), "m^2");
    EXPECT_EQ(calc()->getValue("Function"), "");
    EXPECT_EQ(calc()->getValue("Location"), "");
    // Through the command language's dispatcher, as a host runs it.
    ActionDispatcher::instance()->registerExecutor("calculate", std::make_shared<CalculateExecutor>());
    ActionDispatcher::instance()->dispatch("calculate", "length, Line");
    ActionDispatcher::instance()->unregisterExecutor("calculate");
    EXPECT_EQ(calc()->getValue("Result"), "2");
    EXPECT_EQ(calc()->getValue("Result Units"), "m");
}

TEST_F(CalculateActionTest, StoredCallWritesAndPrintsTheResultInPreferredUnits) {
    calculatorObject({{"Function", "length"}, {"Location", "Line"}, {"Verbose", "True"}, {"Result", "stale"}});
    ChangeCounter counter("CALCULATOR");
    EXPECT_EQ(run({"calculate"}), "Result = 2 [m]\n");
    EXPECT_EQ(calc()->getValue("Result"), "2");
    // The other parameters were applied again (once) and the results stayed as written.
    EXPECT_EQ(counter.changes, 1);
    EXPECT_EQ(calc()->getValue("Function"), "length");

    EngineUnitSystemHandler::instance()->setPreferredUnitFor("Length", "mm");
    EXPECT_EQ(run({"calculate"}), "Result = 2000 [mm]\n");
    EXPECT_EQ(calc()->getValue("Result"), "2000");
    EXPECT_EQ(calc()->getValue("Result Units"), "mm");

    // force and torque are converted as forces and torques ("N m", not the energy "J").
    EXPECT_EQ(run({"calculate", "force", "Wall", "Z"}), "Result = 6 [N]\n");
    EXPECT_EQ(run({"calculate", "torque", "Wall", "Z"}).substr(0, 9), "Result = ");
    EXPECT_EQ(calc()->getValue("Result Units"), "N m");
    // A dimensionless count has no unit to print.
    EXPECT_EQ(run({"calculate", "count", "Probe"}), "Result = 1\n");
    EXPECT_EQ(calc()->getValue("Result Units"), "");
}

TEST_F(CalculateActionTest, TemperaturesAreShownInRankineOnlyForFahrenheitOrRankine) {
    calculatorObject({{"Function", "ave"}, {"Expression", "Temperature"}, {"Location", "Probe"}});
    // The first row keeps the default preference.
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {nullptr, "300", "K"}, {"C", "300", "K"}, {"F", "540", "R"}, {"R", "540", "R"}};
    for (const auto& [preferred, result, units] : cases) {
        SCOPED_TRACE(preferred ? preferred : "default");
        if (preferred) EngineUnitSystemHandler::instance()->setPreferredUnitFor("Temperature", preferred);
        run({"calculate"});
        EXPECT_EQ(calc()->getValue("Result"), result);
        EXPECT_EQ(calc()->getValue("Result Units"), units);
    }
}

TEST_F(CalculateActionTest, AFailedCalculationWritesUndefined) {
    calculatorObject({{"Function", "area"}, {"Location", "Nowhere"}, {"Verbose", "Yes"}, {"Result Units", "m^2"}});
    EXPECT_EQ(run({"calculate"}), "Result = undefined\n");
    EXPECT_EQ(calc()->getValue("Result"), "undefined");
    EXPECT_EQ(calc()->getValue("Result Units"), "");
    EXPECT_EQ(lastReport(), "Object 'Nowhere' does not exist.");
}

// ---------------------------------------------------------------- the C functions

TEST_F(CalculateActionTest, CalculateStoresTheValueAndCopiesTheUnitWithinTheBuffer) {
    const char* const args[] = {"Wall", nullptr};
    float value = 0.0f;
    EXPECT_TRUE(calculate("area", args, &value));
    EXPECT_FLOAT_EQ(value, 2.0f);

    char units[16];
    std::memset(units, 'x', sizeof units);
    EXPECT_TRUE(calculateUnits("massFlow", args, &value, units, 16));
    EXPECT_STREQ(units, "kg s^-1");
    // A unit of seven characters in a buffer of four: three characters and the zero.
    std::memset(units, 'x', sizeof units);
    EXPECT_TRUE(calculateUnits("massFlow", args, &value, units, 4));
    EXPECT_STREQ(units, "kg ");
    EXPECT_EQ(units[4], 'x');
    EXPECT_EQ(reportCount(), 0u) << lastReport();
}

TEST_F(CalculateActionTest, UndefinedResultsAreReportedFailures) {
    // Just the null pointer: an empty argument list, which fails the count check; the
    // evaluation reports that, and the undefined value is reported as well.
    const char* const none[] = {nullptr};
    float value = 1.0f;
    char units[8] = "keep";
    EXPECT_FALSE(calculateUnits("area", none, &value, units, sizeof units));
    EXPECT_EQ(value, UNDEFINED_VALUE);
    EXPECT_STREQ(units, "keep");
    ASSERT_EQ(reportCount(), 2u);
    const auto& reports = ErrorProgressReporter::instance()->getReports();
    EXPECT_EQ(reports[0].getMessage(),
              "Function 'area' has 1 required arguments and 1 optional arguments. Received 0 arguments.");
    expectLastReport({.message = "Evaluation of 'area' is undefined.",
                      .className = "functionCalculator",
                      .operation = "evaluate",
                      .family = "internal::error",
                      .type = ErrError});

    // A standard exception below the calculator is reported by the calculator itself.
    storage->failure = 1;
    const char* const args[] = {"Wall", nullptr};
    EXPECT_FALSE(calculate("massFlow", args, &value));
    EXPECT_EQ(lastReport(), "Evaluation of 'massFlow' is undefined.");
    // Null pointers are refused, not read.
    EXPECT_FALSE(calculate(nullptr, args, &value));
    expectLastReport({.family = "internal::nullPointer"});
}

TEST_F(CalculateActionTest, EvaluateInPreferredConvertsToTheUsersUnit) {
    float value = 0.0f;
    char units[8];
    EXPECT_TRUE(evaluateInPreferred("2 [km] + 1 [m]", &value, units, sizeof units));
    EXPECT_FLOAT_EQ(value, 2001.0f);
    EXPECT_STREQ(units, "m");
    EngineUnitSystemHandler::instance()->setPreferredUnitFor("Length", "km");
    EXPECT_TRUE(evaluateInPreferred("area()@Wall * 1 [m^-1]", &value, units, sizeof units));
    EXPECT_FLOAT_EQ(value, 0.002f);
    EXPECT_STREQ(units, "km");
    EXPECT_EQ(reportCount(), 0u) << lastReport();

    EXPECT_FALSE(evaluateInPreferred("1 / 0", &value, units, sizeof units));
    expectLastReport({.message = "Evaluation of '1 / 0' is undefined.", .className = "ExpressionEvaluator"});
    EXPECT_FALSE(evaluateInPreferred("1 [m] +", &value, units, sizeof units));
    expectLastReport({.family = "expressions::eval"});
}

// A store of user expressions that fails as a broken host would.
struct FailingStore : ExpressionStoreInterface {
    const ExpressionDef* getExpression(const std::string&) override { throw std::runtime_error("store gone"); }
    const std::map<std::string, std::string>& getConstants() override { throw std::runtime_error("store gone"); }
};

TEST_F(CalculateActionTest, StandardExceptionsAreReportedAsSystemErrors) {
    {
        FailingStore store;
        ExpressionInterfaces::setStore(&store);
        ExpressionEvaluator::clearExpressionCache();
        float value = 0.0f;
        EXPECT_FALSE(evaluateInPreferred("speed", &value, nullptr, 0));
        ExpressionInterfaces::setStore(nullptr);
    }
    expectLastReport({.message = "System Error: store gone",
                      .className = "IntegrateExecutor",
                      .operation = "calculate",
                      .family = "data::error",
                      .type = ErrStdException});

    storage->failure = 1;
    EXPECT_FALSE(calcTurboVariables());
    expectLastReport({.message = "System Error: no turbo data",
                      .className = "FunctionCalculator",
                      .operation = "calculate",
                      .family = "",
                      .type = ErrStdException});
}

TEST_F(CalculateActionTest, TurboVariablesAndViewArea) {
    EXPECT_TRUE(calcTurboVariables());
    EXPECT_EQ(storage->turboCalls, 1);

    // The wall drawn and seen along its normal covers its whole area.
    ViewerInterface& viewer = *ViewerInterface::instance();
    viewer.clear();
    const PlaneFrame frame;
    viewer.setViewDirection(toF(frame.normal()));
    const Patch patch = makePatch(ShapeType::Quadrilateral, "Wall");
    viewer.draw("/BOUNDARY:Wall", "", *patch.geometry, GraphicObject());
    float area = 0.0f;
    char units[3];
    EXPECT_TRUE(getViewArea(&area, units, sizeof units));
    EXPECT_NEAR(area, 2.0f, 1e-5f);
    EXPECT_STREQ(units, "m^");
    viewer.clear();

    // Without a registered storage the turbo call fails and says why.
    storage.reset();
    EXPECT_FALSE(calcTurboVariables());
    EXPECT_EQ(lastReport(), "DataStorageBase::instance called before instance has been registered.");
}

// The header is C: a C program that includes it and calls every function compiles as C11
// with warnings as errors. Compiled here with the C compiler the build uses, as the test
// build has no C target of its own.
TEST(CHeader, CompilesAsC) {
#if defined(_WIN32)
    GTEST_SKIP() << "the check runs the build's C compiler from a POSIX shell";
#else
    std::ifstream cache(std::string(ZEL_BINARY_DIR) + "/CMakeCache.txt");
    std::string line, compiler;
    while (std::getline(cache, line))
        if (line.rfind("CMAKE_C_COMPILER:", 0) == 0) compiler = line.substr(line.find('=') + 1);
    if (compiler.empty()) GTEST_SKIP() << "no C compiler recorded in the build's cache";
    const std::string root = std::string(ZEL_TEST_DATA_DIR) + "/../..";
    const std::string object = std::string(ZEL_BINARY_DIR) + "/c_header_check.o";
    const std::string command = "\"" + compiler + "\" -std=c11 -Wall -Wextra -Wpedantic -Werror -I\"" + root +
                                "\" -c \"" + root + "/tests/calculator/c_header_check.c\" -o \"" + object + "\"";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::remove(object.c_str());
#endif
}

} // namespace
} // namespace zel::test
