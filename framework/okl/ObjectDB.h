#pragma once
// The object database: the tree of user objects, and the factory that builds objects by
// type. The database owns its top-level objects; each object owns its children.
//
// Look-ups by name: getObjectByName and hasObject find a top-level object of that name
// first; failing that, an object of that name anywhere below, the first met in a
// depth-first walk in creation order (names are unique among siblings, so a nested name
// is ambiguous only when two parents hold children of the same name). An index of the names
// of every object in the tree answers them without walking: constant time for a name that
// one object has, depth times the number of holders when several share it. Names are fixed
// when an object is made, so only changes of the tree touch the index: adding and deleting
// here, clear, command blocks (and their rollback), and OKLObject::addChild/releaseChild on
// any object of the database, which keep it themselves.
// Listings (getNamesByType, getNamesByCategory, getObjectsByType, getObjectsWithParameter)
// walk the whole tree depth first, parents before children, in creation order.
#include "framework/okl/OKLObject.h"
#include "framework/okl/Observer.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace zel {

class ObjectDB {
public:
    // The single database, created on first use, alive until the process ends.
    static ObjectDB* instance();

    // The object of that name (see above), or null.
    OKLObject* getObjectByName(const std::string& name) const;
    // The top-level object of that name, or null.
    OKLObject* getTopObjectByName(const std::string& name) const;
    // The object at an absolute path ("/PLANE:Slice 1", "/LIBRARY/ROX/EXPRESSIONS";
    // a component without a type matches the child of that name), or null when there is
    // none or the path is empty.
    OKLObject* getObjectByPath(const std::string& path) const;
    bool hasObject(const std::string& name) const { return getObjectByName(name) != nullptr; }

    std::vector<std::string> getNamesByType(const std::string& type) const;
    std::vector<std::string> getNamesByCategory(const std::string& category) const;
    std::vector<OKLObject*> getObjectsByType(const std::string& type) const;
    // Objects that have the parameter (set or by default).
    std::vector<OKLObject*> getObjectsWithParameter(const std::string& param) const;
    // Every object, depth first.
    std::vector<OKLObject*> getAllObjects() const;
    std::vector<OKLObject*> getTopObjects() const;

    // Adds a free object (top-level when parent is null, else as a child of parent, which
    // must be in the database) and tells the observers (NotifyObjectCreated for it and for
    // each of its children). Takes ownership; data::duplicate when the parent (or the top
    // level) already holds an object of that name; internal::nullPointer for a null object.
    // Returns the object.
    OKLObject* addObject(std::unique_ptr<OKLObject> object, OKLObject* parent = nullptr);

    // Deletes an object of the database and its children: the observers are told
    // (NotifyObjectDeleted, children before their parent) and the objects destroyed.
    // internal::badParam when the object is not in the database.
    void deleteObject(OKLObject* object);
    // Deletes the object at a path or of a name; false when there is none.
    bool deleteObject(const std::string& nameOrPath);
    // Deletes every object (tests, a new session).
    void clear();

    // The object changed: runs the calc function registered for its type with "top"
    // (CalcRegistry), then tells the observers (NotifyObjectChanged), also when the calc
    // function fails; its failure then passes on. Called by OKLObject::finishParameters.
    void objectChanged(OKLObject& object);

    // Observers are not owned (see Observer.h). Adding one twice has no effect.
    void addObserver(Observer* observer);
    void removeObserver(Observer* observer);
    // Tells every observer (objectNotify), and adds NotifyVariablesChanged after an object
    // event of an object that defines names (see Observer.h).
    void notify(NotifyType type, const OKLObject& object);

    // True when the object is in the database tree (at any depth).
    bool contains(const OKLObject* object) const;

    ObjectDB(const ObjectDB&) = delete;
    ObjectDB& operator=(const ObjectDB&) = delete;

private:
    friend class OKLProcessor; // attaches and detaches objects silently while applying a block
    friend class OKLObject;    // keeps the name index when children come and go

    ObjectDB() = default;
    ~ObjectDB();
    // Adds or removes a top-level object without telling anyone. The caller makes sure
    // that no top-level object has the name already.
    OKLObject* attachTop(std::unique_ptr<OKLObject> object);
    std::unique_ptr<OKLObject> detachTop(OKLObject* object);

    // Enter or remove an object and everything below it in the name index. indexTree
    // leaves the index as it was when it fails (memory).
    void indexTree(OKLObject& root);
    void unindexTree(OKLObject& root) noexcept;
    // True when a comes before b in the depth-first walk (see above).
    static bool walksBefore(const OKLObject& a, const OKLObject& b);

    static ObjectDB* m_instance;
    std::vector<std::unique_ptr<OKLObject>> m_objects; // top-level objects, in creation order
    std::vector<Observer*> m_observers;                // not owned
    // The name index: every object of the tree by name, in no particular order (each
    // object holds its place, OKLObject::m_nameSlot); and the top-level object of each name.
    // The objects are owned by the tree.
    std::unordered_map<std::string, std::vector<OKLObject*>> m_byName;
    std::unordered_map<std::string, OKLObject*> m_topByName;
};

// Builds objects by type through the factory registered for the type (ObjectTypes.h), or
// as a plain OKLObject. The object is free: add it with ObjectDB::addObject.
class ObjectFactory {
public:
    static ObjectFactory* instance();
    // An empty name names the object after its type. internal::badParam for a type or name
    // that cannot be used (see OKLObject).
    std::unique_ptr<OKLObject> createObject(const std::string& type, const std::string& name) const;

private:
    ObjectFactory() = default;
    static ObjectFactory* m_instance;
};

} // namespace zel
