#pragma once
// The chaining of segments, for every locator that puts segments in order. Two orders:
//
// Growth order (cut lines, contour isolines: chainSegments): the segments of a connectivity
// (#L by 2 vertex indices) are reordered, each keeping its own direction. A chain grows from
// the first segment not yet used: passes over the later segments add each one that shares a
// vertex with the chain's tail segment, until a pass adds none; then the same at its head
// segment. The next chain starts from the first segment left. The vertices are not touched.
//
// Path order (the boundary intersection of a polyline): a chain is a path of vertex indices,
// kept from front to back; the chains form a list in the order they were created. Two steps
// turn a list of edges into chains:
//
//   By index: each edge (a, b), in order, extends the first chain of the list that has a or
//   b at an end (a at the front: b goes in front; b at the front: a in front; a at the back:
//   b at the back; b at the back: a at the back), or starts a new chain (a, b) at the end of
//   the list. An extended chain c then absorbs, one at a time, the first other chain of the
//   list that shares an end with it (tested in the order: its front at c's front, its back
//   at c's front, its front at c's back, its back at c's back), dropping the shared vertex
//   and reversing it as the path requires, until none does.
//
//   By position: the chains whose ends lie in the same place (closer than a tolerance)
//   though at different vertices are joined, both vertices kept (so the joined chain holds
//   a zero-length segment there): going through the list, a chain whose back lies on its
//   front at another vertex is closed (its front is repeated at its back); then it absorbs
//   the first later chain with an end on one of its ends (tested in the order: front on
//   front, whose chain goes in front reversed; front on back, in front; back on front,
//   appended; back on back, appended reversed), and checks again, until none does.
//
// Both orders give exactly what comparing every segment or chain with every other one, pass
// after pass, gives; they find candidates through an index of the chain ends instead (by vertex, and
// by position along the widest axis; for growth, the segments by vertex), and keep the
// chains of paths as linked items so that joining and turning a chain round take constant
// time. Their cost grows as n log n in the number of
// edges rather than with its square (or cube); bench/polyline_chains.cpp measures it.
#include "framework/geometry/Containers.h"

#include <span>
#include <vector>

namespace zel {

// The vertex indices of one chain, from front to back.
using VertexChain = std::vector<int>;

// Puts the segments of `lines` in growth order.
void chainSegments(IntZELVector& lines);

// The chains of `edges` by index, in list order.
std::vector<VertexChain> chainEdgesByIndex(std::span<const Edge> edges);

// Joins the chains by position (`positions` indexed by vertex; points closer than
// `tolerance` coincide), keeping list order.
void joinChainsByPosition(std::vector<VertexChain>& chains, std::span<const TripletF> positions, double tolerance);

} // namespace zel
