// Locations defined through the command language are built by the registered calc
// functions, and the calculator evaluates on them: areaAve on a slice, lengthAve on a cut
// line, probe at a point, with the benchmark mesh's figures (coarser: the oblique slice lies
// inside every column, so its area and the average of a linear field do not depend on the
// resolution).
#include "tests/locators/LocatorTestSupport.h"

#include "calculator/FunctionCalculator.h"
#include "framework/okl/OKLCoreAPI.h"

namespace zel::test {
namespace {

class EndToEndTest : public LocatorTest {
protected:
    void SetUp() override {
        LocatorTest::SetUp();
        calculator = FunctionCalculator::instance(false);
        addDomain(makeHexBox("Bench", 20, 20, 20, {0, 0, 0}, {1, 1, 1}, 0.1f));
        storage->fields["Pressure"] = benchField;
        addObject("SCALAR VARIABLE", "Pressure",
                  {{"Boundary Values", "Conservative"}, {"Variable Dimensions", "1, -1, -2, 0, 0, 0, 0, 0, 0, 0"}});
    }
    static void apply(const std::string& text) { OKLCoreAPI::instance()->processOKL(text); }
    Quantity eval(const std::string& function, const std::vector<std::string>& args) {
        return calculator->evaluate(function, args);
    }

    FunctionCalculator* calculator = nullptr;
};

TEST_F(EndToEndTest, CommandLanguageLocationsEvaluateExactly) {
    apply("PLANE: Plane 1\n"
          "  Option = Point and Normal\n"
          "  Point = 0.5, 0.5, 0.5 [m]\n"
          "  Normal = 0.3, 0.4, 0.866\n"
          "END\n"
          "LINE: Line 1\n"
          "  Line Type = Cut\n"
          "  Point 1 = -100, 300, 400 [mm]\n"
          "  Point 2 = 2, 0.3, 0.4 [m]\n"
          "END\n"
          "POINT: Point 1\n"
          "  Point = 0.25, 0.5, 0.75 [m]\n"
          "END\n");

    const Quantity a = eval("area", {"Plane 1"});
    EXPECT_NEAR(a.getValue(), 1.154709, 1e-5 * 1.154709);
    EXPECT_EQ(a.getUnits(), "m^2");
    const Quantity ave = eval("areaAve", {"Pressure", "Plane 1"});
    EXPECT_NEAR(ave.getValue(), 3.117321, 1e-5 * 3.117321);
    EXPECT_EQ(ave.getUnits(), "kg m^-1 s^-2");

    // The cut line along x at y = 0.3 crosses the sheared box from x = 0.03 to 1.03.
    EXPECT_NEAR(eval("length", {"Line 1"}).getValue(), 1.0, 1e-5);
    EXPECT_NEAR(eval("lengthAve", {"Pressure", "Line 1"}).getValue(), benchField({0.53, 0.3, 0.4}), 1e-5);

    EXPECT_NEAR(eval("probe", {"Pressure", "Point 1"}).getValue(), benchField({0.25, 0.5, 0.75}), 1e-5);
    EXPECT_EQ(reports().size(), 0u) << lastReport();

    // A changed block rebuilds the geometry.
    apply("PLANE: Plane 1\n  Option = XY Plane\n  Z = 0.25 [m]\nEND\n");
    EXPECT_NEAR(eval("area", {"Plane 1"}).getValue(), 1.0, 1e-5);
    EXPECT_NEAR(eval("areaAve", {"Pressure", "Plane 1"}).getValue(), benchField({0.55, 0.5, 0.25}), 1e-5);
}

TEST_F(EndToEndTest, FailedBuildsLeaveNoGeometry) {
    apply("LINE: Line 1\n  Line Samples = 4\nEND\n");
    auto* line = dynamic_cast<GeometricOKLObject*>(ObjectDB::instance()->getObjectByName("Line 1"));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->getNumGeometries(), 1u);
    // The line's failure reaches the command that changed it.
    expectError<data::invalid>([&] { apply("LINE: Line 1\n  Line Samples = 1\nEND\n"); },
                               {.message = "Sample line requires at least 2 samples."});
    EXPECT_EQ(line->getNumGeometries(), 0u);

    // The plane reports an unusable bound; the calculator then finds nothing to average.
    apply("PLANE: Plane 2\n  Plane Bound = Oval\nEND\n");
    EXPECT_EQ(ErrorProgressReporter::instance()->last().getMessage(), "Unsupported Plane Bound option 'Oval'.");
    EXPECT_TRUE(eval("areaAve", {"Pressure", "Plane 2"}).isUndefined());
}

} // namespace
} // namespace zel::test
