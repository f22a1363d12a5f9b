#include "locators/LocatorRegistration.h"

#include "framework/okl/CalcBase.h"
#include "locators/LineCalcFunc.h"
#include "locators/PlaneCalcFunc.h"
#include "locators/PointCalcFunc.h"
#include "locators/PolylineCalcFunc.h"
#include "locators/UserSurfaceCalcFunc.h"

#include <memory>

namespace zel {

void registerLocatorCalcFuncs(bool propagateErrors, bool interpolantFlag) {
    CalcRegistry* registry = CalcRegistry::instance();
    registry->registerCalcFunc("LINE", std::make_unique<LineCalcFunc>(interpolantFlag));
    registry->registerCalcFunc("PLANE", std::make_unique<PlaneCalcFunc>(propagateErrors, interpolantFlag));
    registry->registerCalcFunc("POINT", std::make_unique<PointCalcFunc>(propagateErrors, interpolantFlag));
    registry->registerCalcFunc("POLYLINE", std::make_unique<PolylineCalcFunc>(interpolantFlag));
    registry->registerCalcFunc("USER SURFACE", std::make_unique<UserSurfaceCalcFunc>(interpolantFlag));
}

} // namespace zel
