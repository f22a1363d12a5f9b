#include "framework/okl/GenericOKLObject.h"

namespace zel {

// Defined here so that the class has one home for its virtual table.
GenericOKLObject::~GenericOKLObject() = default;

} // namespace zel
