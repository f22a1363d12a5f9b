#pragma once
// Borrowed views of a mesh for the search and cutting algorithms: the vertex coordinates and
// the element blocks (one per element set) as spans into the geometry's own arrays, so that
// an algorithm never copies the mesh. A view is only valid while the arrays it points into
// are neither resized nor freed.
#include "framework/geometry/CellTopology.h"
#include "framework/geometry/Containers.h"

#include <cassert>
#include <cstdint>
#include <span>
#include <vector>

namespace zel {

// One block of elements of one shape type, all with the same node count.
struct ElementBlockView {
    ShapeType type = ShapeType::Point;
    int nodesPerElement = 0;
    std::span<const int> connectivity; // #elements by nodesPerElement node indices
    int setIndex = -1;                 // the element set (face set) it came from, for callers

    std::int64_t size() const {
        return nodesPerElement > 0 ? static_cast<std::int64_t>(connectivity.size()) / nodesPerElement : 0;
    }
    const int* element(std::int64_t i) const {
        assert(i >= 0 && i < size());
        return connectivity.data() + i * nodesPerElement;
    }
};

// Vertices and element blocks. Element numbers run over the blocks in order: element e of
// the mesh is element e - blockStart(b) of block b.
struct MeshView {
    std::span<const TripletF> vertices; // #V points
    std::vector<ElementBlockView> blocks;

    std::int64_t elementCount() const {
        std::int64_t n = 0;
        for (const auto& b : blocks) n += b.size();
        return n;
    }
};

// The block and local index of a global element number, by a short search over the block
// starts (meshes have few blocks).
class BlockIndex {
public:
    BlockIndex() = default;
    explicit BlockIndex(const MeshView& mesh) {
        m_start.reserve(mesh.blocks.size() + 1);
        std::int64_t n = 0;
        m_start.push_back(0);
        for (const auto& b : mesh.blocks) {
            n += b.size();
            m_start.push_back(n);
        }
    }
    std::int64_t total() const { return m_start.empty() ? 0 : m_start.back(); }
    std::int64_t start(std::size_t block) const { return m_start[block]; }
    // Block of global element e (0 <= e < total()).
    std::size_t blockOf(std::int64_t e) const {
        assert(e >= 0 && e < total());
        std::size_t b = 0;
        while (m_start[b + 1] <= e) ++b;
        return b;
    }

private:
    std::vector<std::int64_t> m_start; // #blocks + 1 running element counts
};

} // namespace zel
