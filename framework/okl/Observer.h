#pragma once
// Listeners of the object database. An observer registered with ObjectDB::addObserver is
// told when an object is created (added to the database), changed (after its parameters
// were finished) or deleted (before it is destroyed). Observers are not owned by the
// database: an observer removes itself (ObjectDB::removeObserver) before it is destroyed.
#include <string>

namespace zel {

class OKLObject;

enum NotifyType : int {
    NotifyObjectCreated = 2,
    NotifyObjectChanged = 4,
    NotifyObjectDeleted = 6
};

class Observer {
public:
    virtual ~Observer() = default;
    // The kind of change alone.
    virtual void update(NotifyType type) = 0;
    // The change and the object (alive during the call, also for NotifyObjectDeleted).
    // The default forwards to update(type).
    virtual void objectNotify(NotifyType type, const OKLObject& object)
    {
        (void)object;
        update(type);
    }
};

} // namespace zel
