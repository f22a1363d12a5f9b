// The variable definition loader: what it stores from "/LIBRARY", what it reports and skips,
// and what it leaves behind when the store refuses a definition.
#include "ExprServerTestSupport.h"

#include "expressions/VariableDefs.h"
#include "framework/okl/OKLAPI.h"
#include "framework/okl/OKLCoreAPI.h"

#include <climits>

namespace zel::exprtest {
namespace {

class VariableDefsTest : public HostTest {
protected:
    static void apply(const std::string& text) { OKLCoreAPI::instance()->processOKL(text, OKLCoreAPI::ModeUpdate); }
    static bool libraryExists() { return ObjectDB::instance()->getObjectByPath("/LIBRARY") != nullptr; }
    std::string field(const std::string& name, int selector) {
        return store.getVarDefData(name, static_cast<VariableDefStoreBase::varDBdata>(selector));
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
    apply(R"(LIBRARY:
  VARIABLE: strain
    Long Name = Strain Rate
    Quantity = Frequency
    Tensor Type = SYMTEN2
  END
  VARIABLE: M
    Long Name = Inertia
    Quantity = Dimensionless
    Tensor Type = MATRIX
  END
  VARIABLE: none
    Long Name = No Type
    Quantity = Length
  END
  VARIABLE: T
    Long Name = Temperature
    Quantity = Temperature
    Tensor Type = SCALAR
  END
END
)");
    VariableDefs::process(OKLAPI::instance());

    ASSERT_EQ(reports().size(), 3u); // the last: no constants branch
    EXPECT_EQ(reports()[0].getClassName(), "VariableDefs");
    EXPECT_EQ(reports()[0].getOperation(), "process");
    EXPECT_EQ(reports()[0].getMessage(), "Unrecognised tensor type MATRIX in definition of variable M.");
    EXPECT_EQ(reports()[0].getErrorType(), ErrError);
    // A definition without a tensor type is of an unknown (empty) type as well.
    EXPECT_EQ(reports()[1].getMessage(), "Unrecognised tensor type  in definition of variable none.");
    // A missing branch is a notice; the variables still load and the library goes.
    EXPECT_EQ(reports()[2].getClassName(), "VariableDefs");
    EXPECT_EQ(reports()[2].getOperation(), "processVariableDefs");
    EXPECT_EQ(reports()[2].getMessage(), "No physical constants were defined.");
    EXPECT_EQ(reports()[2].getErrorType(), ErrNotice);

    EXPECT_EQ(store.findDefinition("Strain Rate"), nullptr);
    EXPECT_EQ(store.findDefinition("Inertia"), nullptr);
    EXPECT_EQ(store.findDefinition("No Type"), nullptr);
    EXPECT_NE(store.findDefinition("Temperature"), nullptr); // the rest is loaded
    EXPECT_FALSE(libraryExists());
}

TEST_F(VariableDefsTest, NoLibraryGivesBothNotices) {
    // Both notices, nothing stored, no failure.
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
    apply(R"(LIBRARY:
  VARIABLE: p
    Long Name = Pressure
    Quantity = Pressure
    Tensor Type = SCALAR
  END
  VARIABLE: vel
    Long Name = Velocity
    Quantity = Velocity
    Tensor Type = VECTOR
    Component Long Names = Velocity X, Velocity Y, Velocity Z
  END
  VARIABLE: pstat
    Long Name = Pressure
    Quantity = Pressure
    Tensor Type = SCALAR
  END
  VARIABLE: T
    Long Name = Temperature
    Quantity = Temperature
    Tensor Type = SCALAR
  END
  ROX:
    PHYSICAL CONSTANTS:
      g = 9.81 [m s^-2]
    END
  END
END
)");
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
    apply("LIBRARY:\n  VARIABLE: v2\n    Long Name = Velocity\n    Tensor Type = VECTOR\n  END\nEND\n");
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
