// The executive of the calc functions, through a probe whose build and drawing fail on demand
// after attaching a geometry: which actions discard on failure under each policy, what the
// reporting policy records for each kind of failure, the cast, the change flags and the
// actions a calc function adds.
#include "tests/locators/LocatorTestSupport.h"

#include "locators/CalcFuncExecutive.h"

#include <new>
#include <stdexcept>

namespace zel::test {
namespace {

class Probe : public CalcFuncExecutive {
public:
    explicit Probe(const Policy& policy) : CalcFuncExecutive(policy) {}
    CalcBase* clone() const override { return new Probe(*this); }

    std::function<void()> failBuild = [] {};
    std::function<void()> failDraw = [] {};
    std::vector<std::string> calls;

private:
    void build(GeometricOKLObject& object) override {
        calls.push_back("build");
        object.setGeometry("Half", std::make_unique<Geometry>());
        failBuild();
    }
    void draw(GeometricOKLObject&) override {
        calls.push_back("draw");
        failDraw();
    }
    void perform(GeometricOKLObject&, const std::string& action) override { calls.push_back(action); }
};

CalcFuncExecutive::Policy reportingPolicy(const char* castName = "GeometricOKLObject") {
    return CalcFuncExecutive::reporting("Probe", "GeometricOKLObject", castName,
                                        CalcFuncExecutive::accepting<GeometricOKLObject>, false);
}

class Unprepared : public GeometricOKLObject {
public:
    Unprepared() : GeometricOKLObject("LINE", "Unprepared") {}
    void prepareForUpdate() override { throw std::runtime_error("not ready"); }
};

class ExecutiveTest : public LocatorTest {
protected:
    GeometricOKLObject* object = nullptr;
    void SetUp() override {
        LocatorTest::SetUp();
        object = addTyped<GeometricOKLObject>("LINE", "L");
    }
    void attach() { object->setGeometry("Kept", std::make_unique<Geometry>()); }
};

TEST_F(ExecutiveTest, PassingOnDiscardsAFailedBuildButKeepsTheGeometryOfAFailedDrawing) {
    Probe probe(CalcFuncExecutive::passingOn("Probe"));
    probe.failBuild = [] { throw data::invalid("Probe", "build", "Half built.", ErrError); };
    attach();
    expectError<data::invalid>([&] { probe(object, "top"); }, {.className = "Probe", .message = "Half built."});
    EXPECT_EQ(object->getNumGeometries(), 0u);

    // A drawing that fails is the viewer's problem: the geometry stays for the next try.
    probe.failBuild = [] {};
    probe(object, "top");
    probe.failDraw = [] { throw internal::nullPointer("Probe", "render", "No colours.", ErrError); };
    expectError<internal::nullPointer>([&] { probe(object, "render"); }, {.message = "No colours."});
    EXPECT_EQ(object->getGeometryNames(), std::vector<std::string>{"Half"});
    EXPECT_TRUE(object->isGeometryChanged());

    // A drawing that succeeds clears the change flags; its own actions go to the calc
    // function, "colour" never does.
    probe.failDraw = [] {};
    probe(object, "render");
    EXPECT_FALSE(object->isGeometryChanged() || object->isRenderChanged() || object->isColourChanged());
    probe(object, "colour");
    EXPECT_TRUE(object->isColourChanged());
    probe(object, "glyph");
    EXPECT_EQ(probe.calls, (std::vector<std::string>{"build", "build", "draw", "draw", "glyph"}));
    EXPECT_EQ(reports().size(), 0u) << lastReport();
}

TEST_F(ExecutiveTest, AFailedPreparationLeavesNoGeometry) {
    Unprepared unprepared;
    unprepared.setGeometry("Old", std::make_unique<Geometry>());
    Probe probe(CalcFuncExecutive::passingOn("Probe"));
    EXPECT_THROW(probe(&unprepared, "top"), std::runtime_error);
    EXPECT_EQ(unprepared.getNumGeometries(), 0u);
    EXPECT_TRUE(probe.calls.empty());
}

TEST_F(ExecutiveTest, TheCastComesBeforeAnyAction) {
    OKLObject* note = addObject("NOTE", "N");
    for (const char* action : {"top", "render", "glyph"}) {
        SCOPED_TRACE(action);
        Probe raising(CalcFuncExecutive::passingOn("Probe"));
        expectError<internal::error>([&] { raising(note, action); },
                                     {.className = "Probe", .message = "Cast to GeometricOKLObject failed."});
        Probe reporting(reportingPolicy("GeometricOKLObjct"));
        const std::size_t before = reports().size();
        reporting(note, action);
        expectReport(onlyReportSince(before), {.message = "Bad cast of OKLObject 'p_OKLObj' to GeometricOKLObjct.",
                                               .operation = "operator()",
                                               .type = ErrInternal});
        EXPECT_TRUE(raising.calls.empty() && reporting.calls.empty());
    }
}

TEST_F(ExecutiveTest, ReportingGuardsTopOnlyUnlessEveryActionIsGuarded) {
    Probe topOnly(reportingPolicy());
    topOnly.failDraw = [] { throw std::runtime_error("viewer gone"); };
    topOnly(object, "top");
    EXPECT_THROW(topOnly(object, "render"), std::runtime_error);
    EXPECT_EQ(object->getNumGeometries(), 1u);
    // The change flags are the host's.
    EXPECT_TRUE(object->isGeometryChanged());

    CalcFuncExecutive::Policy everyAction = reportingPolicy();
    everyAction.guardEveryAction = true;
    Probe every(everyAction);
    every.failDraw = topOnly.failDraw;
    const std::size_t before = reports().size();
    every(object, "render");
    EXPECT_EQ(onlyReportSince(before).getMessage(), "Operation 'Probe' failed (system exception: viewer gone).");
    EXPECT_EQ(object->getNumGeometries(), 0u);
}

TEST_F(ExecutiveTest, ReportsSortEachKindOfFailureAsThePolicySays) {
    struct Case {
        std::function<void()> failure;
        std::string plain;    // the report of the plain reporting policy
        std::string detailed; // with the failed operation named, out-of-memory and internal errors told apart
        int plainType, detailedType;
    };
    const Case cases[] = {
        {[] { throw internal::error("Deep", "down", "Broken.", ErrError); }, "Broken.", "Broken.", ErrError,
         ErrInternal},
        {[] { throw data::invalid("Deep", "down", "Bad value.", ErrError); }, "Bad value.", "Bad value.", ErrError,
         ErrError},
        {[] { throw std::bad_alloc(); }, "Operation 'Probe' failed (system exception: std::bad_alloc).",
         "Operation 'update' failed. Insufficient memory.", ErrStdException, ErrStdException},
        {[] { throw std::logic_error("oops"); }, "Operation 'Probe' failed (system exception: oops).",
         "Operation 'update' failed (system exception: oops).", ErrStdException, ErrStdException},
        {[] { throw 3; }, "Operation 'Probe' failed with unrecognized exception.",
         "Operation 'Probe' failed with unrecognized exception.", ErrStdException, ErrStdException},
    };
    const CalcFuncExecutive::Policy plain = reportingPolicy();
    CalcFuncExecutive::Policy detailed = plain;
    detailed.failedOperation = "update";
    detailed.internalErrorsAsInternal = true;
    detailed.reportOutOfMemory = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.plain);
        for (const bool isDetailed : {false, true}) {
            Probe probe(isDetailed ? detailed : plain);
            probe.failBuild = c.failure;
            attach();
            const std::size_t before = reports().size();
            probe(object, "top");
            expectReport(onlyReportSince(before), {.message = isDetailed ? c.detailed : c.plain,
                                                   .type = isDetailed ? c.detailedType : c.plainType});
            EXPECT_EQ(object->getNumGeometries(), 0u);
        }
    }
}

} // namespace
} // namespace zel::test
