#pragma once
// A boundary of a case held in pieces, one group of pieces per process, made whole on every
// process: what a structural load surface is mapped onto. A node's load comes from the
// boundary faces nearest to it and from vertex sums over the faces around their vertices
// (the "Force" shares, vertex areas, face-averaged heat values); a process holding part of
// the boundary has neither the faces of the other parts nor the whole sums at the vertices
// its part shares with them.
//
// Every process sends its part: the faces (with their face values), and the vertex values of
// the case's fields there (point values are the same in every piece holding a vertex). The
// whole boundary has the vertices of all parts, matched by their coordinates, and their faces
// in process order, per face set as a loaded boundary has them; the derived quantities
// (BoundaryGeometry.h) are made from these on first request, as on one process holding the
// whole case. Other variables are evaluated on its vertices from the gathered fields; the
// domain's other variables (its cell values, say) are not carried.
//
// The memory is O(faces of the boundary) on every process.
#include "host/Collective.h"

#include <memory>
#include <string>
#include <vector>

namespace zel {
class GeometricOKLObject;
}

namespace zel::host {

// The whole of the boundary `name` (this process's object of that name may be missing or
// empty: it then sends nothing), as a boundary object outside the object database; owned by
// the caller. Collective: every process calls it for the same name. data::invalid when no
// process has faces of that boundary.
std::unique_ptr<GeometricOKLObject> gatherBoundary(Collective& collective, const std::string& name);

// After a load: every boundary part held here learns the faces of the other processes' parts
// of the same boundary around the vertices it shares with them (BoundaryGeometry::
// setSeamFaces), so that the vertex values of its flows and areas are the whole boundary's
// there. `boundaries`: this process's boundaries (a list per process; the names match the
// parts). Collective; it sends O(faces around the shared vertices), a small share of the
// boundary faces, in one exchange of keys and one gather.
void completeSeams(Collective& collective, const std::vector<std::string>& boundaries);

} // namespace zel::host
