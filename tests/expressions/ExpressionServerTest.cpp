// The expression server: registration, user expressions and constants, the variables and
// prefixes lists with their caches, suffix effects, coordinate frames and locators.
#include "ExprServerTestSupport.h"

#include "expressions/ExpressionServer.h"
#include "framework/expressions/ExpressionEvaluator.h"
#include "framework/okl/OKLCoreAPI.h"
#include "framework/units/UnitDimensions.h"

#include <tuple>

namespace zel::exprtest {
namespace {

using Entry = std::tuple<std::string, std::string, bool, std::string, std::string>;

std::vector<Entry> entriesOf(ExpressionServer& server, const std::vector<std::string>& names, bool withUnits) {
    std::vector<Entry> out;
    for (const std::string& name : names) {
        const ExpressionVariableInfo* info = server.getVariable(name, withUnits);
        if (info == nullptr)
            out.emplace_back(name, "<none>", false, "", "");
        else
            out.emplace_back(info->name, info->variable, info->validName, info->units, info->dimensions);
    }
    return out;
}

// The server with its lists in view.
class InspectableServer : public ExpressionServer {
public:
    using ExpressionServer::getVariablePrefixes;
    using ExpressionServer::getVariables;
};

void compileSomething() {
    ExpressionEvaluator::getDimensions("2 [m] * 3", "");
    ASSERT_GT(ExpressionEvaluator::expressionCacheSize(), 0u);
}

class ServerTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        store.addScalarVarDef("Pressure", "p", "Pressure", 1, "");
        store.addScalarVarDef("Temperature", "T", "Temperature", 1, "");
        store.addScalarVarDef("X Coordinate", "X", "Length", 1, "");
        store.addScalarVarDef("Y Coordinate", "ycoord", "Length", 1, "");
        store.addVectorVarDef("Velocity", "vel", "Velocity X", "Velocity Y", "Velocity Z", "u", "v", "w", "Velocity", 1,
                              "");
        server = std::make_unique<InspectableServer>();
    }
    void TearDown() override {
        server.reset();
        HostTest::TearDown();
    }
    std::unique_ptr<InspectableServer> server;
};

TEST(ServerRegistration, ServesTheLanguageAndObservesTheDatabaseWhileAlive) {
    ObjectDB::instance()->clear();
    {
        ExpressionServer server;
        EXPECT_EQ(ExpressionInterfaces::store(), static_cast<ExpressionStoreInterface*>(&server));
        EXPECT_EQ(ExpressionInterfaces::variables(), static_cast<ExpressionVariablesInterface*>(&server));
        EXPECT_EQ(ExpressionInterfaces::coordinates(), static_cast<ExpressionCoordinatesInterface*>(&server));
        EXPECT_EQ(ExpressionInterfaces::locators(), static_cast<ExpressionLocatorsInterface*>(&server));

        // A new variable object changes what names mean: the database tells the server,
        // which drops the compiled expressions.
        compileSomething();
        addObject("SCALAR VARIABLE", "Pressure");
        EXPECT_EQ(ExpressionEvaluator::expressionCacheSize(), 0u);
        // A plane defines no names: compiled expressions stay.
        compileSomething();
        addObject("PLANE", "Slice 1");
        EXPECT_GT(ExpressionEvaluator::expressionCacheSize(), 0u);
    }
    EXPECT_EQ(ExpressionInterfaces::store(), nullptr);
    EXPECT_EQ(ExpressionInterfaces::variables(), nullptr);
    EXPECT_EQ(ExpressionInterfaces::coordinates(), nullptr);
    EXPECT_EQ(ExpressionInterfaces::locators(), nullptr);
    // The database no longer calls the destroyed server.
    addObject("SCALAR VARIABLE", "Temperature");
    ObjectDB::instance()->clear();
}

TEST_F(ServerTest, CacheClearedByVariableAndResultUpdatesAndByReset) {
    for (int type = NotifyNone; type <= NotifyViewChanged; ++type) {
        compileSomething();
        server->update(static_cast<NotifyType>(type));
        const bool cleared = ExpressionEvaluator::expressionCacheSize() == 0;
        EXPECT_EQ(cleared, type == NotifyVariablesChanged || type == NotifyResultsLoaded) << "type " << type;
    }
    // A reset marks everything stale.
    store.markUpToDate();
    compileSomething();
    server->resetVariableUpdateFlags();
    EXPECT_TRUE(store.getUpdateFlag());
    EXPECT_EQ(ExpressionEvaluator::expressionCacheSize(), 0u);
}

TEST_F(ServerTest, UserExpressionsComeFromTheLibraryExpressionsObject) {
    EXPECT_EQ(server->getExpression("Inlet Pressure"), nullptr);
    EXPECT_TRUE(reports().empty());

    OKLCoreAPI::instance()->processOKL(R"(LIBRARY:
  ROX:
    EXPRESSIONS:
      Inlet Pressure = 2 [bar]
      Ratio = Pressure / Inlet Pressure
    END
  END
END
)");
    const ExpressionDef* ratio = server->getExpression("Ratio");
    ASSERT_NE(ratio, nullptr);
    EXPECT_EQ(ratio->expression, "Pressure / Inlet Pressure");
    EXPECT_EQ(server->getExpression("Inlet Pressure")->expression, "2 [bar]");
    EXPECT_EQ(server->getExpression("ratio"), nullptr); // names are case-sensitive
    EXPECT_TRUE(reports().empty());

    // Another kind of object in the expressions' place: a warning, and no expressions.
    ObjectDB::instance()->clear();
    OKLCoreAPI::instance()->processOKL(
        "LIBRARY:\n  ROX:\n    NOTE: EXPRESSIONS\n      Ratio = 2\n    END\n  END\nEND\n");
    EXPECT_EQ(server->getExpression("Ratio"), nullptr);
    ASSERT_EQ(reports().size(), 1u);
    test::expectReport(reports()[0], {.message = "Object 'EXPRESSIONS' is not of type 'EXPRESSIONS'.",
                                      .className = "ExpressionServer",
                                      .operation = "getExpressions",
                                      .type = ErrWarning});
}

TEST_F(ServerTest, VariablesListBasesLongNamesAndShortNamesOnce) {
    storage.phases = {"Water", "Air"};
    addScalarVariable("Pressure", kDimsPressure);
    addScalarVariable("X", "0, 1, 0, 0, 0, 0, 0, 0, 0, 0");
    addScalarVariable("Y", "0, 1, 0, 0, 0, 0, 0, 0, 0, 0");
    addScalarVariable("Water.Temperature", kDimsTemperature);
    addScalarVariable("Air.Temperature", kDimsTemperature);
    addScalarVariable("Velocity.Gradient", "0, 0, -1, 0, 0, 0, 0, 0, 0, 0");
    addScalarVariable("2nd Moment", "0, 0, 0, 0, 0, 0, 0, 0, 0, 0");

    // Each row as listed with units; without them the units and dimensions are empty.
    const std::string pressure = "kg m^-1 s^-2", pressureDims = "1,-1,-2,0,0,0,0,0,0,0";
    const std::string length = "m", lengthDims = "0,1,0,0,0,0,0,0,0,0";
    const std::vector<Entry> withUnits{
        {"Pressure", "Pressure", true, pressure, pressureDims},
        {"p", "Pressure", true, pressure, pressureDims},
        {"X", "X", true, length, lengthDims},
        {"X Coordinate", "X", true, length, lengthDims}, // the alias target stands for the object's name
        {"Y", "Y", true, length, lengthDims},
        {"Y Coordinate", "Y", true, length, lengthDims},
        {"ycoord", "Y", true, length, lengthDims},
        // The base of the phases' names, with the units of the first phase's object.
        {"Temperature", "Temperature", true, "K", "0,0,0,1,0,0,0,0,0,0"},
        {"T", "Temperature", true, "K", "0,0,0,1,0,0,0,0,0,0"},
        // The base of a name with an operator; no object of the name or a phase's: units
        // from the definition.
        {"Velocity", "Velocity", true, "m s^-1", "0,1,-1,0,0,0,0,0,0,0"},
        {"vel", "Velocity", true, "m s^-1", "0,1,-1,0,0,0,0,0,0,0"},
        {"2nd Moment", "2nd Moment", false, "", "0,0,0,0,0,0,0,0,0,0"},
        {"Water.Temperature", "<none>", false, "", ""}, // qualified names are not listed
        {"Velocity.Gradient", "<none>", false, "", ""},
        {"u", "<none>", false, "", ""}, // component short names are not listed
    };
    std::vector<std::string> names;
    std::vector<Entry> plain;
    for (const auto& [name, variable, valid, units, dims] : withUnits) {
        names.push_back(name);
        plain.emplace_back(name, variable, valid, "", "");
    }
    EXPECT_EQ(entriesOf(*server, names, false), plain);
    EXPECT_EQ(entriesOf(*server, names, true), withUnits);
}

TEST_F(ServerTest, VariablesListIsRebuiltForUnitsAndAfterReset) {
    EXPECT_EQ(server->getVariable("Pressure", false), nullptr);
    addScalarVariable("Pressure", kDimsPressure); // an empty list is rebuilt at every request

    const ExpressionVariableInfo* plain = server->getVariable("Pressure", false);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->units, "");

    // Units asked for after a list without them: rebuilt.
    const ExpressionVariableInfo* withUnits = server->getVariable("Pressure", true);
    ASSERT_NE(withUnits, nullptr);
    EXPECT_EQ(withUnits->units, "kg m^-1 s^-2");

    // The reverse keeps the list: the entry still has its units, and a variable made since
    // is not seen.
    addScalarVariable("Temperature", kDimsTemperature);
    EXPECT_EQ(server->getVariable("Pressure", false), withUnits);
    EXPECT_EQ(server->getVariable("Pressure", false)->units, "kg m^-1 s^-2");
    EXPECT_EQ(server->getVariable("Temperature", true), nullptr);

    server->resetVariableUpdateFlags();
    ASSERT_NE(server->getVariable("Temperature", false), nullptr);
    EXPECT_EQ(server->getVariable("Temperature", false)->units, "");
}

TEST_F(ServerTest, FailedUnitsKeepTheListWithoutUnits) {
    // A user variable without "Base Units": the list with units cannot be built.
    addScalarVariable("Pressure", kDimsPressure);
    addObject("USER SCALAR VARIABLE", "Speed", {{"Expression", "Pressure / 1 [kg m^-2 s^-1]"}});

    const ExpressionVariableInfo* plain = server->getVariable("Speed", false);
    ASSERT_NE(plain, nullptr);
    EXPECT_THROW(server->getVariable("Speed", true), data::notFound);
    EXPECT_EQ(server->getVariable("Speed", false), plain); // still the earlier list

    // The language falls back to the list without units and asks for the units of the
    // expression.
    const UnitDimensions dims = ExpressionEvaluator::getDimensions("Speed * 2 [s]", "");
    EXPECT_EQ(dims.commaString(), "0,1,0,0,0,0,0,0,0,0");
}

TEST_F(ServerTest, PrefixesAreQualifiersInDatabaseOrder) {
    addScalarVariable("Water.Temperature", kDimsTemperature);
    addScalarVariable("Air.Temperature", kDimsTemperature);
    addScalarVariable("Gas", kDimsTemperature);
    addScalarVariable("Gas.Temperature", kDimsTemperature); // a qualifier that is a variable
    addScalarVariable("Oil.Droplets.Temperature", kDimsTemperature);
    addScalarVariable("Air.Velocity.Gradient X", "0, 0, -1, 0, 0, 0, 0, 0, 0, 0");
    addScalarVariable("Water.Pressure", kDimsPressure);

    EXPECT_EQ(server->getVariablePrefixes(), (std::vector<std::string>{"Water", "Air", "Oil", "Droplets"}));
    for (const char* other : {"Gas", "Temperature", "Velocity", "Gradient X", "X", "water", ""})
        EXPECT_FALSE(server->isVariablePrefix(other)) << other;
    EXPECT_TRUE(server->isVariablePrefix("Droplets"));

    // The phases share one entry of each base.
    std::vector<std::string> listed;
    for (const ExpressionVariableInfo& info : server->getVariables(false)) listed.push_back(info.name);
    EXPECT_EQ(listed, (std::vector<std::string>{"Temperature", "T", "Gas", "Velocity", "vel", "Pressure", "p"}));
}

TEST_F(ServerTest, PrefixesAreCachedUntilResetButNeverWhenEmpty) {
    EXPECT_FALSE(server->isVariablePrefix("Air"));
    addScalarVariable("Air.Temperature", kDimsTemperature);
    EXPECT_TRUE(server->isVariablePrefix("Air")); // an empty list is rebuilt at every request

    addScalarVariable("Oil.Temperature", kDimsTemperature);
    EXPECT_FALSE(server->isVariablePrefix("Oil"));
    server->resetVariableUpdateFlags();
    EXPECT_EQ(server->getVariablePrefixes(), (std::vector<std::string>{"Air", "Oil"}));

    // What the language makes of a phase and a base or short name.
    EXPECT_EQ(ExpressionEvaluator::getNeededVariables("Air.T + Oil.Temperature"),
              (std::vector<std::string>{"Air.Temperature", "Oil.Temperature"}));
}

TEST_F(ServerTest, SuffixEffectsAndTheirUnitsInTheLanguage) {
    using Effect = ExpressionVariablesInterface::SuffixEffect;
    const std::vector<std::tuple<std::string, int, std::string>> cases{
        {"Gradient", Effect::ApplyUnits, "m^-1"},     {"Curl Z", Effect::ApplyUnits, "m^-1"},
        {"Residual X", Effect::Dimensionless, ""},    {"Beta", Effect::Dimensionless, ""},
        {"Bforce Y", Effect::KeepUnits, ""},          {"Specific", Effect::ApplyUnits, "kg^-1 m^3"},
        {"Volumetric", Effect::ApplyUnits, "kg m^-3"}};
    for (const auto& [word, code, units] : cases) {
        Effect effect(99, "untouched");
        EXPECT_TRUE(server->isVariableSuffix(word, effect)) << word;
        EXPECT_EQ(effect.code, code) << word;
        EXPECT_EQ(effect.units, units) << word;
    }
    for (const char* word : {"gradient", "Gradient W", "X", ""}) {
        Effect effect(99, "untouched");
        EXPECT_FALSE(server->isVariableSuffix(word, effect)) << word;
        EXPECT_EQ(effect.code, 99);
        EXPECT_EQ(effect.units, "untouched");
    }
    // A store that offers no operator words: no suffixes.
    store.withOperators = false;
    Effect effect;
    EXPECT_FALSE(server->isVariableSuffix("Gradient", effect));

    // What the language makes of them.
    store.withOperators = true;
    addScalarVariable("Pressure", kDimsPressure);
    EXPECT_EQ(ExpressionEvaluator::getDimensions("Pressure.Gradient X", "").commaString(), "1,-2,-2,0,0,0,0,0,0,0");
    EXPECT_EQ(ExpressionEvaluator::getDimensions("p.Residual", "").commaString(), "0,0,0,0,0,0,0,0,0,0");
    EXPECT_EQ(ExpressionEvaluator::getDimensions("p.Bforce", "").commaString(), "1,-1,-2,0,0,0,0,0,0,0");
    EXPECT_EQ(ExpressionEvaluator::getNeededVariables("p.Gradient X"), std::vector<std::string>{"Pressure.Gradient X"});
}

TEST_F(ServerTest, CoordinateFramesAndLocatorsAreReadAtEveryRequest) {
    EXPECT_FALSE(server->isCoordinateFrame("Coord 1"));
    OKLObject* frame = addObject("COORD FRAME", "Coord 1");
    addObject("PLANE", "Slice 1");
    addObject("DOMAIN", "Fluid");
    addObject("CONTOUR", "Contour 1");
    addScalarVariable("Pressure", kDimsPressure);

    EXPECT_TRUE(server->isCoordinateFrame("Coord 1"));
    EXPECT_FALSE(server->isCoordinateFrame("Slice 1"));
    EXPECT_TRUE(server->isLocator("Slice 1"));
    EXPECT_TRUE(server->isLocator("Fluid"));
    for (const char* other : {"Coord 1", "Contour 1", "Pressure", "slice 1", ""})
        EXPECT_FALSE(server->isLocator(other)) << other;

    ObjectDB::instance()->deleteObject(frame);
    ObjectDB::instance()->deleteObject("Slice 1");
    EXPECT_FALSE(server->isCoordinateFrame("Coord 1"));
    EXPECT_FALSE(server->isLocator("Slice 1"));
}

} // namespace
} // namespace zel::exprtest
