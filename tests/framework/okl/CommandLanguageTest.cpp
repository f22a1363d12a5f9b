// The command language: blocks, nesting, continuation, comments, actions, delete, re-open,
// errors with line numbers, and blocks that fail leaving nothing behind.
#include "OklTestSupport.h"

#include "framework/okl/OKLProcessor.h"
#include "framework/okl/ParamDefinition.h"

#include <memory>

namespace zel::test {

using CommandLanguage = OklTest;

TEST_F(CommandLanguage, SessionTextRunsAsWritten) {
    auto calc = std::make_shared<RecordingExecutor>();
    ActionDispatcher::instance()->registerExecutor("calculate", calc);
    run("# an oblique slice through every domain\n"
        "PLANE: Slice 1\n"
        "  Plane Type = Slice\n"
        "  Option = Point and Normal\n"
        "  Point = 0.5, 0.5, 0.5 [m]\n"
        "  Normal = 0.3, 0.4, 0.866\n"
        "END\n"
        "CALCULATOR:\n"
        "  Function = areaAve\n"
        "  Expression = Pressure\n"
        "  Location = Slice 1\n"
        "END\n"
        "> calculate\n"
        "> calculate massFlow, Slice 1\n"
        "> delete Slice 1\n");

    ASSERT_EQ(calc->calls.size(), 2u);
    EXPECT_EQ(calc->calls[0], (std::vector<std::string>{"calculate"}));
    EXPECT_EQ(calc->calls[1], (std::vector<std::string>{"calculate", "massFlow", "Slice 1"}));
    EXPECT_FALSE(db()->hasObject("Slice 1"));
    OKLObject* calculator = db()->getObjectByName("CALCULATOR");
    ASSERT_NE(calculator, nullptr);
    EXPECT_EQ(calculator->getPath(), "/CALCULATOR");
    EXPECT_EQ(calculator->getValue("Function"), "areaAve");
    EXPECT_EQ(calculator->getValue("Location"), "Slice 1");
    EXPECT_FALSE(calculator->getBoolValue("Verbose")); // the type's default
}

TEST_F(CommandLanguage, BlocksNestAndSingletonsAreNamedAfterTheirType) {
    run("LIBRARY:\n"
        "  ROX:\n"
        "    EXPRESSIONS:\n"
        "      Inlet Pressure = 2 [bar]\n"
        "    END\n"
        "    PHYSICAL CONSTANTS:\n"
        "      g = 9.81 [m s^-2]\n"
        "    END\n"
        "  END\n"
        "  VARIABLE: Pressure\n"
        "    Tensor Type = SCALAR\n"
        "  END\n"
        "END\n"
        "DATA READER:\n"
        "  CASE: Case 1\n"
        "    Current Case Name = run_001\n"
        "  END\n"
        "END\n");
    OKLObject* expr = db()->getObjectByPath("/LIBRARY/ROX/EXPRESSIONS");
    ASSERT_NE(expr, nullptr);
    EXPECT_EQ(expr->getType(), "EXPRESSIONS");
    EXPECT_EQ(expr->getValue("Inlet Pressure"), "2 [bar]");
    EXPECT_EQ(expr->getParent()->getPath(), "/LIBRARY/ROX");
    ASSERT_NE(db()->getObjectByPath("/LIBRARY/VARIABLE:Pressure"), nullptr);
    EXPECT_EQ(db()->getObjectByPath("/DATA READER/CASE:Case 1")->getValue("Current Case Name"), "run_001");
    // Children keep their order.
    const auto children = db()->getObjectByPath("/LIBRARY")->getChildren();
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0]->getName(), "ROX");
    EXPECT_EQ(children[1]->getName(), "Pressure");
    EXPECT_EQ(db()->getTopObjects().size(), 2u);
}

TEST_F(CommandLanguage, ContinuationCommentsBlankLinesAndLineEnds) {
    run("\r\n"
        "   # a whole-line comment\r\n"
        "PLANE: P   # a trailing comment\r\n"
        "  Point = 0.5, \\\r\n"
        "          0.25, \\\n"
        "    0.125 [m]   # comment after the continued value\n"
        "\n"
        "  Expression = \"a # b\" # the first '#' is quoted\n"
        "  Split = ab\\\n"
        "cd\n"
        "  Empty =\n"
        "  Spaced Value =    x  y   \n"
        "END   # done\n");
    OKLObject* p = db()->getObjectByName("P");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->getValue("Point"), "0.5, 0.25, 0.125 [m]");
    EXPECT_EQ(p->getValue("Expression"), "\"a # b\"");
    EXPECT_EQ(p->getValue("Split"), "abcd");
    EXPECT_EQ(p->getValue("Empty"), "");
    EXPECT_EQ(p->getValue("Spaced Value"), "x  y");
    // Values may hold ':' and '=' after the first '='.
    run("PLANE: P\n  Location = /PLANE:Slice 1\n  Condition = a=b\nEND\n");
    EXPECT_EQ(p->getValue("Location"), "/PLANE:Slice 1");
    EXPECT_EQ(p->getValue("Condition"), "a=b");
}

TEST_F(CommandLanguage, ReopeningChangesOnlyTheGivenParameters) {
    run("PLANE: P\n  Option = XY Plane\n  Z = 1 [m]\nEND\n");
    run("PLANE: P\n  Z = 2 [m]\n  Plane Bound = Circular\nEND\n");
    OKLObject* p = db()->getObjectByName("P");
    EXPECT_EQ(p->getValue("Option"), "XY Plane");
    EXPECT_EQ(p->getValue("Z"), "2 [m]");
    EXPECT_EQ(p->getValue("Plane Bound"), "Circular");
    // Setting order is kept: a changed parameter keeps its place.
    EXPECT_EQ(p->getParameters(OKLObject::StateSetParams),
              (std::vector<std::pair<std::string, std::string>>{
                  {"Option", "XY Plane"}, {"Z", "2 [m]"}, {"Plane Bound", "Circular"}}));

    // Replace mode: a re-opened block that gives parameters drops the others, which read
    // as their defaults again; a block that gives none leaves its object alone.
    run("PLANE: P\n  Z = 3 [m]\nEND\n", OKLCoreAPI::ModeReplace);
    EXPECT_EQ(p->getParameters(OKLObject::StateSetParams).size(), 1u);
    EXPECT_EQ(p->getValue("Option"), "XY Plane"); // the type's default
    EXPECT_FALSE(p->isParamSet("Plane Bound"));
    run("LIBRARY:\n  ROX:\n  END\nEND\n");
    db()->getObjectByPath("/LIBRARY")->setParameter("Keep", "me");
    run("LIBRARY:\n  ROX:\n    A = 1\n  END\nEND\n", OKLCoreAPI::ModeReplace);
    EXPECT_EQ(db()->getObjectByPath("/LIBRARY")->getValue("Keep"), "me");

    EXPECT_THROW(run("PLANE: P\nEND\n", 2), internal::badParam);
}

TEST_F(CommandLanguage, DeleteRemovesObjectsWithTheirChildren) {
    run("LIBRARY:\n  VARIABLE: A\n  END\n  VARIABLE: B\n  END\nEND\n"
        "PLANE: P1\nEND\nPLANE: P2\nEND\nPLANE: P3\nEND\n");
    run("> delete P1, /LIBRARY/VARIABLE:A, P3\n");
    EXPECT_FALSE(db()->hasObject("P1"));
    EXPECT_FALSE(db()->hasObject("P3"));
    EXPECT_FALSE(db()->hasObject("A"));
    EXPECT_TRUE(db()->hasObject("B"));
    EXPECT_TRUE(db()->hasObject("P2"));

    // An unknown name deletes nothing at all.
    expectError<okl::error>([] { run("> delete P2, Nowhere\n"); }, {.fragments = {"Nowhere"}});
    EXPECT_TRUE(db()->hasObject("P2"));

    // A parent listed with its child, and a name listed twice, delete once.
    run("> delete B, LIBRARY, P2, P2\n");
    EXPECT_TRUE(db()->getAllObjects().empty());
    run("> delete\n"); // nothing named: nothing to do
}

TEST_F(CommandLanguage, MalformedTextNamesTheLineAndAppliesNothing) {
    struct Case {
        std::string text;
        std::vector<std::string> fragments;
    };
    const std::vector<Case> cases = {
        {"PLANE: A\nEND\nOption = x\n", {"Line 3", "outside any object block"}},
        {"PLANE: A\nEND\nEND\n", {"Line 3", "END without an open block"}},
        {"PLANE: A\n  X = 1\nLINE: B\nEND\n", {"Line 1", "'PLANE: A' is not closed"}},
        {"PLANE: A\n  > delete A\nEND\n", {"Line 2", "action", "'PLANE: A'"}},
        {"PLANE: A\n  just words\nEND\n", {"Line 2", "just words"}},
        {"PLANE: A\n  X = 1 \\\n", {"Line 2", "continued"}},
        {"PLANE: A\nEND\n: B\nEND\n", {"Line 3", "no object type"}},
        {"PLANE: A\n   = 3\nEND\n", {"Line 2", "no parameter name"}},
        {"PLANE: A\nEND\nPLANE: x=y\nEND\n", {"Line 3", "invalid object name"}},
        {"PLANE: A\nEND\nPLA/NE: B\nEND\n", {"Line 3", "invalid object type"}},
        {"PLANE: A\nEND\n>\n", {"Line 3", "no action"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        expectError<okl::error>([&] { run(c.text); }, {.fragments = c.fragments});
        // The whole text is read before anything is applied.
        EXPECT_FALSE(db()->hasObject("A"));
        EXPECT_TRUE(db()->getAllObjects().empty());
    }
}

TEST_F(CommandLanguage, AFailingBlockLeavesTheDatabaseAsItWas) {
    run("PLANE: Keep\n  Option = XY Plane\nEND\nLINE: Line 1\nEND\n");
    // A block that clashes with an existing object of another type fails naming its line;
    // the blocks before it stay applied and the one after it does not run.
    expectError<okl::error>(
        [] {
            run("PLANE: Keep\n"
                "  Option = Three Points\n"
                "  Extra = 1\n"
                "END\n"
                "LIBRARY:\n"
                "  ROX:\n"
                "    A = 1\n"
                "  END\n"
                "END\n"
                "PLANE: Keep\n"
                "  Option = YZ Plane\n"
                "  POINT: Inner\n"
                "  END\n"
                "  LINE: Inner 2\n"
                "    PLANE: Inner\n" // the same name under another parent is no clash
                "    END\n"
                "  END\n"
                "END\n"
                "PLANE: Line 1\n" // but this clashes with the existing LINE
                "END\n"
                "PLANE: After\n"
                "END\n");
        },
        {.fragments = {"Line 19", "LINE:Line 1", "'LINE'"}});
    // Blocks before the failing one stay applied.
    EXPECT_EQ(db()->getObjectByName("Keep")->getValue("Option"), "YZ Plane");
    EXPECT_TRUE(db()->hasObject("LIBRARY"));
    EXPECT_FALSE(db()->hasObject("After"));

    // Now a failing block that changed an existing object and created children.
    expectError<okl::error>(
        [] {
            run("PLANE: Keep\n"
                "  Option = Point and Normal\n"
                "  New Param = 1\n"
                "  POINT: Child\n"
                "    Point = 1, 2, 3 [m]\n"
                "    LINE: Grandchild\n"
                "    END\n"
                "  END\n"
                "  LINE: Child\n" // clashes with the POINT made three lines above
                "  END\n"
                "END\n");
        },
        {.fragments = {"Line 9", "'LINE: Child'", "POINT"}});
    OKLObject* keep = db()->getObjectByName("Keep");
    EXPECT_EQ(keep->getValue("Option"), "YZ Plane");
    EXPECT_FALSE(keep->isParamSet("New Param"));
    EXPECT_EQ(keep->getChildren().size(), 2u); // Inner and Inner 2 from before
    EXPECT_FALSE(db()->hasObject("Child"));
    EXPECT_FALSE(db()->hasObject("Grandchild"));
}

TEST_F(CommandLanguage, ActionsGoToTheirExecutorsAndUnknownActionsFail) {
    auto rec = std::make_shared<RecordingExecutor>();
    ActionDispatcher::instance()->registerExecutor("calculate", rec);
    ActionDispatcher::instance()->registerExecutor("export", rec);
    run(">calculate  areaAve, Pressure, max(a, b)  \n> export\n");
    ASSERT_EQ(rec->calls.size(), 2u);
    EXPECT_EQ(rec->calls[0], (std::vector<std::string>{"calculate", "areaAve", "Pressure", "max(a, b)"}));
    EXPECT_EQ(rec->calls[1], (std::vector<std::string>{"export"}));

    // An unknown action stops the text there: the block before it is in, the one after not.
    expectError<okl::error>([] { run("PLANE: Before\nEND\n> frobnicate 1\nPLANE: After\nEND\n"); },
                            {.fragments = {"frobnicate"}});
    EXPECT_TRUE(db()->hasObject("Before"));
    EXPECT_FALSE(db()->hasObject("After"));

    // An executor's own failure passes on unchanged.
    class Failing : public ActionExecutor {
    public:
        void invoke(const std::vector<std::string>&) override { throw data::error("X", "invoke", "boom"); }
    };
    ActionDispatcher::instance()->registerExecutor("fail", std::make_shared<Failing>());
    EXPECT_THROW(run("> fail\n"), data::error);
    EXPECT_THROW(ActionDispatcher::instance()->registerExecutor("delete", rec), internal::badParam);
    EXPECT_THROW(ActionDispatcher::instance()->registerExecutor("x", nullptr), internal::badParam);
    const auto names = ActionDispatcher::instance()->getActionNames();
    EXPECT_EQ(names, (std::vector<std::string>{"calculate", "delete", "export", "fail"}));
}

TEST_F(CommandLanguage, ParserKeepsStatementsInTextOrder) {
    const auto s = OKLProcessor::parse("A: a\n  p = 1\n  B:\n    q = 2\n  END\n  r = 3\nEND\n> go x, y\n");
    ASSERT_EQ(s.size(), 2u);
    ASSERT_EQ(s[0].items.size(), 3u);
    EXPECT_EQ(s[0].items[0].kind, OKLStatement::Param);
    EXPECT_EQ(s[0].items[1].kind, OKLStatement::Block);
    EXPECT_EQ(s[0].items[1].name, "B");
    EXPECT_EQ(s[0].items[1].line, 3);
    EXPECT_EQ(s[0].items[2].name, "r");
    EXPECT_EQ(s[1].kind, OKLStatement::Action);
    EXPECT_EQ(s[1].name, "go");
    EXPECT_EQ(s[1].value, "x, y");
    EXPECT_EQ(s[1].line, 8);
}

TEST_F(CommandLanguage, SplitHelpers) {
    using PD = ParamDefinition;
    using NV = std::pair<std::string, std::string>;
    using V = std::vector<std::string>;
    EXPECT_EQ(PD::splitNameValue("  Plane Type =  Slice "), (NV{"Plane Type", "Slice"}));
    EXPECT_EQ(PD::splitNameValue("Condition = a = b"), (NV{"Condition", "a = b"}));
    EXPECT_EQ(PD::splitNameValue("  PLANE: Slice 1"), (NV{"PLANE: Slice 1", ""}));
    EXPECT_EQ(PD::splitNameValue("Empty ="), (NV{"Empty", ""}));

    EXPECT_EQ(PD::splitValue("a, b ,c"), (V{"a", "b", "c"}));
    EXPECT_EQ(PD::splitValue("a, , b"), (V{"a", "", "b"}));
    EXPECT_EQ(PD::splitValue("  "), V{});
    EXPECT_EQ(PD::splitValue("max(a, b), [x, y], \"p, q\""), (V{"max(a, b)", "[x, y]", "\"p, q\""}));
    EXPECT_EQ(PD::splitValue("0.5, 0.5, 0.5 [m]"), (V{"0.5", "0.5", "0.5 [m]"}));
}

} // namespace zel::test
