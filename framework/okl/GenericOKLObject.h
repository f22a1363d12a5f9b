#pragma once
// An object with no behaviour of its own beyond holding geometries: the objects of the
// variable types ("VARIABLE", "SCALAR VARIABLE", "VECTOR VARIABLE", "USER SCALAR
// VARIABLE", "USER VECTOR VARIABLE"). Code that walks an object's children (a vector
// variable's component variables) recognises it by this type.
#include "framework/okl/GeometricOKLObject.h"

namespace zel {

class GenericOKLObject : public GeometricOKLObject {
public:
    GenericOKLObject(const std::string& type, const std::string& name) : GeometricOKLObject(type, name) {}
    ~GenericOKLObject() override;
};

} // namespace zel
