#pragma once
// The object types whose objects are geometric objects, and the class that makes each:
//
//   "DOMAIN"                                  DomainOKLObject
//   "BOUNDARY", "LINE", "POLYLINE",
//   "USER SURFACE", "ISOSURFACE"              GeometricOKLObject
//   "PLANE"                                   PlaneOKLObject
//   "POINT", "INTERNAL POINT"                 SymbolGeometricOKLObject
//   "CONTOUR"                                 ContourOKLObject
//   "COORD FRAME"                             CoordinateFrameOKLObject
//   "EXPRESSIONS"                             ExpressionsOKLObject
//   "VARIABLE", "SCALAR VARIABLE", "VECTOR VARIABLE",
//   "USER SCALAR VARIABLE", "USER VECTOR VARIABLE"   GenericOKLObject
//
// Registers "ISOSURFACE" (category "geometry"; kinds "geometry", "point", "surface",
// "mesh-density", "edge-based") and "CONTOUR" (no category, so it is no location; kind
// "geometry"; the parameters of ContourOKLObject.h) unless they are registered with a
// category, kinds or parameters already (a reset registry keeps bare names), and
// sets the factory of every type above; installs declareFileVariables as the object generator
// of point-list files (UserGeometryReader). The type registry calls it whenever it registers
// its built-in types.
namespace zel {

class ObjectTypeRegistry;

void registerGeometricObjectTypes(ObjectTypeRegistry& registry);

} // namespace zel
