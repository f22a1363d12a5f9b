#include "host/render/Scene.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/Geometry.h"

#include <algorithm>

namespace zel::host::render {

void Scene::add(const Geometry& geometry, std::span<const float> vertexValues, bool withEdges) {
    const std::size_t n = std::size_t(geometry.getNumVertices());
    if (vertexValues.size() != n)
        throw data::invalid(
            "Scene", "add",
            _("Geometry '%s' has %d vertices but %d values.", geometry.getName(), int(n), int(vertexValues.size())),
            ErrError);
    const std::uint32_t base = std::uint32_t(points.size());
    const TripletZELVector& vertices = geometry.getVertices();
    points.insert(points.end(), vertices.begin(), vertices.end());
    values.insert(values.end(), vertexValues.begin(), vertexValues.end());
    const auto valid = [n](int node) { return node >= 0 && std::size_t(node) < n; };
    bool faces = false;
    for (int s = 0; s < geometry.getNumElementSets(); ++s) {
        const ShapeSet& set = geometry.getElementSet(s);
        if (!set.isFaceSet()) continue;
        const int k = set.getNodesPerElement();
        for (int e = 0; e < set.size(); ++e) {
            const std::span<const int> face = set.getElement(e);
            if (!std::all_of(face.begin(), face.end(), valid) || k < 3) continue;
            faces = true;
            for (int i = 1; i + 1 < k; ++i)
                triangles.insert(triangles.end(),
                                 {base + std::uint32_t(face[0]), base + std::uint32_t(face[std::size_t(i)]),
                                  base + std::uint32_t(face[std::size_t(i + 1)])});
            if (withEdges)
                for (int i = 0; i < k; ++i)
                    edges.insert(edges.end(), {base + std::uint32_t(face[std::size_t(i)]),
                                               base + std::uint32_t(face[std::size_t((i + 1) % k)])});
        }
    }
    if (faces) return;
    const IntZELVector& elements = geometry.getLines();
    for (std::size_t i = 0; i + 1 < elements.size(); i += 2)
        if (valid(elements[i]) && valid(elements[i + 1]))
            lines.insert(lines.end(), {base + std::uint32_t(elements[i]), base + std::uint32_t(elements[i + 1])});
}

void Scene::uniqueEdges() {
    std::vector<std::uint64_t> keys;
    keys.reserve(edges.size() / 2);
    for (std::size_t i = 0; i + 1 < edges.size(); i += 2) {
        const std::uint32_t a = std::min(edges[i], edges[i + 1]), b = std::max(edges[i], edges[i + 1]);
        keys.push_back((std::uint64_t(a) << 32) | b);
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    edges.clear();
    for (const std::uint64_t k : keys) edges.insert(edges.end(), {std::uint32_t(k >> 32), std::uint32_t(k)});
}

bool Scene::valueRange(float& min, float& max) const {
    bool any = false;
    min = max = UNDEFINED_VALUE;
    const auto take = [&](std::uint32_t i) {
        const float v = values[i];
        if (isUndefined(v) || !std::isfinite(v)) return;
        if (!any) {
            min = max = v;
            any = true;
        } else {
            min = std::min(min, v);
            max = std::max(max, v);
        }
    };
    for (const std::uint32_t i : triangles) take(i);
    for (const std::uint32_t i : lines) take(i);
    return any;
}

std::pair<TripletD, double> Scene::areaSums() const {
    TripletD sum(0, 0, 0);
    double area = 0.0;
    for (std::size_t t = 0; t + 2 < triangles.size(); t += 3) {
        const TripletD a(points[triangles[t]]), b(points[triangles[t + 1]]), c(points[triangles[t + 2]]);
        const TripletD v = (b - a).cross(c - a) * 0.5;
        sum += v;
        area += std::sqrt(v.lengthSquared());
    }
    return {sum, area};
}

std::vector<TripletF> Scene::usedPoints() const {
    std::vector<char> used(points.size(), 0);
    for (const std::uint32_t i : triangles) used[i] = 1;
    for (const std::uint32_t i : lines) used[i] = 1;
    std::vector<TripletF> out;
    for (std::size_t i = 0; i < points.size(); ++i)
        if (used[i] != 0) out.push_back(points[i]);
    return out;
}

} // namespace zel::host::render
