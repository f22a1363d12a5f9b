#pragma once
// Change notifications of the framework. The object database tells its observers what kind
// of change happened; the expression server clears the expression cache on the kinds that
// change the meaning of names (VariablesChanged, ResultsLoaded).
namespace zel {

class OKLObject;

enum NotifyType : int {
    NotifyNone = 0,
    NotifyObjectCreated = 1,
    NotifyObjectChanged = 2,
    NotifyObjectDeleted = 3,
    NotifyVariablesChanged = 4, // variable definitions or user expressions changed
    NotifySelectionChanged = 5,
    NotifyResultsLoaded = 6, // new results replace the old ones
    NotifyViewChanged = 7
};

// Observers are not owned by what they observe: an observer removes itself before it is
// destroyed (ObjectDB::removeObserver).
class Observer {
public:
    virtual ~Observer() = default;
    // The kind of change alone.
    virtual void update(NotifyType type) = 0;
    // The change and the object (alive during the call, also for NotifyObjectDeleted).
    // The default forwards to update(type).
    virtual void objectNotify(NotifyType type, const OKLObject& object) {
        (void)object;
        update(type);
    }
};

} // namespace zel
