#pragma once
// Writes a structural solver's surface load file for a surface of the flow solution (a
// boundary): the surface on which the solver would ask for loads, in its own command format
// (the reader is feloads/NorvaGeometryReader.h). Each quadrilateral face becomes `split` ×
// `split` 8-node quadrilaterals (corner and mid-side nodes on the face's bilinear patch);
// each other face (triangles, polygons) is split at its centroid and its edge midpoints into
// one 8-node quadrilateral per corner. Nodes on the mesh's vertices and edges are shared
// between neighbouring faces, so the deck is conforming where the surface is. Coordinates are
// written in `units`; node and element numbers start at 1.
//
// Used to make decks for the tests and the examples (tools/make_load_deck.cpp); a real
// deck comes from the structural model.
#include "framework/geometry/Geometry.h"

#include <filesystem>
#include <string>

namespace zel::host {

struct LoadDeckOptions {
    std::string units = "mm"; // of the coordinates written
    int split = 1;            // quadrilateral faces: split × split elements
    bool midSideNodes = true; // 8-node elements (else 4-node)
    int typeNumber = 1;       // the element type number of the "ET" command
    std::string elementType = "154";
};

struct LoadDeckCounts {
    std::size_t nodes = 0;
    std::size_t elements = 0;
};

// data::invalid for a geometry without faces, bad options or a unit that is not a length;
// data::error naming the file when it cannot be written (nothing is left at `file` then).
LoadDeckCounts writeLoadDeck(const Geometry& surface, const std::filesystem::path& file,
                             const LoadDeckOptions& options = {});

} // namespace zel::host
