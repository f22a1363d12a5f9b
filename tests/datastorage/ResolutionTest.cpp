// Variable resolution: every way a name is made, and the cycle guard.
#include "tests/datastorage/StorageTestSupport.h"

#include "framework/core/Error.h"

#include <cmath>

namespace zel::test {
namespace {

using kvodi::DIVarKey;

// Values against a field f at the vertices of a domain.
template <typename F> void expectNear(const std::vector<float>& got, const TripletZELVector& vertices, F&& f) {
    ASSERT_EQ(got.size(), vertices.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], f(vertices[i]), 1e-5f) << "vertex " << i;
}

TEST_F(StorageTest, ExpressionTextIsEvaluatedOnceAndStoredUnderItsText) {
    const std::string text = "x + 2*y";
    Variable* v = storage->getVariable(text, "D1");
    expectNear(valuesOf(v), vertices("D1"), [](const TripletF& p) { return p.x + 2 * p.y; });
    EXPECT_EQ(v->getName(), text);
    EXPECT_EQ(v->getDomain(), "D1");
    EXPECT_EQ(v->getGlobalType(), VarTypeExpression);
    EXPECT_EQ(storage->entryType(text, "D1"), DIVarKey::Regular);
    // The coordinates it needed were read once and stored too.
    const std::vector<std::string> read{"X", "Y"};
    EXPECT_EQ(storage->externalCalls, read);
    EXPECT_TRUE(storage->isLoaded("X", "D1"));

    // Again: the stored variable, nothing evaluated or read.
    const int vars = storage->getNumVars();
    EXPECT_EQ(storage->getVariable(text, "D1"), v);
    EXPECT_EQ(storage->getNumVars(), vars);
    EXPECT_EQ(storage->externalCalls, read);

    // Another domain is another variable.
    Variable* w = storage->getVariable(text, "D2");
    EXPECT_NE(w, v);
    EXPECT_EQ(valuesOf(w).size(), 16u);
}

TEST_F(StorageTest, GetExpressionGivesNewVariablesToTheCaller) {
    std::unique_ptr<Variable> s(storage->getExpression("3*z", "D2"));
    expectNear(valuesOf(s.get()), vertices("D2"), [](const TripletF& p) { return 3 * p.z; });
    EXPECT_EQ(s->getName(), "3*z");
    EXPECT_FALSE(storage->isLoaded("3*z", "D2"));

    std::unique_ptr<Variable> v(storage->getExpression("x", "y", "x*y", "D1"));
    auto* vector = dynamic_cast<VectorVariable*>(v.get());
    ASSERT_NE(vector, nullptr);
    EXPECT_EQ(vector->getName(), "x");
    EXPECT_EQ(vector->getGlobalType(), VarTypeExpression);
    const TripletZELVector* values = vector->getTripletValues(VarTypeExpression);
    ASSERT_NE(values, nullptr);
    ASSERT_EQ(values->size(), 27u);
    for (std::size_t i = 0; i < 27; ++i) {
        const TripletF& p = vertices("D1")[i];
        EXPECT_NEAR((*values)[i].x, p.x, 1e-6f);
        EXPECT_NEAR((*values)[i].y, p.y, 1e-6f);
        EXPECT_NEAR((*values)[i].z, p.x * p.y, 1e-6f);
    }
    EXPECT_FALSE(storage->isLoaded("x", "D1"));
}

TEST_F(StorageTest, ClonedVariableFollowsTheDomainAskedFor) {
    addSolverObject("Copy");
    auto* clone = new ScalarVariable(VarTypeConservative);
    clone->values().resize(27, 5.0f);
    clone->setName("Copy");
    clone->setDomain("D1");
    storage->setVariable(clone, DIVarKey::Cloned);

    // Same size where it is: returned as it is, no warning.
    EXPECT_EQ(storage->getVariable("Copy", "D1"), clone);
    EXPECT_EQ(ErrorProgressReporter::instance()->count(), 0u);

    // Asked for in D2: moved there (the same object), resized, one warning.
    EXPECT_EQ(storage->getVariable("Copy", "D2"), clone);
    EXPECT_FALSE(storage->isLoaded("Copy", "D1"));
    EXPECT_EQ(storage->entryType("Copy", "D2"), DIVarKey::Cloned);
    EXPECT_EQ(clone->getDomain(), "D2");
    EXPECT_EQ(clone->getSize(), 16u);
    auto* reporter = ErrorProgressReporter::instance();
    ASSERT_EQ(reporter->count(), 1u);
    EXPECT_EQ(reporter->last().getClassName(), "DataStorageBase");
    EXPECT_EQ(reporter->last().getOperation(), "getVariable");
    EXPECT_EQ(reporter->last().getErrorType(), ErrWarning);
    EXPECT_EQ(reporter->last().getMessage(),
              "Size of variable 'Copy' in domain 'D2'\nhas been adjusted to the current number of nodes.");
    EXPECT_EQ(storage->getVariable("Copy", "D2"), clone);
    EXPECT_EQ(reporter->count(), 1u);

    // A domain without geometry fails and leaves the clone where it was.
    EXPECT_THROW(storage->getVariable("Copy", "D9"), data::error);
    EXPECT_EQ(storage->entryType("Copy", "D2"), DIVarKey::Cloned);
    EXPECT_EQ(clone->getDomain(), "D2");
}

TEST_F(StorageTest, SolverVariablesTurboAndValueTypes) {
    addSolverObject("Pressure");
    storage->addSolverScalar("Pressure", [](const TripletF& p) { return 100 + p.z; });
    Variable* p = storage->getVariable("Pressure", "D1");
    expectNear(valuesOf(p), vertices("D1"), [](const TripletF& q) { return 100 + q.z; });
    EXPECT_EQ(p->getGlobalType(), VarTypeConservative);
    EXPECT_TRUE(storage->hybridCalls.empty());

    // Turbo variables are not made here.
    addSolverObject("Rotor Pressure", "SCALAR VARIABLE", {{"Variable Is Turbo", "True"}});
    storage->addSolverScalar("Rotor Pressure", [](const TripletF&) { return 1.0f; });
    const int vars = storage->getNumVars();
    EXPECT_EQ(storage->getVariable("Rotor Pressure", "D1"), nullptr);
    EXPECT_EQ(storage->getNumVars(), vars);
    EXPECT_EQ(std::count(storage->externalCalls.begin(), storage->externalCalls.end(), "Rotor Pressure"), 0);

    // Nothing from the solver: null, nothing stored.
    addSolverObject("Missing");
    EXPECT_EQ(storage->getVariable("Missing", "D1"), nullptr);
    EXPECT_EQ(storage->getNumVars(), vars);

    // Hybrid values: asked for by the object, or by the storage's flag.
    addSolverObject("Wall Shear", "SCALAR VARIABLE", {{"Has Hybrid Values", "Yes"}, {"Boundary Only", "True"}});
    storage->addSolverScalar("Wall Shear", [](const TripletF&) { return 2.0f; });
    addSolverObject("Heat Flux");
    storage->addSolverScalar("Heat Flux", [](const TripletF&) { return 3.0f; });
    storage->setsHybridFlag.push_back("Heat Flux");
    EXPECT_EQ(storage->getVariable("Wall Shear", "D1")->getGlobalType(), VarTypeHybrid);
    EXPECT_EQ(storage->getVariable("Heat Flux", "D1")->getGlobalType(), VarTypeConservative);
    const std::vector<std::pair<std::string, bool>> hybrid{{"Wall Shear", false}, {"Heat Flux", true}};
    EXPECT_EQ(storage->hybridCalls, hybrid);

    // A value type the host does not know.
    addObject("SCALAR VARIABLE", "Odd", {{"Boundary Values", "Sideways"}});
    expectStorageError<internal::error>([&] { storage->getVariable("Odd", "D1"); }, "makeFundamentalVariable",
                                        "Variable 'Odd' in domain 'D1' has unknown type.");

    expectStorageError<data::notFound>([&] { storage->makeFundamentalVariable("Nowhere", "D1"); },
                                       "makeFundamentalVariable", "Variable 'Nowhere' does not exist.");
    expectStorageError<data::notFound>([&] { storage->makeFundamentalVariable("D1", "D1"); }, "makeFundamentalVariable",
                                       "D1 is not a Variable object.");
    expectStorageError<internal::error>([&] { storage->makeFundamentalVariable("Pressure", "D1"); },
                                        "makeFundamentalVariable",
                                        "Variable 'Pressure' in domain 'D1' is already loaded.");
    EXPECT_EQ(storage->getFundamentalVariable("Pressure", "D1"), p);
    EXPECT_EQ(storage->getFundamentalVariable("Pressure", "D2")->getDomain(), "D2");
}

TEST_F(StorageTest, VectorComponents) {
    addSolverObject("Velocity", "VECTOR VARIABLE");
    storage->addSolverVector("Velocity", [](const TripletF& p) { return TripletF(p.x, 10 * p.y, 100 * p.z); });
    addSolverObject("Velocity u", "SCALAR VARIABLE",
                    {{"Recipe", "Vector Component"}, {"Variable", "Velocity"}, {"Component Index", "1"}});
    addSolverObject("Velocity w", "SCALAR VARIABLE",
                    {{"Recipe", "Vector Component"}, {"Variable", "Velocity"}, {"Component Index", "3"}});
    expectNear(valuesOf(storage->getVariable("Velocity u", "D1")), vertices("D1"),
               [](const TripletF& p) { return p.x; });
    expectNear(valuesOf(storage->getVariable("Velocity w", "D1")), vertices("D1"),
               [](const TripletF& p) { return 100 * p.z; });
    EXPECT_EQ(storage->entryType("Velocity u", "D1"), DIVarKey::Regular);
    EXPECT_TRUE(storage->isLoaded("Velocity", "D1"));
    EXPECT_EQ(std::count(storage->externalCalls.begin(), storage->externalCalls.end(), "Velocity"), 1);

    // The component of something that is not a vector variable.
    addSolverObject("Pressure");
    storage->addSolverScalar("Pressure", [](const TripletF&) { return 1.0f; });
    addSolverObject("Pressure u", "SCALAR VARIABLE",
                    {{"Recipe", "Vector Component"}, {"Variable", "Pressure"}, {"Component Index", "1"}});
    expectStorageError<internal::bad_cast>([&] { storage->getVariable("Pressure u", "D1"); }, "makeFundamentalVariable",
                                           "Bad cast of variable 'Pressure' to VectorVariable.");
    addSolverObject("Nothing u", "SCALAR VARIABLE",
                    {{"Recipe", "Vector Component"}, {"Variable", "Nothing"}, {"Component Index", "1"}});
    addSolverObject("Nothing");
    expectStorageError<internal::bad_cast>([&] { storage->getVariable("Nothing u", "D1"); }, "makeFundamentalVariable",
                                           "Bad cast of variable 'Nothing' to VectorVariable.");
    EXPECT_FALSE(storage->isLoaded("Pressure u", "D1"));
}

TEST_F(StorageTest, UserScalarAndVectorVariables) {
    addSolverObject("Pressure");
    storage->addSolverScalar("Pressure", [](const TripletF& p) { return 100 + p.x; });
    addObject("USER SCALAR VARIABLE", "Head", {{"Expression", "Pressure / 2"}});
    Variable* head = storage->getVariable("Head", "D1");
    expectNear(valuesOf(head), vertices("D1"), [](const TripletF& p) { return (100 + p.x) / 2; });
    // Stored under the user variable's name; its own name stays the expression text.
    EXPECT_EQ(storage->entryType("Head", "D1"), DIVarKey::Regular);
    EXPECT_EQ(head->getName(), "Pressure / 2");
    EXPECT_EQ(storage->getVariable("Head", "D1"), head);

    addObject("USER VECTOR VARIABLE", "Arrow",
              {{"X Expression", "Head"}, {"Y Expression", "y"}, {"Z Expression", "0 [m]"}});
    auto* arrow = dynamic_cast<VectorVariable*>(storage->getVariable("Arrow", "D2"));
    ASSERT_NE(arrow, nullptr);
    EXPECT_EQ(arrow->getName(), "Head");
    const TripletZELVector& a = *arrow->getTripletValues();
    ASSERT_EQ(a.size(), 16u);
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_NEAR(a[i].x, (100 + vertices("D2")[i].x) / 2, 1e-4f);
        EXPECT_NEAR(a[i].y, vertices("D2")[i].y, 1e-6f);
        EXPECT_EQ(a[i].z, 0.0f);
    }
    // Head was made for D2 on the way.
    EXPECT_TRUE(storage->isLoaded("Head", "D2"));

    // Vector variables not allowed, or a user variable of another type.
    addObject("USER VECTOR VARIABLE", "Arrow2", {{"X Expression", "x"}, {"Y Expression", "y"}, {"Z Expression", "z"}});
    storage->vectorsAllowed = false;
    expectStorageError<data::notFound>([&] { storage->getVariable("Arrow2", "D1"); }, "getVariable",
                                       "Attempt to use unsupported variable type.");
    addObject("SCALAR VARIABLE", "Strange", {{"Recipe", "Expression"}});
    expectStorageError<data::notFound>([&] { storage->getVariable("Strange", "D1"); }, "getVariable",
                                       "Attempt to use unsupported variable type.");
    // An object that is no variable.
    expectStorageError<data::notFound>([&] { storage->getVariable("D2", "D1"); }, "getVariable",
                                       "D2 is not a Variable object.");
}

// A provider that answers for names of its own, or nothing.
struct MapProvider : DomainVariableProviderIF {
    Variable* provideVariable(const std::string& name, const std::string& domain) override {
        asked.push_back(name);
        if (name.rfind("Provided", 0) != 0) return nullptr;
        auto* v = new ScalarVariable(VarTypeConservative);
        v->values().resize(std::size_t(DataStorageBase::instance()->getGeometry(domain)->getNumVertices()), 7.0f);
        v->setName("from provider");
        v->setDomain(domain);
        return v;
    }
    std::vector<std::string> asked;
};

TEST_F(StorageTest, ProviderAnswersAndTheExceptions) {
    auto* provider = new MapProvider;
    storage->registerVariableProvider(provider);
    addObject("USER SCALAR VARIABLE", "Provided Head", {{"Expression", ""}});
    Variable* v = storage->getVariable("Provided Head", "D1");
    EXPECT_EQ(valuesOf(v), std::vector<float>(27, 7.0f));
    EXPECT_EQ(storage->entryType("Provided Head", "D1"), DIVarKey::Regular);

    // An empty user expression fails even when the provider was asked and had nothing.
    addObject("USER SCALAR VARIABLE", "Empty", {{"Expression", ""}});
    expectStorageError<expressions::eval>([&] { storage->getVariable("Empty", "D1"); }, "getVariable",
                                          "Attempt to evaluate user variable with empty expression.");
    EXPECT_EQ(provider->asked.back(), "Empty");
    EXPECT_FALSE(storage->isLoaded("Empty", "D1"));

    // An empty Z expression fails before anything is evaluated.
    addObject("USER VECTOR VARIABLE", "Flat", {{"X Expression", "x"}, {"Y Expression", "y"}, {"Z Expression", ""}});
    const std::size_t reads = storage->externalCalls.size();
    expectStorageError<expressions::eval>([&] { storage->getVariable("Flat", "D1"); }, "getVariable",
                                          "Attempt to evaluate user variable with empty expression.");
    EXPECT_EQ(storage->externalCalls.size(), reads);

    // "Volume" is the geometry's own, not stored, and the provider is not asked.
    addSolverObject("Volume");
    const std::size_t asked = provider->asked.size();
    Variable* volume = storage->getVariable("Volume", "D2");
    ASSERT_NE(volume, nullptr);
    EXPECT_NEAR(volume->getFloatValues()->getSum(), 1.0f, 1e-5f); // the unit cube
    EXPECT_FALSE(storage->isLoaded("Volume", "D2"));
    EXPECT_EQ(provider->asked.size(), asked);
    EXPECT_EQ(storage->getGeometry("D2")->findVariable("Volume"), volume);
}

TEST_F(StorageTest, NeededVariableOfTheWrongSize) {
    addSolverObject("Broken");
    storage->addSolverScalar("Broken", [](const TripletF&) { return 1.0f; });
    storage->wrongSize.push_back("Broken");
    const int vars = storage->getNumVars();
    expectStorageError<internal::error>([&] { storage->getVariable("Broken + 1", "D1"); }, "evaluateExpression",
                                        "Number of values in retrieved variable does not match number of vertices.");
    EXPECT_FALSE(storage->isLoaded("Broken + 1", "D1"));
    EXPECT_EQ(storage->getNumVars(), vars + 1); // the broken variable itself was stored by its own call

    // A needed variable that yields nothing (a turbo variable) has no values at all.
    addSolverObject("Turbo", "SCALAR VARIABLE", {{"Variable Is Turbo", "True"}});
    expectStorageError<internal::error>([&] { storage->getVariable("Turbo * 2", "D1"); }, "evaluateExpression",
                                        "Number of values in retrieved variable does not match number of vertices.");

    std::vector<float> out(27);
    storage->evaluateExpression("4", "D1", out.data(), 27);
    EXPECT_EQ(out, std::vector<float>(27, 4.0f));
}

// ---------------------------------------------------------------- cycles

TEST_F(StorageTest, DirectAndIndirectCyclesFailAndStoreNothing) {
    addObject("USER SCALAR VARIABLE", "A", {{"Expression", "A + 1"}});
    const int vars = storage->getNumVars();
    expectStorageError<expressions::eval>([&] { storage->getVariable("A", "D1"); }, "getVariable",
                                          "Variable 'A' in domain 'D1' depends on itself: 'A' -> 'A'.");
    EXPECT_EQ(storage->getNumVars(), vars);

    addObject("USER SCALAR VARIABLE", "B", {{"Expression", "C * 2"}});
    addObject("USER SCALAR VARIABLE", "C", {{"Expression", "B + y / 1 [m]"}});
    expectStorageError<expressions::eval>([&] { storage->getVariable("B", "D1"); }, "getVariable",
                                          "Variable 'B' in domain 'D1' depends on itself: 'B' -> 'C' -> 'B'.");
    EXPECT_FALSE(storage->isLoaded("B", "D1"));
    EXPECT_FALSE(storage->isLoaded("C", "D1"));

    // The guard is released after a failure: a fixed definition resolves.
    ObjectDB::instance()->getObjectByName("C")->setParameter("Expression", "y / 1 [m] + 1");
    expectNear(valuesOf(storage->getVariable("B", "D1")), vertices("D1"),
               [](const TripletF& p) { return 2 * (p.y + 1); });

    // A vector component of a vector defined through the component itself.
    addObject("USER VECTOR VARIABLE", "Loop",
              {{"X Expression", "Loop u"}, {"Y Expression", "y"}, {"Z Expression", "z"}});
    addSolverObject("Loop u", "SCALAR VARIABLE",
                    {{"Recipe", "Vector Component"}, {"Variable", "Loop"}, {"Component Index", "1"}});
    EXPECT_THROW(storage->getVariable("Loop", "D1"), expressions::eval);
    EXPECT_FALSE(storage->isLoaded("Loop", "D1"));
    EXPECT_FALSE(storage->isLoaded("Loop u", "D1"));
}

// V0 = V1 + 1, V1 = V2 + 1, ..., V(n-1) = last.
void addChain(int n, const std::string& last) {
    for (int i = 0; i + 1 < n; ++i)
        addObject("USER SCALAR VARIABLE", numbered("V", i), {{"Expression", numbered("V", i + 1) + " + 1"}});
    addObject("USER SCALAR VARIABLE", numbered("V", n - 1), {{"Expression", last}});
}

TEST_F(StorageTest, DeepChainsResolveWithoutDeepRecursion) {
    // Far deeper than any call stack could follow one frame per link.
    constexpr int n = 10000;
    addChain(n, "1");
    Variable* v0 = storage->getVariable("V0", "D2");
    EXPECT_EQ(valuesOf(v0), std::vector<float>(16, float(n)));
    EXPECT_TRUE(storage->isLoaded(numbered("V", n - 1), "D2"));
    EXPECT_TRUE(storage->isLoaded("V5000", "D2"));
}

TEST_F(StorageTest, DeepCycleIsNamedAndStoresNothing) {
    constexpr int n = 10000;
    addChain(n, "V0 * 2");
    const int vars = storage->getNumVars();
    expectStorageError<expressions::eval>([&] { storage->getVariable("V0", "D1"); }, "getVariable",
                                          "Variable 'V0' in domain 'D1' depends on itself: 'V0' -> 'V1' -> 'V2' -> "
                                          "'V3' -> ... (9993 more) ... -> 'V9997' -> 'V9998' -> 'V9999' -> 'V0'.");
    EXPECT_EQ(storage->getNumVars(), vars);
}

TEST_F(StorageTest, CyclesBeyondTheRecursionDepthAreFoundBeforeEvaluating) {
    // V0 .. V29, the last needing V25: a cycle that lies wholly beyond the depth at which
    // requests stop recursing and walk their dependencies.
    addChain(30, "V25 * 2");
    const int vars = storage->getNumVars();
    const std::string cycle =
        "Variable 'V25' in domain 'D1' depends on itself: 'V25' -> 'V26' -> 'V27' -> 'V28' -> 'V29' -> 'V25'.";
    expectStorageError<expressions::eval>([&] { storage->getVariable("V0", "D1"); }, "getVariable", cycle);
    EXPECT_EQ(storage->getNumVars(), vars);
    // Asked for from the middle of the cycle: the walk meets the request it started from.
    expectStorageError<expressions::eval>([&] { storage->getVariable("V10", "D1"); }, "getVariable", cycle);
    ObjectDB::instance()->getObjectByName("V29")->setParameter("Expression", "V10 * 2");
    expectStorageError<expressions::eval>(
        [&] { storage->getVariable("V0", "D1"); }, "getVariable",
        "Variable 'V10' in domain 'D1' depends on itself: 'V10' -> 'V11' -> 'V12' -> 'V13' -> ... (13 more) "
        "... -> 'V27' -> 'V28' -> 'V29' -> 'V10'.");
    EXPECT_EQ(storage->getNumVars(), vars);
    // Nothing is left marked: once fixed, the chain resolves.
    ObjectDB::instance()->getObjectByName("V29")->setParameter("Expression", "2");
    EXPECT_EQ(valuesOf(storage->getVariable("V0", "D1")), std::vector<float>(27, 31.0f));
}

// A provider whose variables are made from the next one's: a chain nobody can foresee.
struct ChainProvider : DomainVariableProviderIF {
    Variable* provideVariable(const std::string& name, const std::string& domain) override {
        if (name.rfind("P", 0) != 0) return nullptr;
        const int i = std::stoi(name.substr(1));
        if (i < length) DataStorageBase::instance()->getVariable(numbered("P", i + 1), domain);
        auto* v = new ScalarVariable(VarTypeConservative);
        v->values().resize(std::size_t(DataStorageBase::instance()->getGeometry(domain)->getNumVertices()), float(i));
        v->setName(name);
        v->setDomain(domain);
        return v;
    }
    int length = 0;
};

TEST_F(StorageTest, UnforeseenNestingIsBounded) {
    auto* provider = new ChainProvider;
    storage->registerVariableProvider(provider);
    for (int i = 0; i <= 2000; ++i) addSolverObject(numbered("P", i));

    provider->length = 100;
    ASSERT_NE(storage->getVariable("P0", "D1"), nullptr);
    EXPECT_TRUE(storage->isLoaded("P100", "D1"));

    provider->length = 2000;
    expectError<expressions::eval>([&] { storage->getVariable("P101", "D2"); },
                                   {.fragments = {"needs variables nested more than 256 deep"}});
    EXPECT_FALSE(storage->isLoaded("P101", "D2"));
}

} // namespace
} // namespace zel::test
