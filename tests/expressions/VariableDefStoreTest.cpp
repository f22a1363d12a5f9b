// The variable definition store: registration, definitions, name questions, name splitting
// and base units.
#include "ExprServerTestSupport.h"

namespace zel::exprtest {
namespace {

// getBaseUnits asks the storage for the phases of the results: none until a test sets them.
class DefStoreTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        store.addScalarVarDef("Pressure", "p", "Pressure", 1, "Static pressure");
        store.addScalarVarDef("Density", "density", "Density", 7, "Density");
        store.addVectorVarDef("Velocity", "vel", "Velocity u", "Velocity v", "Velocity w", "u", "v", "w", "Velocity", 2,
                              "");
        store.addScalarVarDef("X Coordinate", "x", "Length", 3, "");
    }
};

TEST(DefStoreRegistration, InstanceRules) {
    expectError<internal::error>(
        [] { VariableDefStoreBase::instance(); },
        {.className = "VariableDefStoreBase",
         .operation = "instance",
         .message = "VariableDefStoreBase::instance called before instance has been registered."});
    HostDefStore first, second;
    VariableDefStoreBase::registerInstance(&first);
    EXPECT_EQ(VariableDefStoreBase::instance(), &first);
    expectError<internal::error>([&] { VariableDefStoreBase::registerInstance(&second); },
                                 {.className = "VariableDefStoreBase",
                                  .operation = "registerInstance",
                                  .message = "VariableDefStoreBase::registerInstance second time."});
    EXPECT_EQ(VariableDefStoreBase::instance(), &first);
    // The base store alone knows no operator word; its tables are there for a concrete one
    // (their words and units are checked through the server's suffix effects).
    VariableDefStoreBase base;
    EXPECT_TRUE(base.getVariableSuffixes().empty());
    EXPECT_FALSE(base.isAnOperator("Gradient"));
    EXPECT_EQ(base.getOperatorTable().size(), 22u);
    EXPECT_EQ(base.getOperatorWords().size(), 22u);
    EXPECT_TRUE(base.getUpdateFlag());
}

TEST_F(DefStoreTest, DefinitionsAndTheirFields) {
    using D = VariableDefStoreBase;
    EXPECT_EQ(store.getVarDefData("Pressure", D::DataShortName), "p");
    EXPECT_EQ(store.getVarDefData("Pressure", D::DataQuantity), "Pressure");
    EXPECT_EQ(store.getVarDefData("Pressure", D::DataTensorType), "SCALAR");
    EXPECT_EQ(store.getVarDefData("Pressure", D::DataUserLevel), "1");
    EXPECT_EQ(store.getVarDefData("Density", D::DataUserLevel), "0"); // level 7 reads "0"
    EXPECT_EQ(store.getVarDefData("Velocity", D::DataTensorType), "VECTOR");
    EXPECT_EQ(store.getVarDefData("Velocity", D::varDBdata(3)), "Velocity v"); // component long name 2
    EXPECT_EQ(store.getVarDefData("Velocity", D::varDBdata(10)), "w");         // component short name 3
    EXPECT_EQ(store.getVarDefData("Velocity", D::varDBdata(5)), "");           // component 4: none
    EXPECT_EQ(store.getVarDefData("X", D::DataShortName), "x");                // through the alias
    EXPECT_EQ(store.getVarDefData("Pressure", D::varDBdata(16)), "");
    EXPECT_EQ(store.getVarDefData("Speed", D::DataShortName), "");

    // A second definition of a long name fails and changes nothing, whatever its short name.
    expectError<data::duplicate>([&] { store.addScalarVarDef("Pressure", "P2", "Energy", 2, ""); },
                                 {.className = "VariableDefStoreBase",
                                  .operation = "addScalarVarDef",
                                  .message = "Variable Declaration 'Pressure' already exists."});
    expectError<data::duplicate>([&] { store.addVectorVarDef("Velocity", "", "", "", "", "", "", "", "", 0, ""); },
                                 {.className = "VariableDefStoreBase",
                                  .operation = "addVectorVarDef",
                                  .message = "Variable 'Velocity' already exists."});
    EXPECT_EQ(store.getVarDefData("Pressure", D::DataShortName), "p");
    EXPECT_EQ(store.getDefinitions().size(), 4u);

    EXPECT_EQ(store.getVariableDescription("Pressure"), "Static pressure");
    EXPECT_EQ(store.getVariableDescription("Density"), ""); // same as its long name
    EXPECT_EQ(store.getVariableDescription("Speed"), "");

    store.addConstant("g", "9.81 [m s^-2]");
    store.addConstant("g", "9.80665 [m s^-2]");
    EXPECT_EQ(store.getConstants(), (std::map<std::string, std::string>{{"g", "9.80665 [m s^-2]"}}));

    std::vector<std::string> names{"stale"};
    store.getUserLevelVars(2, names);
    EXPECT_EQ(names, (std::vector<std::string>{"Velocity", "Velocity u", "Velocity v", "Velocity w"}));
    store.getUserLevelVars(4, names);
    EXPECT_TRUE(names.empty());
}

TEST_F(DefStoreTest, LongAndComponentNames) {
    EXPECT_EQ(store.getVarLongName("X"), "X Coordinate");
    EXPECT_EQ(store.getVarLongName("Pressure"), "Pressure");
    EXPECT_EQ(store.getVarLongName("vel"), "Velocity");
    EXPECT_EQ(store.getVarLongName("Velocity Z"), "Velocity");
    EXPECT_EQ(store.getVarLongName("Velocity W"), "");
    EXPECT_EQ(store.getVarLongName("Speed"), "");
    expectError<data::notFound>(
        [&] { store.getVarLongName(""); },
        {.className = "VariableDefStoreBase", .operation = "getVarLongName", .message = "Variable '' does not exist."});

    std::string out;
    EXPECT_TRUE(store.standardizeLongName("Y", out));
    EXPECT_EQ(out, "Y Coordinate");
    EXPECT_FALSE(store.standardizeLongName("Pressure", out));
    EXPECT_EQ(out, "Pressure");

    EXPECT_EQ(store.getVarComponentName("Velocity", 1), "Velocity v");
    EXPECT_EQ(store.getVarComponentName("Water.Velocity", 2), "Water.Velocity w");
    EXPECT_EQ(store.getVarComponentName("Speed", 1), "Speed Y");
    EXPECT_EQ(store.getVarComponentName("Speed", 4), "Speed");
    EXPECT_EQ(store.getVarComponentName("Velocity.Gradient", 0), "Velocity.Gradient X");
    EXPECT_EQ(store.getVarComponentName("Pressure", 2), "Pressure Z");
    testing::internal::CaptureStderr();
    EXPECT_EQ(store.getVarComponentName("Velocity.X", 1), "Velocity.X");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: VariableDefStoreBase::getVarComponentName: component passed in: Velocity.X\n");
}

TEST_F(DefStoreTest, SplittingNames) {
    const auto split = [&](const std::string& name) {
        const auto p = store.splitVariableName(name);
        return std::vector<std::string>{p.qualifier1, p.qualifier2, p.base, p.op, p.component};
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(split("Pressure"), (V{"", "", "Pressure", "", ""}));
    EXPECT_EQ(split("Water.Velocity.Gradient.X"), (V{"Water", "", "Velocity", "Gradient", "X"}));
    EXPECT_EQ(split("Water.Gas.Velocity.Curl Y.Z"), (V{"Water", "Gas", "Velocity", "Curl Y", "Z"}));
    EXPECT_EQ(split("Water.Velocity.Specific.Gradient"), (V{"Water", "", "Velocity", "Gradient", ""}));
    EXPECT_EQ(split("Density.Volumetric.Bforce"), (V{"", "", "Density", "Bforce", ""}));
    EXPECT_EQ(split("Velocity.Y"), (V{"", "", "Velocity", "", "Y"}));
    // An operator word with nothing before it is the base.
    EXPECT_EQ(split("Gradient.X"), (V{"", "", "Gradient", "", "X"}));
    // Parts between the second qualifier and the base are dropped.
    EXPECT_EQ(split("A.B.C.D.E"), (V{"A", "B", "E", "", ""}));

    // The outputs are cleared, except base, which is only assigned.
    std::string q1 = "x", q2 = "x", base = "x", op = "x", comp = "x";
    store.splitVariableName("Pressure", q1, q2, base, op, comp);
    EXPECT_EQ(q1 + q2 + op + comp, "");

    expectError<data::invalid>([&] { split(""); }, {.className = "VariableDefStoreBase",
                                                    .operation = "splitVariableName",
                                                    .message = "Cannot split an empty variable name."});
    expectError<data::invalid>([&] { split("A.B.C.D.E.F"); },
                               {.className = "VariableDefStoreBase",
                                .operation = "splitVariableName",
                                .message = "A.B.C.D.E.F has too many parts for a valid variable name."});
    expectError<data::invalid>([&] { split("Specific.Gradient.X"); },
                               {.className = "VariableDefStoreBase",
                                .operation = "splitVariableName",
                                .message = "Specific.Gradient.X has no variable before 'Specific'."});

    // Without operator words nothing is an operator.
    store.withOperators = false;
    EXPECT_FALSE(store.isAnOperator("Gradient"));
    EXPECT_EQ(split("Water.Velocity.Gradient.X"), (V{"Water", "Velocity", "Gradient", "", "X"}));
    store.withOperators = true;
    EXPECT_TRUE(store.isAnOperator("Gradient Z"));
    EXPECT_FALSE(store.isAnOperator("gradient"));
}

TEST_F(DefStoreTest, BaseUnitsFromDefinitions) {
    EXPECT_EQ(store.getBaseUnits("Pressure", false), "kg m^-1 s^-2");
    EXPECT_EQ(store.getBaseUnits("p", false), "kg m^-1 s^-2");
    EXPECT_EQ(store.getBaseUnits("Pressure.Gradient", false), "kg m^-1 s^-2 m^-1");
    EXPECT_EQ(store.getBaseUnits("Water.Velocity.Curl.X", false), "m s^-1 m^-1");
    EXPECT_EQ(store.getBaseUnits("Pressure.Specific.Gradient Y", false), "kg m^-1 s^-2 m^-1");
    EXPECT_EQ(store.getBaseUnits("Pressure.Specific", false), "");
    EXPECT_EQ(store.getBaseUnits("Pressure.Beta", false), "");
    EXPECT_EQ(store.getBaseUnits("Pressure.Residual Z", false), "");
    EXPECT_EQ(store.getBaseUnits("Pressure.Bforce", false), "kg m^-1 s^-2");
    EXPECT_EQ(store.getBaseUnits("Speed", false), "");
    store.addScalarVarDef("Mystery", "", "", 1, "");
    EXPECT_EQ(store.getBaseUnits("Mystery", false), "");
}

TEST_F(DefStoreTest, BaseUnitsFromVariableObjects) {
    addObject("SCALAR VARIABLE", "Pressure", {{"Variable Dimensions", "1, -1, -2, 0, 0, 0, 0, 0, 0, 0"}});
    addObject("VECTOR VARIABLE", "Wall Shear", {{"Variable Dimensions", "1, -1, -2, 0, 0, 0, 0, 0, 0"}});
    addObject("USER SCALAR VARIABLE", "Head", {{"Base Units", "m"}, {"Expression", "Pressure"}});
    addObject("USER SCALAR VARIABLE", "Twice", {{"Expression", "2 [K]"}});
    addObject("USER VECTOR VARIABLE", "Drift",
              {{"X Expression", "1 [m s^-1]"}, {"Y Expression", "0 [m s^-1]"}, {"Z Expression", "0 [m s^-1]"}});
    addObject("CALCULATOR", "CALCULATOR");

    EXPECT_EQ(store.getBaseUnits("Pressure", false), "kg m^-1 s^-2");
    EXPECT_EQ(store.getBaseUnits("Head", false), "m");
    EXPECT_EQ(store.getBaseUnits("Twice", true), "K");
    EXPECT_EQ(store.getBaseUnits("Drift", true), "m s^-1");
    // Without "Base Units" only the expression language's question is answered.
    EXPECT_THROW(store.getBaseUnits("Twice", false), data::notFound);
    expectError<internal::error>(
        [&] { store.getBaseUnits("Wall Shear", false); },
        {.className = "VariableDefStoreBase",
         .operation = "getBaseUnits",
         .message = "Invalid dimension value for variable 'Wall Shear': (1, -1, -2, 0, 0, 0, 0, 0, 0)."});
    expectError<data::notFound>([&] { store.getBaseUnits("CALCULATOR", false); },
                                {.className = "VariableDefStoreBase",
                                 .operation = "getBaseUnits",
                                 .message = "CALCULATOR is not a Variable object."});

    // With two or more phases, a name is looked for with each phase in front.
    addObject("SCALAR VARIABLE", "Air.Volume Fraction", {{"Variable Dimensions", "1,-3,0,0,0,0,0,0,0,0"}});
    addObject("CALCULATOR", "Air.Speed");
    EXPECT_EQ(store.getBaseUnits("Volume Fraction", false), ""); // one phase: by definition, unknown
    storage.phases = {"Water", "Air"};
    EXPECT_EQ(store.getBaseUnits("Volume Fraction", false), "kg m^-3");
    expectError<data::notFound>([&] { store.getBaseUnits("Speed", false); },
                                {.className = "VariableDefStoreBase",
                                 .operation = "getBaseUnits",
                                 .message = "Air.Speed is not a Variable object."});
}

TEST_F(DefStoreTest, NamesForTheExpressionLanguage) {
    std::vector<ExpressionVariableInfo> out;
    std::set<std::string> seen{"p"};
    store.addVarDefs(out, seen);
    std::vector<std::pair<std::string, std::string>> listed;
    for (const auto& info : out) {
        listed.emplace_back(info.name, info.variable);
        EXPECT_FALSE(info.validName);
        EXPECT_EQ(info.units, "");
    }
    const std::vector<std::pair<std::string, std::string>> expected{
        {"density", "Density"},          {"Density", "Density"}, {"Pressure", "Pressure"},     {"vel", "Velocity"},
        {"Velocity", "Velocity"},        {"u", "Velocity u"},    {"Velocity u", "Velocity u"}, {"v", "Velocity v"},
        {"Velocity v", "Velocity v"},    {"w", "Velocity w"},    {"Velocity w", "Velocity w"}, {"x", "X Coordinate"},
        {"X Coordinate", "X Coordinate"}};
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(seen.size(), expected.size() + 1);

    store.resetUpdateFlags();
    EXPECT_TRUE(store.getUpdateFlag());
}

} // namespace
} // namespace zel::exprtest
