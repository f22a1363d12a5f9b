#include "framework/okl/ObjectDB.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/core/OKLPath.h"
#include "framework/okl/CalcBase.h"
#include "framework/okl/ObjectTypes.h"

#include <algorithm>
#include <functional>

namespace zel {

ObjectDB* ObjectDB::m_instance = nullptr;
ObjectFactory* ObjectFactory::m_instance = nullptr;

namespace {

const char* const kClass = "ObjectDB";

// Depth first, parents before children, in creation order; stops when fn returns true.
bool walk(const OKLObject& o, const std::function<bool(OKLObject&)>& fn)
{
    if (fn(const_cast<OKLObject&>(o)))
        return true;
    for (OKLObject* c : o.getChildren())
        if (walk(*c, fn))
            return true;
    return false;
}

void collectPostOrder(OKLObject& o, std::vector<OKLObject*>& out)
{
    for (OKLObject* c : o.getChildren())
        collectPostOrder(*c, out);
    out.push_back(&o);
}

} // namespace

ObjectDB* ObjectDB::instance()
{
    if (!m_instance)
        m_instance = new ObjectDB(); // lives until the process ends
    return m_instance;
}

ObjectDB::~ObjectDB() = default;

OKLObject* ObjectDB::getTopObjectByName(const std::string& name) const
{
    for (const auto& o : m_objects)
        if (o->getName() == name)
            return o.get();
    return nullptr;
}

OKLObject* ObjectDB::getObjectByName(const std::string& name) const
{
    if (OKLObject* top = getTopObjectByName(name))
        return top;
    OKLObject* found = nullptr;
    for (const auto& o : m_objects) {
        if (walk(*o, [&](OKLObject& x) {
                if (x.getName() != name)
                    return false;
                found = &x;
                return true;
            }))
            break;
    }
    return found;
}

OKLObject* ObjectDB::getObjectByPath(const std::string& path) const
{
    const OKLPath p(path);
    if (p.empty())
        return nullptr;
    OKLObject* current = nullptr;
    for (const OKLPath::Component& c : p.components()) {
        // "TYPE:" names the singleton of that type.
        const std::string& name = c.name.empty() ? c.type : c.name;
        OKLObject* next = current ? current->findChild(name) : getTopObjectByName(name);
        if (!next || (!c.type.empty() && next->getType() != c.type))
            return nullptr;
        current = next;
    }
    return current;
}

std::vector<OKLObject*> ObjectDB::getAllObjects() const
{
    std::vector<OKLObject*> out;
    for (const auto& o : m_objects)
        walk(*o, [&](OKLObject& x) {
            out.push_back(&x);
            return false;
        });
    return out;
}

std::vector<OKLObject*> ObjectDB::getTopObjects() const
{
    std::vector<OKLObject*> out;
    out.reserve(m_objects.size());
    for (const auto& o : m_objects)
        out.push_back(o.get());
    return out;
}

std::vector<std::string> ObjectDB::getNamesByType(const std::string& type) const
{
    std::vector<std::string> out;
    for (OKLObject* o : getAllObjects())
        if (o->getType() == type)
            out.push_back(o->getName());
    return out;
}

std::vector<std::string> ObjectDB::getNamesByCategory(const std::string& category) const
{
    std::vector<std::string> out;
    for (OKLObject* o : getAllObjects())
        if (!category.empty() && o->getCategory() == category)
            out.push_back(o->getName());
    return out;
}

std::vector<OKLObject*> ObjectDB::getObjectsByType(const std::string& type) const
{
    std::vector<OKLObject*> out;
    for (OKLObject* o : getAllObjects())
        if (o->getType() == type)
            out.push_back(o);
    return out;
}

std::vector<OKLObject*> ObjectDB::getObjectsWithParameter(const std::string& param) const
{
    std::vector<OKLObject*> out;
    for (OKLObject* o : getAllObjects())
        if (o->hasParam(param))
            out.push_back(o);
    return out;
}

bool ObjectDB::contains(const OKLObject* object) const
{
    if (!object)
        return false;
    const OKLObject* root = object;
    while (root->getParent())
        root = root->getParent();
    return root->m_inDatabase;
}

OKLObject* ObjectDB::addObject(std::unique_ptr<OKLObject> object, OKLObject* parent)
{
    if (!object)
        throw internal::nullPointer(kClass, "addObject", _("Null pointer to %s.", "OKLObject"));
    if (object->getParent() || object->m_inDatabase)
        throw internal::badParam(kClass, "addObject", _("Object '%s' already has an owner.", object->getPath()));
    OKLObject* added = nullptr;
    if (parent) {
        if (!contains(parent))
            throw internal::badParam(kClass, "addObject",
                                     _("Parent '%s' of object '%s' is not in the database.", parent->getPath(),
                                       object->getName()));
        added = parent->addChild(std::move(object));
    } else {
        if (getTopObjectByName(object->getName()))
            throw data::duplicate(kClass, "addObject",
                                  _("An object named '%s' already exists.", object->getName()));
        added = attachTop(std::move(object));
    }
    walk(*added, [&](OKLObject& x) {
        notify(NotifyObjectCreated, x);
        return false;
    });
    return added;
}

OKLObject* ObjectDB::attachTop(std::unique_ptr<OKLObject> object)
{
    object->m_inDatabase = true;
    m_objects.push_back(std::move(object));
    return m_objects.back().get();
}

std::unique_ptr<OKLObject> ObjectDB::detachTop(OKLObject* object)
{
    auto it = std::find_if(m_objects.begin(), m_objects.end(), [&](const auto& o) { return o.get() == object; });
    if (it == m_objects.end())
        return nullptr;
    std::unique_ptr<OKLObject> out = std::move(*it);
    m_objects.erase(it);
    out->m_inDatabase = false;
    return out;
}

void ObjectDB::deleteObject(OKLObject* object)
{
    if (!contains(object))
        throw internal::badParam(kClass, "deleteObject",
                                 _("Object '%s' is not in the database.", object ? object->getPath() : std::string()));
    std::vector<OKLObject*> doomed;
    collectPostOrder(*object, doomed);
    for (OKLObject* o : doomed)
        notify(NotifyObjectDeleted, *o);
    if (OKLObject* parent = object->getParent()) {
        parent->releaseChild(object); // the returned owner destroys the subtree
        return;
    }
    detachTop(object);
}

bool ObjectDB::deleteObject(const std::string& nameOrPath)
{
    const bool isPath = nameOrPath.find_first_of("/:") != std::string::npos;
    OKLObject* o = isPath ? getObjectByPath(nameOrPath) : getObjectByName(nameOrPath);
    if (!o)
        return false;
    deleteObject(o);
    return true;
}

void ObjectDB::clear()
{
    while (!m_objects.empty())
        deleteObject(m_objects.back().get());
}

void ObjectDB::objectChanged(OKLObject& object)
{
    try {
        CalcRegistry::instance()->run(object, "top");
    } catch (...) {
        notify(NotifyObjectChanged, object);
        throw;
    }
    notify(NotifyObjectChanged, object);
}

void ObjectDB::addObserver(Observer* observer)
{
    if (observer && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void ObjectDB::removeObserver(Observer* observer)
{
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer), m_observers.end());
}

void ObjectDB::notify(NotifyType type, const OKLObject& object)
{
    // An observer may remove itself (or another) while being told: walk a copy and skip
    // those removed meanwhile.
    const auto tell = [&](NotifyType what) {
        const std::vector<Observer*> observers = m_observers;
        for (Observer* o : observers)
            if (std::find(m_observers.begin(), m_observers.end(), o) != m_observers.end())
                o->objectNotify(what, object);
    };
    tell(type);
    const bool objectEvent =
        type == NotifyObjectCreated || type == NotifyObjectChanged || type == NotifyObjectDeleted;
    const std::string& t = object.getType();
    if (objectEvent && (object.getCategory() == "variable" || t == "VARIABLE" || t == "EXPRESSIONS" ||
                        t == "PHYSICAL CONSTANTS"))
        tell(NotifyVariablesChanged);
}

ObjectFactory* ObjectFactory::instance()
{
    if (!m_instance)
        m_instance = new ObjectFactory(); // lives until the process ends
    return m_instance;
}

std::unique_ptr<OKLObject> ObjectFactory::createObject(const std::string& type, const std::string& name) const
{
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
