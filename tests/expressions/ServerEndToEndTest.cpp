// A host's start-up and one expression evaluated on a domain through the real server: the
// built-in library loaded, a phase prefix, a short name, an operator suffix, a user
// expression and a constant in one text, with the values read by the storage.
#include "ExprServerTestSupport.h"

#include "expressions/ExpressionServer.h"
#include "expressions/library/VariableLibrary.h"
#include "framework/core/Undefined.h"
#include "framework/expressions/ExpressionEvaluator.h"
#include "framework/okl/OKLCoreAPI.h"

#include <cmath>
#include <limits>

namespace zel::exprtest {
namespace {

class EndToEndTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        storage.phases = {"Water", "Air"};
        // Start-up as a host does it: library, then the server.
        VariableLibrary::load();
        server = std::make_unique<ExpressionServer>();

        // Results: one hexahedron [0,1]x[0,2]x[0,3], a phase's velocity and its solver gradient.
        storage.setGeometry(test::makeHexBox("Fluid", 1, 1, 1, {0, 0, 0}, {1, 2, 3}).release());
        addObject("DOMAIN", "Fluid");
        addScalarVariable("Water.Velocity.Gradient X", "0, 0, -1, 0, 0, 0, 0, 0, 0, 0");
        addObject("VECTOR VARIABLE", "Water.Velocity",
                  {{"Boundary Values", "Conservative"}, {"Variable Dimensions", "0, 1, -1, 0, 0, 0, 0, 0, 0, 0"}});
        storage.fields["Water.Velocity.Gradient X"] = [](const TripletD& p) { return p.x + 2.0 * p.y; };
        // A session's user expression.
        OKLCoreAPI::instance()->processOKL(
            "LIBRARY:\n  ROX:\n    EXPRESSIONS:\n      Time Scale = 0.5 [min]\n    END\n  END\nEND\n");
        server->resetVariableUpdateFlags(); // results loaded
    }
    void TearDown() override {
        server.reset();
        HostTest::TearDown();
    }

    std::unique_ptr<ExpressionServer> server;
};

TEST_F(EndToEndTest, PrefixSuffixAndConstantEvaluateOnTheDomain) {
    const std::string text = "Water.vel.Gradient X * Time Scale + g * 1 [s^2 m^-1]";

    // What the language made of the names.
    EXPECT_EQ(ExpressionEvaluator::getNeededVariables(text), std::vector<std::string>{"Water.Velocity.Gradient X"});
    EXPECT_EQ(ExpressionEvaluator::getDimensions(text, "").commaString(), "0,0,0,0,0,0,0,0,0,0");

    // The values, by the storage through the language and the server.
    std::unique_ptr<Variable> result(storage.getExpression(text, "Fluid"));
    ASSERT_NE(result, nullptr);
    const FloatZELVector* values = result->getFloatValues();
    ASSERT_NE(values, nullptr);
    const TripletZELVector& vertices = storage.getGeometry("Fluid")->getVertices();
    ASSERT_EQ(values->size(), vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const double gradient = double(vertices[i].x) + 2.0 * double(vertices[i].y);
        const double expected = gradient * 30.0 + 9.80665;
        EXPECT_NEAR((*values)[i], expected, 4.0 * std::numeric_limits<float>::epsilon() * std::abs(expected)) << i;
    }
    EXPECT_TRUE(reports().empty());
}

TEST_F(EndToEndTest, UnitsOfAPhaseVariableComeFromItsObject) {
    // "Velocity" has no object of its own: its units are those of the first phase's object,
    // and the suffix multiplies them by the inverse length.
    EXPECT_EQ(server->getVariable("Velocity", true)->units, "m s^-1");
    EXPECT_EQ(ExpressionEvaluator::getDimensions("Water.Velocity.Curl", "").commaString(), "0,0,-1,0,0,0,0,0,0,0");
    // A short name of the library with a prefix and a component word.
    EXPECT_EQ(ExpressionEvaluator::getNeededVariables("Water.vel X"), std::vector<std::string>{"Water.Velocity X"});
}

TEST_F(EndToEndTest, UnknownWordsAndWrongDimensionsAreErrors) {
    // "Gradient Q" is no operator word; "Oil" is no phase of the results, and "Air" qualifies
    // no variable of them.
    EXPECT_THROW(ExpressionEvaluator::getDimensions("Water.vel.Gradient Q", ""), expressions::eval);
    EXPECT_THROW(ExpressionEvaluator::getDimensions("Oil.vel", ""), expressions::eval);
    EXPECT_THROW(ExpressionEvaluator::getDimensions("Air.vel", ""), expressions::eval);
    // A constant has dimensions: adding it to a velocity gradient fails.
    EXPECT_THROW(ExpressionEvaluator::getDimensions("Water.vel.Gradient X + g", ""), expressions::eval);
    std::unique_ptr<Variable> none;
    EXPECT_THROW(none.reset(storage.getExpression("Water.vel.Gradient X + g", "Fluid")), expressions::eval);
    EXPECT_EQ(none, nullptr);
}

} // namespace
} // namespace zel::exprtest
