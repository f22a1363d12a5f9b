#include "framework/okl/ObjectDB.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/OKLPath.h"
#include "framework/okl/CalcBase.h"
#include "framework/okl/ObjectTypes.h"

#include <algorithm>
#include <cassert>
#include <functional>

namespace zel {

ObjectDB* ObjectDB::m_instance = nullptr;
ObjectFactory* ObjectFactory::m_instance = nullptr;

namespace {

const char* const kClass = "ObjectDB";

// Depth first, parents before children, in creation order; stops when fn returns true.
bool walk(const OKLObject& o, const std::function<bool(OKLObject&)>& fn) {
    if (fn(const_cast<OKLObject&>(o))) return true;
    for (OKLObject* c : o.getChildren())
        if (walk(*c, fn)) return true;
    return false;
}

void collectPostOrder(OKLObject& o, std::vector<OKLObject*>& out) {
    for (OKLObject* c : o.getChildren()) collectPostOrder(*c, out);
    out.push_back(&o);
}

} // namespace

ObjectDB* ObjectDB::instance() {
    if (!m_instance) m_instance = new ObjectDB(); // lives until the process ends
    return m_instance;
}

ObjectDB::~ObjectDB() = default;

OKLObject* ObjectDB::getTopObjectByName(const std::string& name) const {
    const auto it = m_topByName.find(name);
    return it == m_topByName.end() ? nullptr : it->second;
}

OKLObject* ObjectDB::getObjectByName(const std::string& name) const {
    if (OKLObject* top = getTopObjectByName(name)) return top;
    const auto it = m_byName.find(name);
    if (it == m_byName.end()) return nullptr;
    OKLObject* first = nullptr;
    for (OKLObject* o : it->second)
        if (!first || walksBefore(*o, *first)) first = o;
    return first;
}

bool ObjectDB::walksBefore(const OKLObject& a, const OKLObject& b) {
    const auto depth = [](const OKLObject* o) {
        std::size_t d = 0;
        for (; o->m_parent; o = o->m_parent) ++d;
        return d;
    };
    const std::size_t da = depth(&a), db = depth(&b);
    const OKLObject* x = &a;
    const OKLObject* y = &b;
    for (std::size_t d = da; d > db; --d) x = x->m_parent;
    for (std::size_t d = db; d > da; --d) y = y->m_parent;
    if (x == y) // one holds the other (or they are one): parents walk before their children
        return da < db;
    // Up to the siblings where the two lines part: owners append, so the earlier stamp is
    // the earlier sibling.
    while (x->m_parent != y->m_parent) {
        x = x->m_parent;
        y = y->m_parent;
    }
    return x->m_attachStamp < y->m_attachStamp;
}

void ObjectDB::indexTree(OKLObject& root) {
    std::vector<OKLObject*> tree{&root};
    for (std::size_t i = 0; i < tree.size(); ++i)
        for (const auto& c : tree[i]->m_children) tree.push_back(c.get());
    try {
        for (OKLObject* o : tree) {
            assert(o->m_nameSlot == OKLObject::kNotIndexed);
            std::vector<OKLObject*>& holders = m_byName[o->m_name];
            holders.push_back(o);
            o->m_nameSlot = holders.size() - 1;
        }
    } catch (...) {
        unindexTree(root);
        throw;
    }
}

void ObjectDB::unindexTree(OKLObject& root) noexcept {
    // Iterative, unlike the walks, so that no depth of tree can break it. The stack is its
    // only allocation; running out of memory there ends the program rather than leaving
    // the index wrong.
    std::vector<OKLObject*> pending{&root};
    while (!pending.empty()) {
        OKLObject* o = pending.back();
        pending.pop_back();
        for (const auto& c : o->m_children) pending.push_back(c.get());
        if (o->m_nameSlot == OKLObject::kNotIndexed) continue; // indexTree failed before it came to this one
        const auto it = m_byName.find(o->m_name);
        assert(it != m_byName.end() && o->m_nameSlot < it->second.size() && it->second[o->m_nameSlot] == o);
        std::vector<OKLObject*>& holders = it->second;
        holders[o->m_nameSlot] = holders.back();
        holders[o->m_nameSlot]->m_nameSlot = o->m_nameSlot;
        holders.pop_back();
        o->m_nameSlot = OKLObject::kNotIndexed;
        if (holders.empty()) m_byName.erase(it);
    }
}

OKLObject* ObjectDB::getObjectByPath(const std::string& path) const {
    const OKLPath p(path);
    if (p.empty()) return nullptr;
    OKLObject* current = nullptr;
    for (const OKLPath::Component& c : p.components()) {
        // "TYPE:" names the singleton of that type.
        const std::string& name = c.name.empty() ? c.type : c.name;
        OKLObject* next = current ? current->findChild(name) : getTopObjectByName(name);
        if (!next || (!c.type.empty() && next->getType() != c.type)) return nullptr;
        current = next;
    }
    return current;
}

std::vector<OKLObject*> ObjectDB::getAllObjects() const {
    std::vector<OKLObject*> out;
    for (const auto& o : m_objects)
        walk(*o, [&](OKLObject& x) {
            out.push_back(&x);
            return false;
        });
    return out;
}

std::vector<OKLObject*> ObjectDB::getTopObjects() const {
    std::vector<OKLObject*> out;
    out.reserve(m_objects.size());
    for (const auto& o : m_objects) out.push_back(o.get());
    return out;
}

std::vector<std::string> ObjectDB::getNamesByType(const std::string& type) const {
    std::vector<std::string> out;
    for (OKLObject* o : getAllObjects())
        if (o->getType() == type) out.push_back(o->getName());
    return out;
}

std::vector<std::string> ObjectDB::getNamesByCategory(const std::string& category) const {
    std::vector<std::string> out;
    for (OKLObject* o : getAllObjects())
        if (!category.empty() && o->getCategory() == category) out.push_back(o->getName());
    return out;
}

std::vector<OKLObject*> ObjectDB::getObjectsByType(const std::string& type) const {
    std::vector<OKLObject*> out;
    for (OKLObject* o : getAllObjects())
        if (o->getType() == type) out.push_back(o);
    return out;
}

std::vector<OKLObject*> ObjectDB::getObjectsWithParameter(const std::string& param) const {
    std::vector<OKLObject*> out;
    for (OKLObject* o : getAllObjects())
        if (o->hasParam(param)) out.push_back(o);
    return out;
}

bool ObjectDB::contains(const OKLObject* object) const {
    return object && object->m_nameSlot != OKLObject::kNotIndexed;
}

OKLObject* ObjectDB::addObject(std::unique_ptr<OKLObject> object, OKLObject* parent) {
    if (!object) throw internal::nullPointer(kClass, "addObject", _("Null pointer to %s.", "OKLObject"));
    if (object->getParent() || object->m_inDatabase)
        throw internal::badParam(kClass, "addObject", _("Object '%s' already has an owner.", object->getPath()));
    OKLObject* added = nullptr;
    if (parent) {
        if (!contains(parent))
            throw internal::badParam(
                kClass, "addObject",
                _("Parent '%s' of object '%s' is not in the database.", parent->getPath(), object->getName()));
        added = parent->addChild(std::move(object));
    } else {
        if (getTopObjectByName(object->getName()))
            throw data::duplicate(kClass, "addObject", _("An object named '%s' already exists.", object->getName()));
        added = attachTop(std::move(object));
    }
    walk(*added, [&](OKLObject& x) {
        notify(NotifyObjectCreated, x);
        return false;
    });
    return added;
}

OKLObject* ObjectDB::attachTop(std::unique_ptr<OKLObject> object) {
    OKLObject* o = object.get();
    const bool unique = m_topByName.emplace(o->getName(), o).second;
    assert(unique);
    try {
        indexTree(*o);
        m_objects.push_back(std::move(object));
    } catch (...) {
        unindexTree(*o);
        if (unique) m_topByName.erase(o->getName());
        throw;
    }
    o->m_inDatabase = true;
    o->m_attachStamp = OKLObject::nextAttachStamp();
    return o;
}

std::unique_ptr<OKLObject> ObjectDB::detachTop(OKLObject* object) {
    // From the back: clear() and the rollback of a block detach the newest first.
    auto it = std::find_if(m_objects.rbegin(), m_objects.rend(), [&](const auto& o) { return o.get() == object; });
    if (it == m_objects.rend()) return nullptr;
    std::unique_ptr<OKLObject> out = std::move(*it);
    m_objects.erase(std::next(it).base());
    unindexTree(*out);
    if (const auto top = m_topByName.find(out->getName()); top != m_topByName.end() && top->second == out.get())
        m_topByName.erase(top);
    out->m_inDatabase = false;
    return out;
}

void ObjectDB::deleteObject(OKLObject* object) {
    if (!contains(object))
        throw internal::badParam(kClass, "deleteObject",
                                 _("Object '%s' is not in the database.", object ? object->getPath() : std::string()));
    std::vector<OKLObject*> doomed;
    collectPostOrder(*object, doomed);
    for (OKLObject* o : doomed) notify(NotifyObjectDeleted, *o);
    if (OKLObject* parent = object->getParent()) {
        parent->releaseChild(object); // the returned owner destroys the subtree
        return;
    }
    detachTop(object);
}

bool ObjectDB::deleteObject(const std::string& nameOrPath) {
    const bool isPath = nameOrPath.find_first_of("/:") != std::string::npos;
    OKLObject* o = isPath ? getObjectByPath(nameOrPath) : getObjectByName(nameOrPath);
    if (!o) return false;
    deleteObject(o);
    return true;
}

void ObjectDB::clear() {
    while (!m_objects.empty()) deleteObject(m_objects.back().get());
}

void ObjectDB::objectChanged(OKLObject& object) {
    try {
        CalcRegistry::instance()->run(object, "top");
    } catch (...) {
        notify(NotifyObjectChanged, object);
        throw;
    }
    notify(NotifyObjectChanged, object);
}

void ObjectDB::addObserver(Observer* observer) {
    if (observer && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void ObjectDB::removeObserver(Observer* observer) {
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer), m_observers.end());
}

void ObjectDB::notify(NotifyType type, const OKLObject& object) {
    // An observer may remove itself (or another) while being told: walk a copy and skip
    // those removed meanwhile.
    const auto tell = [&](NotifyType what) {
        const std::vector<Observer*> observers = m_observers;
        for (Observer* o : observers)
            if (std::find(m_observers.begin(), m_observers.end(), o) != m_observers.end())
                o->objectNotify(what, object);
    };
    tell(type);
    const bool objectEvent = type == NotifyObjectCreated || type == NotifyObjectChanged || type == NotifyObjectDeleted;
    const std::string& t = object.getType();
    if (objectEvent &&
        (object.getCategory() == "variable" || t == "VARIABLE" || t == "EXPRESSIONS" || t == "PHYSICAL CONSTANTS"))
        tell(NotifyVariablesChanged);
}

ObjectFactory* ObjectFactory::instance() {
    if (!m_instance) m_instance = new ObjectFactory(); // lives until the process ends
    return m_instance;
}

std::unique_ptr<OKLObject> ObjectFactory::createObject(const std::string& type, const std::string& name) const {
    const ObjectTypeInfo& info = ObjectTypeRegistry::instance()->get(type);
    if (info.factory) {
        std::unique_ptr<OKLObject> o = info.factory(type, name);
        if (!o)
            throw internal::nullPointer("ObjectFactory", "createObject",
                                        _("The factory of type '%s' made no object.", type));
        return o;
    }
    return std::make_unique<OKLObject>(type, name);
}

} // namespace zel
