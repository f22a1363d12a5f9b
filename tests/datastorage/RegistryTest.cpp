// The storage registry: keys, singleton, geometry and variable maps, base operations.
#include "tests/datastorage/StorageTestSupport.h"

#include "framework/core/Error.h"

#include <algorithm>

namespace zel::test {
namespace {

using kvodi::DIVarKey;

// A variable X in D1 that counts its destructions, to see that the registry frees it exactly once.
struct CountedVariable : ScalarVariable {
    explicit CountedVariable(int* deaths) : ScalarVariable(VarTypeConservative), m_deaths(deaths) {
        setName("X");
        setDomain("D1");
    }
    ~CountedVariable() override { ++*m_deaths; }
    int* m_deaths;
};

Variable* newScalar(const std::string& name, const std::string& domain, std::size_t n = 27) {
    auto* v = new ScalarVariable(VarTypeConservative);
    v->values().resize(n, 1.0f);
    v->setName(name);
    v->setDomain(domain);
    return v;
}

TEST(DIVarKey, OrdersByNameThenDomainIgnoringType) {
    const DIVarKey less;
    EXPECT_TRUE(less(DIVarKey("A", "Z"), DIVarKey("B", "A")));
    EXPECT_TRUE(less(DIVarKey("A", "D1"), DIVarKey("A", "D2")));
    EXPECT_FALSE(less(DIVarKey("A", "D2"), DIVarKey("A", "D1")));
    // Byte-wise: upper case before lower case, a prefix before its extensions.
    EXPECT_TRUE(less(DIVarKey("Z", ""), DIVarKey("a", "")));
    EXPECT_TRUE(less(DIVarKey("Velocity", ""), DIVarKey("Velocity X", "")));
    // The type takes no part: neither key is less than the other.
    EXPECT_FALSE(less(DIVarKey("A", "D", DIVarKey::Protected), DIVarKey("A", "D", DIVarKey::Cloned)));
    EXPECT_FALSE(less(DIVarKey("A", "D", DIVarKey::Cloned), DIVarKey("A", "D", DIVarKey::Protected)));
}

TEST(DataStorageSingleton, RegistrationRules) {
    ObjectDB::instance()->clear();
    expectStorageError<internal::error>([] { DataStorageBase::instance(); }, "instance",
                                        "DataStorageBase::instance called before instance has been registered.");
    {
        TestStorage first;
        TestStorage second;
        EXPECT_EQ(Geometry::getGeometryInfo(), nullptr);
        // The object it is called on plays no part.
        second.registerInstance(&first);
        EXPECT_EQ(DataStorageBase::instance(), &first);
        expectStorageError<internal::error>([&] { first.registerInstance(&second); }, "registerInstance",
                                            "DataStorageBase::registerInstance second time.");
        EXPECT_EQ(DataStorageBase::instance(), &first);
        // The registered storage is the geometry library's directory of domains.
        first.setGeometry(makeHexBox("B", 1, 1, 1).release());
        first.setGeometry(makeHexBox("A", 1, 1, 1).release());
        ASSERT_NE(Geometry::getGeometryInfo(), nullptr);
        const std::vector<Geometry*> listed = Geometry::getGeometryInfo()->getGeometries(true);
        ASSERT_EQ(listed.size(), 2u);
        EXPECT_EQ(listed[0]->getName(), "A");
        EXPECT_EQ(Geometry::getGeometryInfo()->findGeometry("B"), first.getGeometry("B"));
        EXPECT_EQ(Geometry::getGeometryInfo()->findGeometry("C"), nullptr);
    }
    // Destroying the registered storage withdraws it, so a new one can be registered.
    EXPECT_EQ(Geometry::getGeometryInfo(), nullptr);
    EXPECT_THROW(DataStorageBase::instance(), internal::error);
    TestStorage third;
    third.registerInstance(&third);
    EXPECT_EQ(DataStorageBase::instance(), &third);
}

TEST_F(StorageTest, GeometryMap) {
    EXPECT_EQ(storage->getNumGeoms(), 2);
    // A second geometry of a present name fails; the map is unchanged and the caller keeps it.
    std::unique_ptr<DomainGeometryBase> again = makeHexBox("D1", 1, 1, 1);
    expectStorageError<internal::badParam>([&] { storage->setGeometry(again.get()); }, "setGeometry",
                                           "Geometry 'D1' already exists.");
    EXPECT_EQ(storage->getNumGeoms(), 2);
    EXPECT_EQ(storage->getGeometry("D1")->getNumVertices(), 27);
    EXPECT_THROW(storage->setGeometry(nullptr), internal::nullPointer);

    expectStorageError<data::error>([&] { storage->getGeometry("D9"); }, "getGeometry",
                                    "Cannot get geometry for 'D9'. Geometry does not exist");

    storage->setGeometry(makeHexBox("A0", 1, 1, 1).release());
    std::vector<std::pair<std::string, Geometry*>> list{{"stale", nullptr}};
    storage->getGeometries(list);
    const std::vector<std::pair<std::string, Geometry*>> expected{
        {"A0", storage->getGeometry("A0")}, {"D1", storage->getGeometry("D1")}, {"D2", storage->getGeometry("D2")}};
    EXPECT_EQ(list, expected);

    // Clearing an absent name does nothing; clearing a present one frees it (ASan would
    // report a leak otherwise) and keeps the domain's variables.
    storage->setVariable(newScalar("X", "A0"));
    storage->clearGeometry("nothing");
    storage->clearGeometry("A0");
    EXPECT_EQ(storage->getNumGeoms(), 2);
    EXPECT_TRUE(storage->isLoaded("X", "A0"));
    storage->clearAllGeometries();
    EXPECT_EQ(storage->getNumGeoms(), 0);
    EXPECT_EQ(storage->getNumVars(), 1);
}

TEST_F(StorageTest, SetVariableFailuresLeaveBothMapsUnchanged) {
    std::unique_ptr<Variable> orphan(newScalar("NoSuchObject", "D1"));
    expectStorageError<internal::badParam>([&] { storage->setVariable(orphan.get(), DIVarKey::Regular); },
                                           "setVariable",
                                           "Cannot store variable data for 'NoSuchObject'. The object does not exist.");
    expectStorageError<internal::badParam>([&] { storage->replaceVariable(orphan.get()); }, "replaceVariable",
                                           "Cannot store variable data for 'NoSuchObject'. The object does not exist.");
    EXPECT_EQ(storage->getNumVars(), 0);

    storage->setVariable(newScalar("X", "D1"), DIVarKey::Regular);
    // Same (name, domain) with another type still fails; the caller keeps the variable.
    std::unique_ptr<Variable> second(newScalar("X", "D1"));
    expectStorageError<internal::badParam>([&] { storage->setVariable(second.get(), DIVarKey::Protected); },
                                           "setVariable", "Variable 'X' in domain 'D1' is already loaded.");
    EXPECT_EQ(storage->getNumVars(), 1);
    EXPECT_EQ(storage->entryType("X", "D1"), DIVarKey::Regular);
    EXPECT_NE(storage->getVariable("X", "D1"), second.get());
    EXPECT_EQ(storage->getNumGeoms(), 2);
    EXPECT_THROW(storage->setVariable(nullptr), internal::nullPointer);

    // Keys iterate by name, then domain.
    storage->setVariable(newScalar("Y", "D1"));
    storage->setVariable(newScalar("X", "D2"));
    const std::vector<std::pair<std::string, std::string>> expected{{"X", "D1"}, {"X", "D2"}, {"Y", "D1"}};
    EXPECT_EQ(storage->keys(), expected);
}

TEST_F(StorageTest, ReplaceVariableFreesTheOldOnceAndKeepsTheType) {
    int deaths = 0;
    auto* first = new CountedVariable(&deaths);
    storage->setVariable(first, DIVarKey::Protected);
    storage->replaceVariable(first); // the same object: nothing to free
    EXPECT_EQ(deaths, 0);

    auto* second = new CountedVariable(&deaths);
    storage->replaceVariable(second);
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(storage->entryType("X", "D1"), DIVarKey::Protected);
    EXPECT_EQ(storage->getVariable("X", "D1"), second);

    // Absent: a Regular entry.
    storage->replaceVariable(newScalar("Y", "D2"));
    EXPECT_EQ(storage->entryType("Y", "D2"), DIVarKey::Regular);

    // Protected survives deleteVariable; the registry frees it when the storage goes.
    storage->deleteVariable("X");
    EXPECT_EQ(deaths, 1);
    storage.reset();
    EXPECT_EQ(deaths, 2);
}

TEST_F(StorageTest, DeleteVariableSparesProtectedAndFollowsVectorComponents) {
    addSolverObject("V");
    storage->setVariable(newScalar("V", "D1"), DIVarKey::Protected);
    storage->setVariable(newScalar("V", "D2"), DIVarKey::Regular);
    storage->setVariable(newScalar("V", "D3"), DIVarKey::Cloned);
    storage->setVariable(newScalar("X", "D1"));
    storage->deleteVariable("V");
    EXPECT_TRUE(storage->isLoaded("V", "D1"));
    EXPECT_FALSE(storage->isLoaded("V", "D2"));
    EXPECT_FALSE(storage->isLoaded("V", "D3"));
    EXPECT_TRUE(storage->isLoaded("X", "D1"));

    // A vector variable's object holds its component variables as children.
    OKLObject* velocity = addSolverObject("Velocity", "VECTOR VARIABLE");
    for (const char* comp : {"Velocity u", "Velocity v"}) {
        auto child = ObjectFactory::instance()->createObject("SCALAR VARIABLE", comp);
        child->setParameter("Recipe", "Vector Component");
        velocity->addChild(std::move(child));
    }
    auto plain = ObjectFactory::instance()->createObject("SCALAR VARIABLE", "Velocity note");
    velocity->addChild(std::move(plain));
    for (const char* name : {"Velocity", "Velocity u", "Velocity v", "Velocity note"})
        storage->setVariable(newScalar(name, "D1"));
    storage->deleteVariable("Velocity");
    EXPECT_FALSE(storage->isLoaded("Velocity", "D1"));
    EXPECT_FALSE(storage->isLoaded("Velocity u", "D1"));
    EXPECT_FALSE(storage->isLoaded("Velocity v", "D1"));
    EXPECT_TRUE(storage->isLoaded("Velocity note", "D1"));

    // Nothing removed: the children are left alone.
    storage->setVariable(newScalar("Velocity u", "D2"));
    storage->deleteVariable("Velocity");
    EXPECT_TRUE(storage->isLoaded("Velocity u", "D2"));
}

TEST_F(StorageTest, ClonedEntriesCountInEveryDomain) {
    addSolverObject("V");
    addSolverObject("Copy");
    storage->addSolverScalar("V", [](const TripletF& p) { return p.x + 10.0f; });
    storage->cloneVariable("V", "Copy");
    // One copy per domain, under the new name, as Cloned entries with their own values.
    ASSERT_EQ(storage->entryType("Copy", "D1"), DIVarKey::Cloned);
    ASSERT_EQ(storage->entryType("Copy", "D2"), DIVarKey::Cloned);
    EXPECT_NE(storage->getVariable("Copy", "D1"), storage->getVariable("V", "D1"));
    EXPECT_EQ(valuesOf(storage->getVariable("Copy", "D1")), valuesOf(storage->getVariable("V", "D1")));
    EXPECT_EQ(storage->getVariable("Copy", "D2")->getDomain(), "D2");

    // Only one Cloned entry somewhere: it counts in every domain, but is loaded in its own.
    storage->deleteVariable("Copy");
    auto* only = newScalar("Copy", "D1");
    storage->setVariable(only, DIVarKey::Cloned);
    EXPECT_TRUE(storage->hasVariable("Copy", "D2"));
    EXPECT_FALSE(storage->isLoaded("Copy", "D2"));
    EXPECT_TRUE(storage->isLoaded("Copy", "D1"));
    EXPECT_FALSE(storage->hasVariable("V", "D9"));

    // Cloning needs an object of the new name.
    EXPECT_THROW(storage->cloneVariable("V", "Unnamed"), internal::badParam);
}

TEST_F(StorageTest, BaseOperationsOfTheConcreteStorage) {
    DataStorageBase& base = *storage;
    FloatZELVectorConcrete flows(4);
    expectStorageError<data::error>([&] { base.getMassFlow("Mass Flow", "D1"); }, "getMassFlow",
                                    "Attempt to get mass flows - not supported.");
    expectStorageError<data::error>([&] { base.getMassFlow(flows, nullptr, "Water"); }, "getMassFlow",
                                    "Attempt to get mass flows - not supported.");
    EXPECT_EQ(base.getBoundaryFlow("Mass Flow", base.getGeometry("D1")), nullptr);
    EXPECT_TRUE(base.getPhases(1, "Water").empty());
    base.createAdditionalTurboVariables("Rotor");
    base.clearVariables();
    EXPECT_EQ(base.getNumVars(), 0);
    EXPECT_TRUE(base.DataStorageBase::getVectorVariableAllowed());
    // The storage is the expression language's source of fluids.
    EXPECT_EQ(ExpressionInterfaces::fluids(), &base);
}

// A provider that records its lifetime.
struct RecordingProvider : DomainVariableProviderIF {
    explicit RecordingProvider(int* deaths) : m_deaths(deaths) {}
    ~RecordingProvider() override { ++*m_deaths; }
    Variable* provideVariable(const std::string&, const std::string&) override { return nullptr; }
    int* m_deaths;
};

TEST_F(StorageTest, ProviderOwnership) {
    int deaths = 0;
    auto* first = new RecordingProvider(&deaths);
    auto* second = new RecordingProvider(&deaths);
    storage->registerVariableProvider(first);
    storage->registerVariableProvider(second);
    EXPECT_EQ(deaths, 0); // replaced, not freed: it is ours again
    delete first;
    EXPECT_EQ(deaths, 1);
    storage.reset();
    EXPECT_EQ(deaths, 2);
}

} // namespace
} // namespace zel::test
