#pragma once
// Start-up registration of the location types' calc functions. Nothing registers itself
// when the library is loaded: the host calls this once, after it has created the object
// database, so that a change of a "LINE", "PLANE", "POINT" or "POLYLINE" object
// (ObjectDB::objectChanged, reached at the end of every command block) rebuilds the object's
// geometry.
#include "framework/ZelExport.h"

namespace zel {

// Registers LineCalcFunc, PlaneCalcFunc, PointCalcFunc, PolylineCalcFunc and
// UserSurfaceCalcFunc with CalcRegistry for "LINE", "PLANE", "POINT", "POLYLINE" and "USER
// SURFACE", replacing earlier registrations of those types. propagateErrors: the plane's and
// point's error policy (true: their failures reach the command that changed the object;
// false: they are reported and the object is left without geometry). interpolantFlag: the
// last flag of their external interpolants.
ZEL_API void registerLocatorCalcFuncs(bool propagateErrors = true, bool interpolantFlag = true);

} // namespace zel
