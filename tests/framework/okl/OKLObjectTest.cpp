// Parameters of objects: typed getters with units, defaults of the type registry, the
// state text, and the builder's text read back by the command language.
#include "OklTestSupport.h"

#include "framework/core/StringUtilities.h"
#include "framework/okl/OKLBuilder.h"
#include "framework/okl/ParamDefinition.h"
#include "framework/units/UnitsConverter.h"

#include <cmath>

namespace zel::test {

using Objects = OklTest;

TEST_F(Objects, TypedGettersReadNumbersWithUnits) {
    OKLObject o("POINT", "P");
    const std::pair<const char*, const char*> params[] = {{"Point", "0, 0, 0.5 [m]"}, {"Blank Separated", "1 2\t3"},
                                                          {"Plain", "  -2.5e-1 "},    {"Angle", "30 [degree]"},
                                                          {"Temperature", "20 [C]"},  {"Count", "+12"},
                                                          {"Text", "Slice 1"},        {"Two Units", "1 [m] 2 [m]"},
                                                          {"Unclosed", "1 [m"},       {"Empty", ""},
                                                          {"Yes", " yes "},           {"Off", "OFF"}};
    for (const auto& [name, value] : params) o.setParameter(name, value);

    EXPECT_EQ(o.getFloatArray("Point"), (std::vector<float>{0.f, 0.f, 0.5f}));
    EXPECT_EQ(o.getFloatArray("Point", "m"), (std::vector<float>{0.f, 0.f, 0.5f}));
    EXPECT_EQ(o.getFloatArray("Point", "mm"), (std::vector<float>{0.f, 0.f, 500.f}));
    EXPECT_EQ(o.getFloatArray("Blank Separated", "mm"), (std::vector<float>{1.f, 2.f, 3.f})); // no unit: as asked
    EXPECT_TRUE(o.getFloatArray("Empty").empty());
    EXPECT_FLOAT_EQ(o.getFloatValue("Plain"), -0.25f);
    EXPECT_NEAR(o.getFloatValue("Angle", "radian"), 0.5235988f, 1e-6f);
    EXPECT_NEAR(o.getFloatValue("Temperature", "K"), 293.15f, 1e-4f); // absolute temperatures shift
    EXPECT_EQ(o.getIntValue("Count"), 12);
    EXPECT_TRUE(o.getBoolValue("Yes"));
    EXPECT_FALSE(o.getBoolValue("Off"));
    const Quantity q = o.getQuantityValue("Angle");
    EXPECT_FLOAT_EQ(q.getValue(), 30.f);
    EXPECT_EQ(q.getUnits(), "degree");
    EXPECT_EQ(o.getQuantityValue("Plain").getUnits(), "");

    // Not a number, not one number, not a whole number, not a logical value.
    expectError<data::invalid>([&] { o.getFloatValue("Text"); }, {.fragments = {"'Text'", "/POINT:P", "Slice 1"}});
    expectError<data::invalid>([&] { o.getFloatValue("Point"); }, {.fragments = {"'Point'"}});
    for (const char* name : {"Two Units", "Unclosed"}) EXPECT_THROW(o.getFloatArray(name), data::invalid) << name;
    for (const char* name : {"Plain", "Empty"}) EXPECT_THROW(o.getIntValue(name), data::invalid) << name;
    EXPECT_THROW(o.getBoolValue("Text"), data::invalid);
    EXPECT_THROW(o.getQuantityValue("Point"), data::invalid);
    // Units of other dimensions.
    expectError<data::invalid>([&] { o.getFloatArray("Point", "s"); }, {.fragments = {"'Point'", "'s'"}});
    EXPECT_THROW(o.getFloatValue("Angle", "no such unit"), data::invalid);

    // A missing parameter names the object and the parameter, in every getter.
    expectError<data::notFound>([&] { o.getValue("Normal"); }, {.fragments = {"'Normal'", "'/POINT:P'"}});
    EXPECT_THROW(o.getFloatArray("Normal", "m"), data::notFound);
    EXPECT_THROW(o.getBoolValue("Normal"), data::notFound);
    EXPECT_THROW(o.getQuantityValue("Normal"), data::notFound);
}

TEST_F(Objects, TypesGiveDefaults) {
    const auto params = OKLCoreAPI::instance()->getParamsForObjectType("PLANE");
    auto find = [&](const std::string& name) {
        for (const auto& p : params)
            if (p.getName() == name) return p.getDefault();
        return std::string("<none>");
    };
    EXPECT_EQ(find("Plane Type"), "Slice");
    EXPECT_EQ(find("Domain List"), "All Domains");
    EXPECT_EQ(find("Direction 1 Points"), "10");
    EXPECT_EQ(find("Line Samples"), "<none>");
    EXPECT_TRUE(OKLCoreAPI::instance()->getParamsForObjectType("NO SUCH TYPE").empty());

    run("LINE: L\n  Line Type = Cut\nEND\n");
    OKLObject* line = db()->getObjectByName("L");
    EXPECT_TRUE(line->hasParam("Line Samples"));
    EXPECT_FALSE(line->isParamSet("Line Samples"));
    EXPECT_EQ(line->getIntValue("Line Samples"), 10);
    EXPECT_EQ(line->getFloatArray("Point 2", "cm"), (std::vector<float>{100.f, 0.f, 0.f}));
    EXPECT_FALSE(line->hasParam("Plane Type"));
    // A type that is not registered has no defaults.
    run("ROX:\n  A = 1\nEND\n");
    EXPECT_EQ(db()->getObjectByName("ROX")->getParameters().size(), 1u);

    const auto byPath = OKLCoreAPI::instance()->getObjectParamsByPath("/LINE:L", OKLObject::StateSetParams);
    EXPECT_EQ(byPath, (std::vector<std::pair<std::string, std::string>>{{"Line Type", "Cut"}}));
    EXPECT_EQ(OKLCoreAPI::instance()->getObjectParamsByPath("L").size(),
              OKLCoreAPI::instance()->getParamsForObjectType("LINE").size());
    EXPECT_THROW(OKLCoreAPI::instance()->getObjectParamsByPath("/LINE:M"), data::notFound);

    // Every default with a unit reads, and converts to its base units.
    for (const std::string& type : ObjectTypeRegistry::instance()->getTypeNames()) {
        OKLObject o(type, "x");
        for (const auto& p : ObjectTypeRegistry::instance()->get(type).params) {
            const auto open = p.getDefault().find('[');
            if (open == std::string::npos) continue;
            SCOPED_TRACE(type + " / " + p.getName());
            const std::string unit = p.getDefault().substr(open + 1, p.getDefault().find(']') - open - 1);
            const std::string base = UnitsConverter::instance()->getBaseUnitsOf(unit);
            EXPECT_EQ(o.getFloatArray(p.getName()).size(), o.getFloatArray(p.getName(), base).size());
        }
    }
    EXPECT_NEAR(OKLObject("EXPORT", "").getFloatValue("NORVA Reference Temperature", "C"), 26.85f, 1e-4f);

    // Unsetting brings the default back.
    line->setParameter("Line Samples", "3");
    EXPECT_EQ(line->getIntValue("Line Samples"), 3);
    EXPECT_TRUE(line->unsetParameter("Line Samples"));
    EXPECT_FALSE(line->unsetParameter("Line Samples"));
    EXPECT_EQ(line->getIntValue("Line Samples"), 10);
    EXPECT_THROW(line->setParameter("Bad = Name", "1"), internal::badParam);
}

TEST_F(Objects, StateTextReadsBackAndSkipsResultLines) {
    run("CALCULATOR:\n  Function = areaAve\n  Expression = Pressure\n  Location = Slice 1\nEND\n");
    OKLObject* calc = db()->getObjectByName("CALCULATOR");
    calc->setParameter("Result", "101325");
    calc->setParameter("Result Units", "Pa");

    // What the calculate action does: keep every line of the state but "Result" and
    // "Result Units" and give the text back to the command language.
    const std::string state = calc->getState(3);
    EXPECT_EQ(state.rfind("CALCULATOR:\n", 0), 0u);
    EXPECT_NE(state.find("  Function = areaAve\n"), std::string::npos);
    EXPECT_NE(state.find("  Verbose = False\n"), std::string::npos); // a default
    std::string kept;
    for (const std::string& line : StringUtilities::stringToVector(state, "\n")) {
        const auto [name, value] = ParamDefinition::splitNameValue(line);
        if (name != "Result" && name != "Result Units") kept += line + "\n";
    }
    calc->setParameter("Function", "area"); // changed meanwhile; the kept text restores it
    run(kept, 1);
    EXPECT_EQ(calc->getValue("Function"), "areaAve");
    EXPECT_EQ(calc->getValue("Result"), "101325");
    EXPECT_EQ(calc->getValue("Result Units"), "Pa");

    // A nested object's state is wrapped in its ancestors' blocks and reads back.
    run("LIBRARY:\n  ROX:\n    EXPRESSIONS:\n      Half = 0.5\n    END\n  END\nEND\n");
    OKLObject* expr = db()->getObjectByPath("/LIBRARY/ROX/EXPRESSIONS");
    EXPECT_EQ(expr->getState(3), "LIBRARY:\n  ROX:\n    EXPRESSIONS:\n      Half = 0.5\n    END\n  END\nEND\n");
    EXPECT_EQ(expr->getState(OKLObject::StateSetParams | OKLObject::StateNoHeader), "Half = 0.5\n");
    const std::string all =
        db()->getObjectByName("LIBRARY")->getState(OKLObject::StateSetParams | OKLObject::StateChildren);
    run("> delete LIBRARY\n");
    run(all);
    EXPECT_EQ(db()->getObjectByPath("/LIBRARY/ROX/EXPRESSIONS")->getValue("Half"), "0.5");
}

TEST_F(Objects, BuilderTextRoundTrips) {
    OKLBuilder b;
    b.pushRoot("PLANE", "Slice 1");
    b.addParam("Plane Type", "Slice");
    b.addParam("Point", "0.5, 0.5, 0.5 [m]");
    b.addParam("Empty", "");
    b.addParam("Quoted", "\"a # b\"");
    b.push("POINT", "Inside");
    b.addParam("Option", "XYZ");
    b.pushRoot("CALCULATOR"); // closes the open blocks first
    b.addParam("Function", "area");
    b.popAll();
    b.addAction("delete", "Slice 1");
    b.pushPath("/DATA READER/CASE:Case 1");
    EXPECT_EQ(b.depth(), 2);
    b.addParam("Current Case Name", "run 1");
    EXPECT_EQ(b.getOKL(), // open blocks are closed in the text
              "PLANE: Slice 1\n"
              "  Plane Type = Slice\n"
              "  Point = 0.5, 0.5, 0.5 [m]\n"
              "  Empty =\n"
              "  Quoted = \"a # b\"\n"
              "  POINT: Inside\n"
              "    Option = XYZ\n"
              "  END\n"
              "END\n"
              "CALCULATOR:\n"
              "  Function = area\n"
              "END\n"
              "> delete Slice 1\n"
              "DATA READER:\n"
              "  CASE: Case 1\n"
              "    Current Case Name = run 1\n"
              "  END\n"
              "END\n");
    EXPECT_EQ(b.depth(), 2); // getOKL changes nothing

    run(b.getOKL());
    EXPECT_FALSE(db()->hasObject("Slice 1"));
    EXPECT_FALSE(db()->hasObject("Inside"));
    EXPECT_EQ(db()->getObjectByName("CALCULATOR")->getValue("Function"), "area");
    EXPECT_EQ(db()->getObjectByPath("/DATA READER/CASE:Case 1")->getValue("Current Case Name"), "run 1");

    // Round trip of an object's parameters: written, read back, compared.
    b.clear();
    b.pushRoot("PLANE", "Again");
    const std::vector<std::pair<std::string, std::string>> params = {
        {"Point", "0.5, 0.5, 0.5 [m]"}, {"Expression", "max(a, b) # not a comment\""}, {"Note", "x = y: z"}};
    for (const auto& [n, v] : params)
        if (n != "Expression") b.addParam(n, v);
    EXPECT_THROW(b.addParam("Expression", params[1].second), okl::error); // '#' outside quotes
    b.popAll();
    run(b.getOKL());
    const auto set = db()->getObjectByName("Again")->getParameters(OKLObject::StateSetParams);
    EXPECT_EQ(set, (std::vector<std::pair<std::string, std::string>>{params[0], params[2]}));

    // Text that would not read back is refused.
    OKLBuilder c;
    EXPECT_THROW(c.addParam("A", "1"), okl::error); // no block
    EXPECT_THROW(c.pop(), okl::error);
    EXPECT_THROW(c.push("PLANE", "a/b"), okl::error);
    EXPECT_THROW(c.push("END", ""), okl::error);
    c.push("PLANE", "P");
    for (const char* value : {"line\nbreak", "ends with \\", " padded"})
        EXPECT_THROW(c.addParam("A", value), okl::error) << value;
    EXPECT_THROW(c.addParam("A=B", "1"), okl::error);
    EXPECT_THROW(c.addAction("delete", "P"), okl::error); // inside a block
}

} // namespace zel::test
