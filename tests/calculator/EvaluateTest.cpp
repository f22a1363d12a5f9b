// Evaluation of calls: exact integrals on every face, line and cell type, argument errors,
// location look-up and kinds, units, undefined results and the catch-all boundary.
#include "tests/calculator/CalcTestSupport.h"

#include "framework/core/Error.h"
#include "framework/core/Undefined.h"

namespace zel::test {
namespace {

class EvaluateTest : public CalcTest {
protected:
    void SetUp() override {
        CalcTest::SetUp();
        addVariableObject("Pressure");
    }
};

TEST_F(EvaluateTest, AreaFunctionsAreExactForLinearFieldsOnEveryFaceType) {
    const Vec3 axis = Vec3{1.0, 2.0, 2.0} / 3.0; // "1, 2, 2" normalised
    for (const ShapeType type : {ShapeType::Triangle, ShapeType::Quadrilateral, ShapeType::Pentagon, ShapeType::Hexagon,
                                 ShapeType::Polygon, ShapeType::Point}) {
        SCOPED_TRACE(static_cast<int>(type));
        ObjectDB::instance()->clear();
        addVariableObject("Pressure");
        Patch patch = makePatch(type, "Wall");
        addScalar(*patch.geometry, "Pressure", linearField);
        addLocation("BOUNDARY", "Wall", std::move(patch.geometry));
        const double mean = linearField(patch.centroid);
        const double projected = patch.area * patch.normal.dot(axis);

        expectClose(eval("area", {"Wall"}).getValue(), patch.area);
        expectClose(eval("areaInt", {"Pressure", "Wall"}).getValue(), patch.area * mean);
        expectClose(eval("areaAve", {"Pressure", "Wall"}).getValue(), mean);
        // With an axis the weights are the areas projected on it (signed).
        expectClose(eval("area", {"Wall", "1, 2, 2"}).getValue(), projected, patch.area);
        expectClose(eval("areaInt", {"Pressure", "Wall", "1, 2, 2"}).getValue(), projected * mean, patch.area * mean);
        expectClose(eval("areaAve", {"Pressure", "Wall", "1, 2, 2"}).getValue(), mean);
        // A global axis by name.
        expectClose(eval("area", {"Wall", "Z"}).getValue(), patch.area * patch.normal.z, patch.area);
        EXPECT_EQ(reportCount(), 0u) << lastReport();
    }
}

TEST_F(EvaluateTest, VolumeFunctionsAreExactForLinearFieldsOnEveryCellType) {
    storage->fields["Pressure"] = linearField;
    const double volume = 2.0 * 1.0 * 1.5;
    const double mean = linearField({1.0, 0.5, 0.75});
    const std::pair<ShapeType, const char*> domains[] = {{ShapeType::Hexahedron, "Hexes"},
                                                         {ShapeType::Tetrahedron, "Tets"},
                                                         {ShapeType::Wedge, "Wedges"},
                                                         {ShapeType::Pyramid, "Pyramids"},
                                                         {ShapeType::Point, "Mixed"}};
    for (const auto& [type, name] : domains) {
        SCOPED_TRACE(name);
        storage->setGeometry(makeBoxDomain(name, type).release());
        addObject("DOMAIN", name);
        expectClose(eval("volume", {name}).getValue(), volume);
        expectClose(eval("volumeInt", {"Pressure", name}).getValue(), volume * mean);
        expectClose(eval("volumeAve", {"Pressure", name}).getValue(), mean);
    }
    EXPECT_EQ(reportCount(), 0u) << lastReport();
    EXPECT_EQ(eval("volumeInt", {"Pressure", "Mixed"}).getUnits(), std::string(kPressureUnits) + " m^3");
}

TEST_F(EvaluateTest, LineFunctionsAreExactForLinearFields) {
    Polyline line = makeHelix(12, "Helix");
    addScalar(*line.geometry, "Pressure", linearField);
    addLocation("LINE", "Helix", std::move(line.geometry));
    const Quantity length = eval("length", {"Helix"});
    expectClose(length.getValue(), line.length);
    EXPECT_EQ(length.getUnits(), "m");
    expectClose(eval("lengthInt", {"Pressure", "Helix"}).getValue(), line.integral);
    expectClose(eval("lengthAve", {"Pressure", "Helix"}).getValue(), line.integral / line.length);
    EXPECT_EQ(reportCount(), 0u) << lastReport();
}

TEST_F(EvaluateTest, PointFunctionsCountSumAndRangeTheValues) {
    auto points = std::make_unique<Geometry>();
    points->setVertices(TripletZELVector{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
    addScalar(*points, "Pressure", [](const Vec3& p) { return p.x == 2.0 ? double(UNDEFINED_VALUE) : 10.0 + p.x; });
    addLocation("POINT", "Probe", std::move(points));
    EXPECT_EQ(eval("count", {"Probe"}).getValue(), 4.0f);
    EXPECT_EQ(eval("count", {"Probe"}).getUnits(), "");
    // The undefined value is skipped by every summary.
    EXPECT_EQ(eval("sum", {"Pressure", "Probe"}).getValue(), 10.0f + 11.0f + 13.0f);
    EXPECT_FLOAT_EQ(eval("ave", {"Pressure", "Probe"}).getValue(), 34.0f / 3.0f);
    EXPECT_EQ(eval("minVal", {"Pressure", "Probe"}).getValue(), 10.0f);
    EXPECT_EQ(eval("maxVal", {"Pressure", "Probe"}).getValue(), 13.0f);
    EXPECT_EQ(eval("probe", {"Pressure", "Probe"}).getValue(), 10.0f);
    EXPECT_EQ(eval("probe", {"Pressure", "Probe"}).getUnits(), kPressureUnits);
    EXPECT_EQ(reportCount(), 0u) << lastReport();
}

TEST_F(EvaluateTest, ArgumentErrorsAreReportedAndGiveTheUndefinedQuantity) {
    addLocation("BOUNDARY", "Wall", makePatch(ShapeType::Quadrilateral, "Wall").geometry);
    struct Case {
        const char* function;
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {"Area", {"Wall"}, "Function named 'Area' does not exist."},
        {"areaAve",
         {"Wall"},
         "Function 'areaAve' has 2 required arguments and 1 optional arguments. Received 1 arguments."},
        {"massFlow",
         {"Wall", "Water", "extra"},
         "Function 'massFlow' has 1 required arguments and 1 optional arguments. Received 3 arguments."},
        {"count", {}, "Function 'count' has 1 required arguments and 0 optional arguments. Received 0 arguments."},
        {"area", {"Nowhere"}, "Object 'Nowhere' does not exist."},
        {"area", {"CALCULATOR"}, "Object CALCULATOR is not a geometric object in evaluation of area."},
    };
    addObject("CALCULATOR", "CALCULATOR");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        ErrorProgressReporter::instance()->clear();
        const Quantity q = eval(c.function, c.args);
        EXPECT_TRUE(q.isUndefined());
        EXPECT_EQ(q.getUnits(), "");
        ASSERT_EQ(reportCount(), 1u);
        expectLastReport({.message = c.message,
                          .className = "functionCalculator",
                          .operation = "evaluate",
                          .family = "data::error",
                          .type = ErrError});
    }
    // The callback form drops empty strings: areaAve without an expression has one argument.
    ErrorProgressReporter::instance()->clear();
    EXPECT_TRUE(calculator->evaluate("areaAve", "Wall", "", "", "").isUndefined());
    EXPECT_EQ(lastReport(),
              "Function 'areaAve' has 2 required arguments and 1 optional arguments. Received 1 arguments.");
    // With an axis the list has two strings, and the axis is taken for the location.
    EXPECT_TRUE(calculator->evaluate("areaAve", "Wall", "", "X", "").isUndefined());
    EXPECT_EQ(lastReport(), "Object 'X' does not exist.");
    // ... and with every part given it evaluates.
    EXPECT_FLOAT_EQ(calculator->evaluate("area", "Wall", "", "", "").getValue(), 2.0f);
}

TEST_F(EvaluateTest, LocationsAreFoundByPathOrByTopLevelName) {
    OKLObject* domain = addObject("DOMAIN", "D1");
    auto boundary = ObjectFactory::instance()->createObject("BOUNDARY", "Inlet");
    dynamic_cast<GeometricOKLObject&>(*boundary).setGeometry("", makePatch(ShapeType::Triangle, "Inlet").geometry);
    ObjectDB::instance()->addObject(std::move(boundary), domain);

    // Not at the top level: the plain name does not find it, the path does.
    EXPECT_TRUE(eval("area", {"Inlet"}).isUndefined());
    EXPECT_EQ(lastReport(), "Object 'Inlet' does not exist.");
    EXPECT_FLOAT_EQ(eval("area", {"/DOMAIN:D1/BOUNDARY:Inlet"}).getValue(), 2.0f);
    EXPECT_FLOAT_EQ(eval("area", {" DOMAIN : D1 / BOUNDARY:Inlet"}).getValue(), 2.0f);
    // The message names the path as it was looked up.
    EXPECT_TRUE(eval("area", {"/ DOMAIN:D1/BOUNDARY : Outlet"}).isUndefined());
    EXPECT_EQ(lastReport(), "Object '/DOMAIN:D1/BOUNDARY:Outlet' does not exist.");
}

TEST_F(EvaluateTest, EveryFunctionChecksTheKindOfItsLocation) {
    addLocation("LINE", "Line", makeHelix(2).geometry);
    addLocation("BOUNDARY", "Wall", makePatch(ShapeType::Quadrilateral, "Wall").geometry);
    addObject("COORD FRAME", "Frame"); // a geometric object of no location kind
    const std::string surface = "Only geometries with surface data \nare allowed for calculating ";
    const std::string volume = "Only geometries with volume data\nare allowed for calculating ";
    const std::string line = "Only geometries with line data\nare allowed for calculating ";
    const std::string point = "Only geometric objects are allowed for calculating ";
    struct Case {
        const char* function;
        const char* location;
        std::string message;
        const char* operation;
    };
    const Case cases[] = {
        {"massFlow", "Line", surface + "massFlow", "massFlow"},
        {"area", "Line", surface + "area", "area"},
        {"volume", "Wall", volume + "volume", "volume"},
        {"count", "Frame", point + "count", "count"},
        {"massFlowAve", "Line", surface + "massFlowAve", "massFlowAve"},
        {"massFlowAveAbs", "Line", surface + "massFlowAve", "massFlowAve"},
        {"massFlowInt", "Line", surface + "massFlowInt", "massFlowInt"},
        {"areaAve", "Line", surface + "areaAve", "areaAve"},
        {"volumeAve", "Wall", volume + "volumeAve", "volumeAve"},
        {"areaInt", "Line", surface + "areaInt", "areaInt"},
        {"volumeInt", "Wall", volume + "volumeInt", "volumeInt"},
        {"ave", "Frame", point + "ave", "ave"},
        {"sum", "Frame", point + "sum", "sum"},
        {"minVal", "Frame", point + "minVal", "minVal"},
        {"maxVal", "Frame", point + "maxVal", "maxVal"},
        {"length", "Wall", line + "length", "length"},
        {"lengthInt", "Wall", line + "lengthInt", "lengthInt"},
        {"lengthAve", "Wall", line + "lengthAve", "lengthAve"},
        {"force", "Line", "Only geometries with surface data\nare allowed for calculating force", "force"},
        {"forceNorm", "Wall", line + "forceNorm", "forceNorm"},
        {"torque", "Line", surface + "torque", "torque"},
        {"probe", "Wall", "Object 'Wall' is not a POINT.", "probe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        const FunctionInfo& info = *calculator->getFunctionInfo(c.function);
        std::vector<std::string> args;
        if (info.expressionArg == ArgumentUse::Required) args.push_back("Pressure");
        args.push_back(c.location);
        if (info.axisArg == ArgumentUse::Required) args.push_back("X");
        ErrorProgressReporter::instance()->clear();
        EXPECT_TRUE(eval(c.function, args).isUndefined());
        ASSERT_EQ(reportCount(), 1u);
        expectLastReport({.message = c.message,
                          .className = "FunctionCalculator",
                          .operation = c.operation,
                          .family = std::string(c.function) == "probe" ? "data::error" : "data::invalid"});
    }
}

TEST_F(EvaluateTest, ResultsCarryTheBaseUnitsOfTheFunctionAndTheExpression) {
    Patch patch = makePatch(ShapeType::Quadrilateral, "Wall");
    addScalar(*patch.geometry, "Pressure", linearField);
    addScalar(*patch.geometry, "Ratio", linearField);
    addScalar(*patch.geometry, "Mystery", linearField);
    addScalar(*patch.geometry, "Broken", linearField);
    setVertexInterpolant(*patch.geometry, "D1");
    storage->flows["Water"] = {1.0, {0.0, 0.0, 1.0}};
    storage->flowGeometry[patch.geometry->getInterpolant()] = patch.geometry.get();
    storage->domainPhases["D1"] = {"Water"};
    addLocation("BOUNDARY", "Wall", std::move(patch.geometry));
    addVariableObject("Ratio", "0,0,0,0,0,0,0,0,0,0");
    addObject("SCALAR VARIABLE", "Mystery"); // no "Variable Dimensions": the store does not know it
    addVariableObject("Broken", "1, 2");

    const std::string p = kPressureUnits;
    EXPECT_EQ(eval("area", {"Wall"}).getUnits(), "m^2");
    EXPECT_EQ(eval("massFlow", {"Wall"}).getUnits(), "kg s^-1");
    EXPECT_EQ(eval("areaAve", {"Pressure", "Wall"}).getUnits(), p);
    EXPECT_EQ(eval("areaInt", {"Pressure", "Wall"}).getUnits(), p + " m^2");
    EXPECT_EQ(eval("massFlowAve", {"Pressure", "Wall"}).getUnits(), p);
    EXPECT_EQ(eval("massFlowAveAbs", {"Pressure", "Wall"}).getUnits(), p);
    EXPECT_EQ(eval("massFlowInt", {"Pressure", "Wall"}).getUnits(), p + " kg s^-1");
    // Integral units begin with a blank when the expression has none.
    EXPECT_EQ(eval("areaInt", {"Ratio", "Wall"}).getUnits(), " m^2");
    EXPECT_EQ(eval("massFlowInt", {"Ratio", "Wall"}).getUnits(), " kg s^-1");
    EXPECT_EQ(eval("areaAve", {"Ratio", "Wall"}).getUnits(), "");
    // A variable the definition store cannot find units for has none.
    EXPECT_EQ(eval("areaAve", {"Mystery", "Wall"}).getUnits(), "");
    EXPECT_EQ(reportCount(), 0u) << lastReport();
    // Any other failure of the store is reported.
    EXPECT_TRUE(eval("areaAve", {"Broken", "Wall"}).isUndefined());
    EXPECT_EQ(lastReport(), "Invalid dimension value for variable 'Broken': (1, 2).");
}

TEST_F(EvaluateTest, ExpressionsThatAreNoObjectTakeTheUnitsOfTheirDimensions) {
    // A constant expression on a point in a domain: the storage evaluates the text at the
    // domain's vertices, the point interpolates it, the units come from its dimensions.
    storage->setGeometry(makeBoxDomain("Hexes", ShapeType::Hexahedron).release());
    auto point = std::make_unique<Geometry>();
    point->setVertices(TripletZELVector{{0.5f, 0.25f, 0.5f}});
    auto interpolant = std::make_unique<ExternalInterpolant>();
    interpolant->addDomainName("Hexes");
    const NodeWeight nodes[] = {{0, 0.5f}, {1, 0.5f}};
    interpolant->pushVertex(0, nodes);
    point->setInterpolant(std::move(interpolant));
    addLocation("POINT", "P", std::move(point));
    const Quantity q = eval("ave", {"3 [kg] * 2", "P"});
    EXPECT_FLOAT_EQ(q.getValue(), 6.0f);
    EXPECT_EQ(q.getUnits(), "kg");
    EXPECT_EQ(reportCount(), 0u) << lastReport();
}

TEST_F(EvaluateTest, UndefinedResultsAndEmptyData) {
    // A surface without faces has no area: averages over it are undefined.
    auto empty = std::make_unique<Geometry>();
    empty->setVertices(TripletZELVector{{0, 0, 0}});
    addScalar(*empty, "Pressure", linearField);
    addLocation("BOUNDARY", "Empty", std::move(empty));
    EXPECT_EQ(eval("area", {"Empty"}).getValue(), 0.0f);
    EXPECT_TRUE(eval("areaAve", {"Pressure", "Empty"}).isUndefined());

    // ave over a location that visits no value: the undefined quantity, nothing reported.
    auto points = std::make_unique<Geometry>();
    points->setVertices(TripletZELVector{{0, 0, 0}});
    addScalar(*points, "Pressure", [](const Vec3&) { return double(UNDEFINED_VALUE); });
    addScalar(*points, "Hollow", [](const Vec3&) { return 0.0; });
    points->findVariable("Hollow")->resize(0);
    addLocation("POINT", "P", std::move(points));
    addVariableObject("Hollow");
    const Quantity ave = eval("ave", {"Pressure", "P"});
    EXPECT_TRUE(ave.isUndefined());
    EXPECT_EQ(ave.getUnits(), "");
    EXPECT_TRUE(eval("minVal", {"Pressure", "P"}).isUndefined());
    EXPECT_EQ(reportCount(), 0u) << lastReport();

    // probe of a variable with no values, and of one the point does not have.
    EXPECT_TRUE(eval("probe", {"Hollow", "P"}).isUndefined());
    expectLastReport({.message = "Variable 'Hollow' is empty.", .family = "internal::error"});
    EXPECT_TRUE(eval("probe", {"Temperature", "P"}).isUndefined());
    EXPECT_EQ(lastReport(), "No data exists for variable 'Temperature' specified in object 'P'.");
    // A missing variable in an integral is the visitor's error, reported once.
    ErrorProgressReporter::instance()->clear();
    EXPECT_TRUE(eval("areaInt", {"Temperature", "Empty"}).isUndefined());
    EXPECT_EQ(reportCount(), 1u);
}

TEST_F(EvaluateTest, StandardExceptionsAreReportedAsSystemErrors) {
    Patch patch = makePatch(ShapeType::Triangle, "Inlet");
    setVertexInterpolant(*patch.geometry, "D1");
    storage->domainPhases["D1"] = {"Water"};
    addLocation("BOUNDARY", "Inlet", std::move(patch.geometry));

    storage->failure = 1;
    EXPECT_TRUE(eval("massFlow", {"Inlet"}).isUndefined());
    expectLastReport({.message = "Operation 'evaluate' failed (system exception: flow solver gone).",
                      .className = "FunctionCalculator",
                      .operation = "evaluate",
                      .type = ErrStdException});

    storage->failure = 2;
    EXPECT_TRUE(eval("massFlow", {"Inlet"}).isUndefined());
    expectLastReport({.message = "Operation 'evaluate' failed. Insufficient memory.", .type = ErrStdException});
}

} // namespace
} // namespace zel::test
