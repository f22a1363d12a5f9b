// The database: look-ups by name and path, listings, object descriptions, observers, calc
// functions run on change, and factories per type.
#include "OklTestSupport.h"

#include "framework/okl/OKLAPI.h"

#include <memory>

namespace zel::test {

namespace {

using Database = OklTest;

struct Event {
    NotifyType type;
    std::string path;
    bool operator==(const Event&) const = default;
};

class RecordingObserver : public Observer {
public:
    void update(NotifyType type) override { types.push_back(type); }
    void objectNotify(NotifyType type, const OKLObject& object) override {
        Observer::objectNotify(type, object);
        events.push_back({type, object.getPath()});
    }
    std::vector<NotifyType> types;
    std::vector<Event> events;
};

// Records its calls; a value type like the real calc functions.
class RecordingCalc : public CalcBase {
public:
    explicit RecordingCalc(std::shared_ptr<std::vector<std::string>> log, bool fail = false)
        : m_log(std::move(log)), m_fail(fail) {}
    void operator()(OKLObject* object, const std::string& action) override {
        m_log->push_back(object->getName() + ":" + action + ":" + object->getValue("Plane Type"));
        if (m_fail) throw data::invalid("RecordingCalc", "operator()", "cannot build");
    }
    CalcBase* clone() const override { return new RecordingCalc(*this); }

private:
    std::shared_ptr<std::vector<std::string>> m_log;
    bool m_fail;
};

// A subclass built by the factory of "PLANE": counts settings and finishings.
class CountingPlane : public OKLObject {
public:
    using OKLObject::OKLObject;
    void setParameter(const std::string& name, const std::string& value) override {
        ++settings;
        OKLObject::setParameter(name, value);
    }
    void finishParameters() override {
        ++finishings;
        OKLObject::finishParameters();
    }
    int settings = 0;
    int finishings = 0;
};

} // namespace

TEST_F(Database, PathsAndNames) {
    run("PLANE: Plane 1\nEND\n"
        "LIBRARY:\n  ROX:\n    EXPRESSIONS:\n    END\n  END\n  VARIABLE: Pressure\n  END\nEND\n"
        "DATA READER:\n  CASE: Case 1\n    DOMAIN: Twin\n    END\n  END\n  CASE: Case 2\n    DOMAIN: Twin\n    END\n  "
        "END\nEND\n");
    OKLCoreAPI* api = OKLCoreAPI::instance();
    EXPECT_EQ(api->toValidatedPath("Plane 1"), "/PLANE:Plane 1");
    EXPECT_EQ(api->toValidatedPath("/PLANE:Plane 1"), "/PLANE:Plane 1");
    EXPECT_EQ(api->toValidatedPath("PLANE:Plane 1"), "/PLANE:Plane 1");
    EXPECT_EQ(api->toValidatedPath(" / PLANE : Plane 1 "), "/PLANE:Plane 1");
    EXPECT_EQ(api->toValidatedPath("/Plane 1"), "/PLANE:Plane 1"); // a component without type
    EXPECT_EQ(api->toValidatedPath("/LIBRARY/ROX/EXPRESSIONS"), "/LIBRARY/ROX/EXPRESSIONS");
    EXPECT_EQ(api->toValidatedPath("/LIBRARY/ROX/EXPRESSIONS:"), "/LIBRARY/ROX/EXPRESSIONS");
    EXPECT_EQ(api->toValidatedPath("Pressure"), "/LIBRARY/VARIABLE:Pressure");       // nested, unique
    EXPECT_EQ(api->toValidatedPath("Twin"), "/DATA READER/CASE:Case 1/DOMAIN:Twin"); // first met
    EXPECT_EQ(api->toValidatedPath("/DATA READER/CASE:Case 2/DOMAIN:Twin"), "/DATA READER/CASE:Case 2/DOMAIN:Twin");
    expectError<data::notFound>([&] { api->toValidatedPath("/LINE:Plane 1"); },
                                {.fragments = {"/LINE:Plane 1"}}); // wrong type
    expectError<data::notFound>([&] { api->toValidatedPath("Plane 2"); }, {.fragments = {"'Plane 2'"}});
    EXPECT_THROW(api->toValidatedPath(""), data::notFound);
    EXPECT_THROW(api->toValidatedPath("/"), data::notFound);

    EXPECT_TRUE(api->hasObject("/LIBRARY"));
    EXPECT_FALSE(api->hasObject("/LIBRARY/EXPRESSIONS"));
    EXPECT_EQ(api->getTopObjectByName("Pressure"), nullptr); // not top-level
    EXPECT_NE(db()->getObjectByName("Pressure"), nullptr);
    EXPECT_EQ(api->getObjectByPath("/PLANE:Plane 1"), db()->getObjectByName("Plane 1"));
    EXPECT_EQ(db()->getObjectByPath(""), nullptr);

    // Names are unique among siblings only.
    EXPECT_THROW(db()->addObject(ObjectFactory::instance()->createObject("LINE", "Plane 1")), data::duplicate);
    EXPECT_THROW(db()->addObject(nullptr), internal::nullPointer);
    OKLObject* free =
        db()->addObject(ObjectFactory::instance()->createObject("LINE", "Plane 1"), db()->getObjectByPath("/LIBRARY"));
    EXPECT_EQ(free->getPath(), "/LIBRARY/LINE:Plane 1");
    EXPECT_EQ(db()->getObjectByName("Plane 1")->getType(), "PLANE"); // the top-level one first

    // Invalid names and types never enter the database.
    const std::pair<const char*, const char*> invalid[] = {
        {"PLANE", "a/b"}, {"PLANE", " padded"}, {"PL:ANE", "x"}, {"", "x"}};
    for (const auto& [type, name] : invalid)
        EXPECT_THROW(OKLObject(type, name), internal::badParam) << type << ": " << name;
    EXPECT_EQ(OKLObject("CALCULATOR", "").getName(), "CALCULATOR");
}

TEST_F(Database, ListingsByTypeCategoryAndParameter) {
    run("DOMAIN: Fluid\nEND\nDOMAIN: Solid\nEND\n"
        "PLANE: Slice 1\nEND\nLINE: Line 1\nEND\nPOINT: Point 1\nEND\nCOORD FRAME: Coord 1\nEND\n"
        "SCALAR VARIABLE: Pressure\n  Related Object = Surf\nEND\nUSER VECTOR VARIABLE: V\nEND\n"
        "BOUNDARY: inlet\nEND\n");
    EXPECT_EQ(db()->getNamesByType("DOMAIN"), (std::vector<std::string>{"Fluid", "Solid"}));
    EXPECT_EQ(db()->getNamesByCategory("variable"), (std::vector<std::string>{"Pressure", "V"}));
    EXPECT_EQ(db()->getNamesByCategory("geometry"),
              (std::vector<std::string>{"Fluid", "Solid", "Slice 1", "Line 1", "Point 1", "inlet"}));
    EXPECT_TRUE(db()->getNamesByCategory("").empty());
    const auto frames = db()->getObjectsByType("COORD FRAME");
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0]->getName(), "Coord 1");
    const auto related = db()->getObjectsWithParameter("Related Object");
    ASSERT_EQ(related.size(), 1u);
    EXPECT_EQ(related[0]->getName(), "Pressure");
    // A parameter that the type defines counts too.
    EXPECT_EQ(db()->getObjectsWithParameter("Line Samples").size(), 1u);

    // Kinds.
    const OKLObject* slice = db()->getObjectByName("Slice 1");
    for (const char* k : {"geometry", "point", "surface", "mesh-density", "edge-based", "PLANE"})
        EXPECT_TRUE(slice->isA(k)) << k;
    for (const char* k : {"line", "volume", "region2d", "variable"}) EXPECT_FALSE(slice->isA(k)) << k;
    const std::pair<const char*, const char*> kinds[] = {
        {"inlet", "region2d"}, {"Line 1", "line"}, {"Fluid", "volume"}, {"V", "variable"}};
    for (const auto& [name, kind] : kinds) EXPECT_TRUE(db()->getObjectByName(name)->isA(kind)) << name;
    EXPECT_FALSE(db()->getObjectByName("Coord 1")->isA("point"));

    // "All Domains" expands to every DOMAIN, in database order; a list is split.
    EXPECT_EQ(slice->getDomainNameList(), (std::vector<std::string>{"Fluid", "Solid"}));
    run("PLANE: Slice 1\n  Domain List = Solid, Fluid\nEND\n");
    EXPECT_EQ(slice->getDomainNameList(), (std::vector<std::string>{"Solid", "Fluid"}));
    EXPECT_TRUE(db()->getObjectByName("Coord 1")->getDomainNameList().empty());
}

TEST_F(Database, ObjectInfoListsObjectsAndParametersDepthFirst) {
    run("LIBRARY:\n"
        "  VARIABLE: Velocity\n"
        "    Tensor Type = VECTOR\n"
        "    Component Short Names = u, v, w\n"
        "  END\n"
        "  ROX:\n"
        "    PHYSICAL CONSTANTS:\n"
        "      g = 9.81 [m s^-2]\n"
        "    END\n"
        "  END\n"
        "END\n");
    const auto info = OKLAPI::instance()->getObjectInfo("/LIBRARY");
    std::vector<std::string> lines;
    for (const auto& i : info)
        lines.push_back(i.kind + "|" + i.name + "|" + i.type + "|" + i.path + "|" + i.getValue());
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Object|LIBRARY|LIBRARY|/LIBRARY|",
                         "Object|Velocity|VARIABLE|/LIBRARY/VARIABLE:Velocity|",
                         "Param|Tensor Type|VARIABLE|/LIBRARY/VARIABLE:Velocity|VECTOR",
                         "Param|Component Short Names|VARIABLE|/LIBRARY/VARIABLE:Velocity|u, v, w",
                         "Object|ROX|ROX|/LIBRARY/ROX|",
                         "Object|PHYSICAL CONSTANTS|PHYSICAL CONSTANTS|/LIBRARY/ROX/PHYSICAL CONSTANTS|",
                         "Param|g|PHYSICAL CONSTANTS|/LIBRARY/ROX/PHYSICAL CONSTANTS|9.81 [m s^-2]",
                     }));
    EXPECT_TRUE(info[0].isObject());
    EXPECT_TRUE(info[2].isParam());

    // A CALCULATOR lists its defaults after what was set.
    run("CALCULATOR:\n  Function = area\nEND\n");
    const auto calc = OKLAPI::instance()->getObjectInfo("/CALCULATOR");
    ASSERT_GE(calc.size(), 3u);
    EXPECT_EQ(calc[1].name, "Function");
    EXPECT_EQ(calc[2].name, "Expression");

    expectError<okl::error>([] { OKLAPI::instance()->getObjectInfo("/LIBRARY/ROX/EXPRESSIONS"); },
                            {.fragments = {"/LIBRARY/ROX/EXPRESSIONS"}});
    OKLAPI::instance()->deleteObj("/LIBRARY");
    EXPECT_FALSE(db()->hasObject("LIBRARY"));
    EXPECT_FALSE(db()->hasObject("Velocity"));
    EXPECT_THROW(OKLAPI::instance()->deleteObj("/LIBRARY"), okl::error);
}

TEST_F(Database, ObserversHearCreationChangeAndDeletion) {
    RecordingObserver obs;
    db()->addObserver(&obs);
    db()->addObserver(&obs); // once only
    run("PLANE: P\n  POINT: C\n  END\nEND\n");
    run("PLANE: P\n  Z = 1 [m]\nEND\n");
    run("PLANE: P\nEND\n"); // nothing given: nothing changed
    run("> delete P\n");
    db()->removeObserver(&obs);
    run("PLANE: Q\nEND\n");
    EXPECT_EQ(obs.events, (std::vector<Event>{
                              {NotifyObjectCreated, "/PLANE:P"},
                              {NotifyObjectCreated, "/PLANE:P/POINT:C"},
                              {NotifyObjectChanged, "/PLANE:P/POINT:C"},
                              {NotifyObjectChanged, "/PLANE:P"},
                              {NotifyObjectChanged, "/PLANE:P"},
                              {NotifyObjectDeleted, "/PLANE:P/POINT:C"},
                              {NotifyObjectDeleted, "/PLANE:P"},
                          }));
    EXPECT_EQ(obs.types.size(), obs.events.size()); // the default forwards to update()

    // Direct additions and deletions are heard too.
    db()->addObserver(&obs);
    obs.events.clear();
    OKLObject* v = db()->addObject(ObjectFactory::instance()->createObject("SCALAR VARIABLE", "T"));
    v->setParameter("Base Units", "K"); // direct settings are silent...
    v->finishParameters();              // ...until finished
    db()->deleteObject("T");
    db()->removeObserver(&obs);
    // A variable changes the names of the expression language as well.
    const std::string t = "/SCALAR VARIABLE:T";
    EXPECT_EQ(obs.events, (std::vector<Event>{{NotifyObjectCreated, t},
                                              {NotifyVariablesChanged, t},
                                              {NotifyObjectChanged, t},
                                              {NotifyVariablesChanged, t},
                                              {NotifyObjectDeleted, t},
                                              {NotifyVariablesChanged, t}}));
}

TEST_F(Database, CalcFunctionRunsWhenAnObjectOfItsTypeChanges) {
    auto log = std::make_shared<std::vector<std::string>>();
    CalcRegistry::instance()->registerCalcFunc("PLANE", RecordingCalc(log));
    run("PLANE: A\n  Plane Type = Sample\nEND\nLINE: L\nEND\n");
    run("PLANE: A\n  Plane Type = Slice\nEND\n");
    run("PLANE: A\nEND\n");
    EXPECT_EQ(*log, (std::vector<std::string>{"A:top:Sample", "A:top:Slice"}));

    // The host runs the other actions.
    EXPECT_TRUE(CalcRegistry::instance()->run(*db()->getObjectByName("A"), "render"));
    EXPECT_FALSE(CalcRegistry::instance()->run(*db()->getObjectByName("L"), "render"));
    EXPECT_EQ(log->back(), "A:render:Slice");

    // A failing rebuild passes its error on; the settings stay and observers still hear.
    CalcRegistry::instance()->registerCalcFunc("PLANE", std::make_unique<RecordingCalc>(log, true));
    RecordingObserver obs;
    db()->addObserver(&obs);
    EXPECT_THROW(run("PLANE: A\n  Plane Type = Broken\nEND\nPLANE: B\nEND\n"), data::invalid);
    db()->removeObserver(&obs);
    EXPECT_EQ(db()->getObjectByName("A")->getValue("Plane Type"), "Broken");
    EXPECT_FALSE(db()->hasObject("B"));
    EXPECT_EQ(obs.events, (std::vector<Event>{{NotifyObjectChanged, "/PLANE:A"}}));

    CalcRegistry::instance()->unregisterCalcFunc("PLANE");
    run("PLANE: A\n  Plane Type = Slice\nEND\n");
    EXPECT_EQ(CalcRegistry::instance()->find("PLANE"), nullptr);
}

TEST_F(Database, FactoryBuildsTheSubclassOfAType) {
    ObjectTypeRegistry::instance()->setFactory("PLANE", [](const std::string& type, const std::string& name) {
        return std::make_unique<CountingPlane>(type, name);
    });
    run("PLANE: P\n  Option = XY Plane\n  Z = 1 [m]\nEND\n");
    auto* plane = dynamic_cast<CountingPlane*>(db()->getObjectByName("P"));
    ASSERT_NE(plane, nullptr);
    EXPECT_EQ(plane->settings, 2);
    EXPECT_EQ(plane->finishings, 1);
    // The registration of the type is kept with its factory.
    EXPECT_EQ(plane->getValue("Plane Type"), "Slice");
    EXPECT_NE(dynamic_cast<CountingPlane*>(ObjectFactory::instance()->createObject("PLANE", "Q").get()), nullptr);
    EXPECT_EQ(dynamic_cast<CountingPlane*>(ObjectFactory::instance()->createObject("LINE", "Q").get()), nullptr);

    // A factory that breaks its contract is caught, and the block is not applied.
    ObjectTypeRegistry::instance()->setFactory(
        "LINE", [](const std::string&, const std::string& name) { return std::make_unique<OKLObject>("POINT", name); });
    expectError<okl::error>([] { run("LINE: L\nEND\n"); }, {.fragments = {"Line 1", "POINT"}});
    EXPECT_FALSE(db()->hasObject("L"));

    // Other libraries register their own types and parameters.
    ObjectTypeInfo info;
    info.type = "ISOSURFACE";
    info.category = "geometry";
    info.kinds = {"geometry", "point", "surface", "mesh-density"};
    info.params = {ParamDefinition("Variable", "Pressure"), ParamDefinition("Value", "0 [Pa]")};
    ObjectTypeRegistry::instance()->registerType(info);
    ObjectTypeRegistry::instance()->addParams("ISOSURFACE", {ParamDefinition("Value", "1 [Pa]")});
    run("ISOSURFACE: Iso\nEND\n");
    EXPECT_TRUE(db()->getObjectByName("Iso")->isA("mesh-density"));
    EXPECT_EQ(db()->getObjectByName("Iso")->getValue("Value"), "1 [Pa]");
    EXPECT_EQ(db()->getNamesByCategory("geometry"), (std::vector<std::string>{"P", "Iso"}));
}

} // namespace zel::test
