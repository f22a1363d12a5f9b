#pragma once
// A point object ("POINT", "INTERNAL POINT"): its geometries are SymbolGeometry points,
// drawn as symbols ("Symbol", "Symbol Size") oriented by the geometry's two direction lists.
#include "framework/okl/GeometricOKLObject.h"

namespace zel {

class SymbolGeometricOKLObject : public GeometricOKLObject {
public:
    SymbolGeometricOKLObject(const std::string& type, const std::string& name) : GeometricOKLObject(type, name) {}
    ~SymbolGeometricOKLObject() override;

    // Gives every SymbolGeometry of the object one entry per vertex in both direction
    // lists (new entries: (0, 1, 0) and (0, 0, 1); extra entries are dropped) and sets
    // RenderChanged.
    void updateSymbols() override;

    // Purges the object from the viewer and draws each geometry that has points as symbols
    // (the settings of buildGraphicObject, plus "Symbol" and "Symbol Size"), after
    // updateSymbols. False, with nothing drawn, when the object has no geometry with a
    // point (the caller then discards the object's geometries). Other failures remove the
    // object's drawings and pass on.
    bool renderSymbol();
};

} // namespace zel
