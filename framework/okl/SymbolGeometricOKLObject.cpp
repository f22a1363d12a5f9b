#include "framework/okl/SymbolGeometricOKLObject.h"

#include "framework/geometry/Geometry.h"
#include "framework/viewer/GraphicObject.h"
#include "framework/viewer/ViewerInterface.h"

namespace zel {

SymbolGeometricOKLObject::~SymbolGeometricOKLObject() = default;

void SymbolGeometricOKLObject::updateSymbols() {
    for (Geometry* g : getGeometries()) {
        auto* symbols = dynamic_cast<SymbolGeometry*>(g);
        if (!symbols) continue;
        const std::size_t n = std::size_t(symbols->getNumVertices());
        if (symbols->getDirection1().size() != n) symbols->getDirection1().resize(n, TripletF(0.0f, 1.0f, 0.0f));
        if (symbols->getDirection2().size() != n) symbols->getDirection2().resize(n, TripletF(0.0f, 0.0f, 1.0f));
    }
    GeometricOKLObject::updateSymbols();
}

bool SymbolGeometricOKLObject::renderSymbol() {
    purgeFromViewer();
    bool anyPoint = false;
    for (Geometry* g : getGeometries()) anyPoint = anyPoint || g->getNumVertices() > 0;
    if (!anyPoint) return false;
    try {
        updateSymbols();
        for (const std::string& name : getGeometryNames()) {
            Geometry* g = getGeometry(name);
            if (!g || g->getNumVertices() == 0) continue;
            GraphicObject graphic = buildGraphicObject(name);
            if (hasParam("Symbol")) graphic.setSymbol(getValue("Symbol"));
            if (hasParam("Symbol Size")) graphic.setSymbolSize(getFloatValue("Symbol Size"));
            draw(&graphic);
        }
    } catch (...) {
        ViewerInterface::instance()->deleteFromViewer(getPath(), ViewerInterface::AllGeometries, -1, false);
        throw;
    }
    return true;
}

} // namespace zel
