// Per-phase variable names, volume fractions and bulk values on a location.
#include "tests/calculator/CalcTestSupport.h"

#include "calculator/GeomVariableUtils.h"
#include "framework/core/Error.h"

namespace zel::test {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

class GeomVariableUtilsTest : public CalcTest {
protected:
    // A location with one geometry of two vertices holding the given scalars (name -> values).
    GeometricOKLObject* location(const std::map<std::string, std::vector<float>>& variables,
                                 const std::string& name = "Surface", const std::string& slot = "D1") {
        GeometricOKLObject* loc = dynamic_cast<GeometricOKLObject*>(ObjectDB::instance()->getObjectByName(name));
        if (loc == nullptr) loc = addLocation("USER SURFACE", name, nullptr);
        auto g = std::make_unique<Geometry>();
        g->setVertices(TripletZELVector{{0, 0, 0}, {1, 0, 0}});
        for (const auto& [variable, values] : variables) {
            auto v = std::make_unique<ScalarVariable>(values.data(), values.size(), VarTypeLocal);
            v->setName(variable);
            g->addVariable(std::move(v));
        }
        loc->setGeometry(slot, std::move(g));
        return loc;
    }
    static std::vector<float> bulk(const std::string& variable, bool weighted, GeometricOKLObject* loc) {
        FloatZELVectorConcrete result{9.0f};
        GeomVariableUtils::calculateBulkVariable(variable, weighted, loc, result, VarTypeLocal);
        return result.vector();
    }
};

TEST_F(GeomVariableUtilsTest, PhaseNamesOfAVariable) {
    storage->phases = {"A", "B"};
    EXPECT_EQ(GeomVariableUtils::getVariableForAllPhases("T", false), (Pairs{{"A", "A.T"}, {"B", "B.T"}}));
    EXPECT_EQ(GeomVariableUtils::getVariableForAllPhases("T", true), Pairs{});
    addVariableObject("B.T");
    EXPECT_EQ(GeomVariableUtils::getVariableForAllPhases("T", true), (Pairs{{"B", "B.T"}}));
    // The plain variable follows the phases when it exists, whatever mustExist says.
    addVariableObject("T");
    EXPECT_EQ(GeomVariableUtils::getVariableForAllPhases("T", false), (Pairs{{"A", "A.T"}, {"B", "B.T"}, {"", "T"}}));
    EXPECT_EQ(GeomVariableUtils::getVariableForAllPhases("T", true), (Pairs{{"B", "B.T"}, {"", "T"}}));

    storage->phases = {"A"};
    EXPECT_EQ(GeomVariableUtils::getVariableForAllPhases("U", false), (Pairs{{"", "U"}}));
    EXPECT_EQ(GeomVariableUtils::getVariableForAllPhases("U", true), Pairs{});
    EXPECT_EQ(GeomVariableUtils::getVariableForAllPhases("T", true), (Pairs{{"", "T"}}));
}

TEST_F(GeomVariableUtilsTest, VolumeFractionOfAPhase) {
    GeometricOKLObject* loc = location({{"A.Volume Fraction", {0.25f, 0.5f}},
                                        {"A.Conservative Volume Fraction", {0.0f, 0.0f}},
                                        {"B.Conservative Volume Fraction", {0.75f, 0.5f}}});
    FloatZELVectorConcrete values{1.0f, 2.0f, 3.0f};
    EXPECT_TRUE(GeomVariableUtils::getVolumeFractionForPhase("A", values, loc, VarTypeLocal));
    EXPECT_EQ(values.vector(), (std::vector<float>{0.25f, 0.5f}));
    EXPECT_TRUE(GeomVariableUtils::getVolumeFractionForPhase("B", values, loc, VarTypeLocal));
    EXPECT_EQ(values.vector(), (std::vector<float>{0.75f, 0.5f}));
    // No phase, or a phase without a fraction: false, values unchanged.
    EXPECT_FALSE(GeomVariableUtils::getVolumeFractionForPhase("C", values, loc, VarTypeLocal));
    EXPECT_FALSE(GeomVariableUtils::getVolumeFractionForPhase("", values, loc, VarTypeLocal));
    EXPECT_EQ(values.vector(), (std::vector<float>{0.75f, 0.5f}));
}

TEST_F(GeomVariableUtilsTest, BulkIsTheFractionWeightedSumOfThePhases) {
    storage->phases = {"A", "B"};
    addVariableObject("A.T");
    addVariableObject("B.T");
    GeometricOKLObject* loc = location({{"A.T", {100.0f, 10.0f}},
                                        {"B.T", {200.0f, 20.0f}},
                                        {"T", {1000.0f, 1000.0f}},
                                        {"A.Volume Fraction", {0.25f, 1.0f}},
                                        {"B.Conservative Volume Fraction", {0.75f, 0.0f}}});
    EXPECT_EQ(bulk("T", true, loc), (std::vector<float>{175.0f, 10.0f}));
    EXPECT_EQ(bulk("T", false, loc), (std::vector<float>{300.0f, 30.0f}));
    // The plain variable, when it exists, is added with weight 1.
    addVariableObject("T");
    EXPECT_EQ(bulk("T", true, loc), (std::vector<float>{1175.0f, 1010.0f}));

    // Single phase: the variable itself.
    storage->phases = {"A"};
    EXPECT_EQ(bulk("T", true, loc), (std::vector<float>{1000.0f, 1000.0f}));
}

TEST_F(GeomVariableUtilsTest, BulkSkipsMissingAndMultiDomainVariablesAndChecksSizes) {
    storage->phases = {"A", "B"};
    addVariableObject("A.T");
    addVariableObject("B.T");
    expectError<data::invalid>(
        [&] {
            FloatZELVectorConcrete result;
            GeomVariableUtils::calculateBulkVariable("P", true, location({}), result, VarTypeLocal);
        },
        {.className = "GeomVariableUtils",
         .operation = "calculateBulkVariable",
         .message = "Required Variable 'P' does not exist."});
    // The location does not hold them: nothing, and no error.
    EXPECT_EQ(bulk("T", true, location({}, "Bare")), std::vector<float>{});
    // A location in two domains gives two variables per name: skipped.
    location({{"A.T", {1.0f, 1.0f}}}, "Split", "D1");
    GeometricOKLObject* split = location({{"A.T", {2.0f, 2.0f}}, {"B.T", {5.0f, 5.0f}}}, "Split", "D2");
    EXPECT_EQ(bulk("T", false, split), (std::vector<float>{5.0f, 5.0f}));

    GeometricOKLObject* odd = location({{"A.T", {1.0f, 2.0f}}, {"A.Volume Fraction", {0.5f}}, {"B.T", {1.0f}}}, "Odd");
    expectError<data::invalid>([&] { bulk("T", true, odd); },
                               {.message = "Inconsistent data sizes for variables: A.T and A.Volume Fraction."});
    expectError<data::invalid>([&] { bulk("T", false, odd); }, {.message = "Inconsistent data sizes for variables."});
}

} // namespace
} // namespace zel::test
