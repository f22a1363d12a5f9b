// The variable definition loader: what it stores from "/LIBRARY", what it reports and skips,
// and what it leaves behind when the store refuses a definition.
#include "ExprServerTestSupport.h"

#include "expressions/VariableDefs.h"
#include "framework/okl/OKLAPI.h"
#include "framework/okl/OKLCoreAPI.h"

#include <climits>

namespace zel::exprtest {
namespace {

using test::expectReport;

class VariableDefsTest : public HostTest {
protected:
    static void apply(const std::string& text) { OKLCoreAPI::instance()->processOKL(text, OKLCoreAPI::ModeUpdate); }
    static bool libraryExists() { return ObjectDB::instance()->getObjectByPath("/LIBRARY") != nullptr; }
    std::string field(const std::string& name, int selector) {
        return store.getVarDefData(name, static_cast<VariableDefStoreBase::varDBdata>(selector));
    }
    // A "VARIABLE:" block of the library text; an empty field is left out.
    static std::string variable(const std::string& shortName, const std::string& longName, const std::string& quantity,
                                const std::string& tensorType) {
        std::string block = "  VARIABLE: ";
        block += shortName;
        block += "\n    Long Name = ";
        block += longName;
        if (!quantity.empty()) (block += "\n    Quantity = ") += quantity;
        if (!tensorType.empty()) (block += "\n    Tensor Type = ") += tensorType;
        return block + "\n  END\n";
    }
    static std::string library(const std::vector<std::string>& blocks, const std::string& tail = "") {
        std::string text = "LIBRARY:\n";
        for (const std::string& block : blocks) text += block;
        return text + tail + "END\n";
    }
};

TEST_F(VariableDefsTest, StoresScalarsVectorsAndConstantsThenDeletesTheLibrary) {
    store.addConstant("g", "1 [m s^-2]"); // loaded constants of the same name win
    store.addConstant("kept", "2");
    apply(R"(LIBRARY:
  VARIABLE: p
    Long Name = Pressure
    Quantity = Pressure
    Tensor Type = SCALAR
    User Level = 1
    Variable Description = Static pressure
  END
  GROUP: Flow
    VARIABLE: vel
      Long Name = Velocity
      Quantity = Velocity
      Tensor Type = VECTOR
      User Level = 2
      Component Long Names = Velocity u, Velocity v
      Component Short Names = u, v, w, extra
    END
  END
  VARIABLE: rho
    Long Name = Density
    Quantity = Density
    Tensor Type = SCALAR
    NOTE: Remark
      Long Name = Not A Variable
      Quantity = Length
    END
  END
  ROX:
    PHYSICAL CONSTANTS:
      g = 9.81 [m s^-2]
      Stefan Boltzmann = 5.67e-8 [W m^-2 K^-4]
    END
  END
END
)");
    VariableDefs::process(OKLAPI::instance());

    EXPECT_TRUE(reports().empty());
    EXPECT_FALSE(libraryExists());

    const auto* p = store.findDefinition("Pressure");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->shortName, "p");
    EXPECT_EQ(p->quantity, "Pressure");
    EXPECT_EQ(p->tensorType, VariableDefStoreBase::Scalar);
    EXPECT_EQ(p->userLevel, 1);
    EXPECT_EQ(p->description, "Static pressure");

    // Nested below another object, with two component long names and four short names.
    const auto* vel = store.findDefinition("Velocity");
    ASSERT_NE(vel, nullptr);
    EXPECT_EQ(vel->shortName, "vel");
    EXPECT_EQ(vel->tensorType, VariableDefStoreBase::Vector);
    EXPECT_EQ(vel->userLevel, 2);
    EXPECT_EQ(field("Velocity", 2), "Velocity u");
    EXPECT_EQ(field("Velocity", 3), "Velocity v");
    EXPECT_EQ(field("Velocity", 4), "");
    EXPECT_EQ(field("Velocity", 8), "u");
    EXPECT_EQ(field("Velocity", 10), "w");
    EXPECT_EQ(field("Velocity", 11), ""); // items beyond the third are not components

    // Missing "User Level" and "Variable Description"; a child block of a definition (none
    // should exist) must not overwrite its fields.
    const auto* rho = store.findDefinition("Density");
    ASSERT_NE(rho, nullptr);
    EXPECT_EQ(rho->quantity, "Density");
    EXPECT_EQ(store.findDefinition("Not A Variable"), nullptr);
    EXPECT_EQ(rho->userLevel, 0);
    EXPECT_EQ(rho->description, "");
    EXPECT_EQ(field("Density", 15), "0");

    const std::map<std::string, std::string> constants{
        {"g", "9.81 [m s^-2]"}, {"Stefan Boltzmann", "5.67e-8 [W m^-2 K^-4]"}, {"kept", "2"}};
    EXPECT_EQ(store.getConstants(), constants);
    EXPECT_EQ(store.getDefinitions().size(), 3u);
}

TEST_F(VariableDefsTest, SkipsSymmetricTensorsSilentlyAndReportsUnknownTensorTypes) {
    apply(library({variable("strain", "Strain Rate", "Frequency", "SYMTEN2"),
                   variable("M", "Inertia", "Dimensionless", "MATRIX"), variable("none", "No Type", "Length", ""),
                   variable("T", "Temperature", "Temperature", "SCALAR")}));
    VariableDefs::process(OKLAPI::instance());

    ASSERT_EQ(reports().size(), 3u); // the last: no constants branch
    expectReport(reports()[0], {.message = "Unrecognised tensor type MATRIX in definition of variable M.",
                                .className = "VariableDefs",
                                .operation = "process",
                                .type = ErrError});
    // A definition without a tensor type is of an unknown (empty) type as well.
    EXPECT_EQ(reports()[1].getMessage(), "Unrecognised tensor type  in definition of variable none.");
    // A missing branch is a notice; the variables still load and the library goes.
    expectReport(reports()[2], {.message = "No physical constants were defined.",
                                .className = "VariableDefs",
                                .operation = "processVariableDefs",
                                .type = ErrNotice});

    EXPECT_EQ(store.findDefinition("Strain Rate"), nullptr);
    EXPECT_EQ(store.findDefinition("Inertia"), nullptr);
    EXPECT_EQ(store.findDefinition("No Type"), nullptr);
    EXPECT_NE(store.findDefinition("Temperature"), nullptr); // the rest is loaded
    EXPECT_FALSE(libraryExists());
}

TEST_F(VariableDefsTest, NoLibraryGivesBothNotices) {
    addObject("PLANE", "Slice 1");
    VariableDefs::process(OKLAPI::instance());
    ASSERT_EQ(reports().size(), 2u);
    EXPECT_EQ(reports()[0].getMessage(), "No variables were defined.");
    EXPECT_EQ(reports()[1].getMessage(), "No physical constants were defined.");
    EXPECT_EQ(reports()[1].getErrorType(), ErrNotice);
    EXPECT_TRUE(store.getDefinitions().empty());
    EXPECT_NE(ObjectDB::instance()->getObjectByName("Slice 1"), nullptr); // nothing else is touched
}

TEST_F(VariableDefsTest, DuplicateLongNamePassesOutAndKeepsTheLibrary) {
    apply(library({variable("p", "Pressure", "Pressure", "SCALAR"), variable("vel", "Velocity", "Velocity", "VECTOR"),
                   variable("pstat", "Pressure", "Pressure", "SCALAR"),
                   variable("T", "Temperature", "Temperature", "SCALAR")},
                  "  ROX:\n    PHYSICAL CONSTANTS:\n      g = 9.81 [m s^-2]\n    END\n  END\n"));
    expectError<data::duplicate>([] { VariableDefs::process(OKLAPI::instance()); },
                                 {.className = "VariableDefStoreBase",
                                  .operation = "addScalarVarDef",
                                  .message = "Variable Declaration 'Pressure' already exists."});
    // What was stored before the failure stays; nothing after it is read.
    EXPECT_EQ(store.findDefinition("Pressure")->shortName, "p");
    EXPECT_NE(store.findDefinition("Velocity"), nullptr);
    EXPECT_EQ(store.findDefinition("Temperature"), nullptr);
    EXPECT_TRUE(store.getConstants().empty());
    EXPECT_TRUE(libraryExists());
    EXPECT_TRUE(reports().empty());

    // A vector of a long name the store has reports the vector's own message.
    ObjectDB::instance()->clear();
    apply(library({variable("v2", "Velocity", "", "VECTOR")}));
    expectError<data::duplicate>([] { VariableDefs::process(OKLAPI::instance()); },
                                 {.className = "VariableDefStoreBase",
                                  .operation = "addVectorVarDef",
                                  .message = "Variable 'Velocity' already exists."});
    EXPECT_TRUE(libraryExists());
}

TEST_F(VariableDefsTest, NullApiFails) {
    expectError<internal::nullPointer>(
        [] { VariableDefs::process(nullptr); },
        {.className = "VariableDefs", .operation = "process", .message = "Null pointer to OKLAPI."});
}

TEST(VariableDefsNoStore, FailsBeforeTouchingTheLibrary) {
    ObjectDB::instance()->clear();
    OKLCoreAPI::instance()->processOKL("LIBRARY:\n  VARIABLE: T\n    Tensor Type = SCALAR\n  END\nEND\n");
    EXPECT_THROW(VariableDefs::process(OKLAPI::instance()), internal::error);
    EXPECT_NE(ObjectDB::instance()->getObjectByPath("/LIBRARY"), nullptr);
    ObjectDB::instance()->clear();
}

TEST(VariableDefsUserLevel, ReadLikeAtoi) {
    EXPECT_EQ(VariableDefs::userLevelOf(""), 0);
    EXPECT_EQ(VariableDefs::userLevelOf("3"), 3);
    EXPECT_EQ(VariableDefs::userLevelOf("  2 "), 2);
    EXPECT_EQ(VariableDefs::userLevelOf("\t+7"), 7);
    EXPECT_EQ(VariableDefs::userLevelOf("-1"), -1);
    EXPECT_EQ(VariableDefs::userLevelOf("2abc"), 2);
    EXPECT_EQ(VariableDefs::userLevelOf("1.9"), 1);
    EXPECT_EQ(VariableDefs::userLevelOf("Basic"), 0);
    EXPECT_EQ(VariableDefs::userLevelOf("- 1"), 0);
    EXPECT_EQ(VariableDefs::userLevelOf("99999999999999999999"), INT_MAX);
    EXPECT_EQ(VariableDefs::userLevelOf("-99999999999999999999"), INT_MIN);
}

} // namespace
} // namespace zel::exprtest
