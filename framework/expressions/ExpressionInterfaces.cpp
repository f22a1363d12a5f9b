#include "framework/expressions/ExpressionInterfaces.h"

#include "framework/expressions/ExpressionEvaluator.h"

namespace zel {

namespace {
// The registered host objects (borrowed; the host owns them).
struct Registry {
    ExpressionCallbacksInterface* callbacks = nullptr;
    ExpressionFluidsInterface* fluids = nullptr;
    ExpressionStoreInterface* store = nullptr;
    ExpressionVariablesInterface* variables = nullptr;
    ExpressionCoordinatesInterface* coordinates = nullptr;
    ExpressionLocatorsInterface* locators = nullptr;
};

Registry& registry() {
    static Registry r;
    return r;
}

template <class T> void setSlot(T*& slot, T* value) {
    if (slot == value) return;
    slot = value;
    ExpressionEvaluator::clearExpressionCache();
}

template <class T> void withdraw(T*& slot, T* self) {
    if (slot == self) setSlot<T>(slot, nullptr);
}
} // namespace

ExpressionCallbacksInterface* ExpressionInterfaces::callbacks() { return registry().callbacks; }
ExpressionFluidsInterface* ExpressionInterfaces::fluids() { return registry().fluids; }
ExpressionStoreInterface* ExpressionInterfaces::store() { return registry().store; }
ExpressionVariablesInterface* ExpressionInterfaces::variables() { return registry().variables; }
ExpressionCoordinatesInterface* ExpressionInterfaces::coordinates() { return registry().coordinates; }
ExpressionLocatorsInterface* ExpressionInterfaces::locators() { return registry().locators; }

void ExpressionInterfaces::setCallbacks(ExpressionCallbacksInterface* p) { setSlot(registry().callbacks, p); }
void ExpressionInterfaces::setFluids(ExpressionFluidsInterface* p) { setSlot(registry().fluids, p); }
void ExpressionInterfaces::setStore(ExpressionStoreInterface* p) { setSlot(registry().store, p); }
void ExpressionInterfaces::setVariables(ExpressionVariablesInterface* p) { setSlot(registry().variables, p); }
void ExpressionInterfaces::setCoordinates(ExpressionCoordinatesInterface* p) { setSlot(registry().coordinates, p); }
void ExpressionInterfaces::setLocators(ExpressionLocatorsInterface* p) { setSlot(registry().locators, p); }

void ExpressionInterfaces::clear() {
    registry() = Registry();
    ExpressionEvaluator::clearExpressionCache();
}

ExpressionCallbacksInterface::ExpressionCallbacksInterface() { ExpressionInterfaces::setCallbacks(this); }
ExpressionCallbacksInterface::~ExpressionCallbacksInterface() { withdraw(registry().callbacks, this); }
ExpressionFluidsInterface::ExpressionFluidsInterface() { ExpressionInterfaces::setFluids(this); }
ExpressionFluidsInterface::~ExpressionFluidsInterface() { withdraw(registry().fluids, this); }
ExpressionStoreInterface::ExpressionStoreInterface() { ExpressionInterfaces::setStore(this); }
ExpressionStoreInterface::~ExpressionStoreInterface() { withdraw(registry().store, this); }
ExpressionVariablesInterface::ExpressionVariablesInterface() { ExpressionInterfaces::setVariables(this); }
ExpressionVariablesInterface::~ExpressionVariablesInterface() { withdraw(registry().variables, this); }
ExpressionCoordinatesInterface::ExpressionCoordinatesInterface() { ExpressionInterfaces::setCoordinates(this); }
ExpressionCoordinatesInterface::~ExpressionCoordinatesInterface() { withdraw(registry().coordinates, this); }
ExpressionLocatorsInterface::ExpressionLocatorsInterface() { ExpressionInterfaces::setLocators(this); }
ExpressionLocatorsInterface::~ExpressionLocatorsInterface() { withdraw(registry().locators, this); }

} // namespace zel
