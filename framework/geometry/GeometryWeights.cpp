// Per-vertex weights of a geometry (areas, area vectors, normals, lengths, volumes) and its
// feature lines.
#include "framework/core/Error.h"
#include "framework/core/Format.h"
#include "framework/geometry/Geometry.h"
#include "framework/geometry/GeometryCache.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zel {
namespace {

using Vec = TripletBase<double>;

inline Vec toD(const TripletF& p) { return {p.x, p.y, p.z}; }
inline double norm(const Vec& v) { return std::sqrt(v.lengthSquared()); }

// Gauss-Legendre points and weights on [0, 1].
constexpr double kG2 = 0.28867513459481288225; // 0.5 / sqrt(3)
constexpr double kGauss2Points[2] = {0.5 - kG2, 0.5 + kG2};
constexpr double kGauss2Weights[2] = {0.5, 0.5};
constexpr double kGauss4Points[4] = {0.5 - 0.43056815579702628, 0.5 - 0.16999052179242813, 0.5 + 0.16999052179242813,
                                     0.5 + 0.43056815579702628};
constexpr double kGauss4Weights[4] = {0.17392742256872693, 0.32607257743127307, 0.32607257743127307,
                                      0.17392742256872693};
// Degree-2 rule on the triangle r, s >= 0, r + s <= 1 (weights sum to its area 1/2).
constexpr double kTri3Points[3][2] = {{1.0 / 6, 1.0 / 6}, {2.0 / 3, 1.0 / 6}, {1.0 / 6, 2.0 / 3}};
constexpr double kTri3Weight = 1.0 / 6;

[[noreturn]] void badVertex(const char* op, const ShapeSet& set, int element, int vertex, std::size_t count) {
    throw data::invalid("Geometry", op,
                        _("Element %d of set '%s' refers to vertex %d of %d.", element, set.getName(), vertex, count),
                        ErrError);
}

// Gathers the points of one element, checking the indices.
void gather(const char* op, const TripletZELVector& vertices, const ShapeSet& set, int e, Vec* pts) {
    const auto nodes = set.getElement(e);
    for (std::size_t j = 0; j < nodes.size(); ++j) {
        const int v = nodes[j];
        if (v < 0 || std::size_t(v) >= vertices.size()) badVertex(op, set, e, v, vertices.size());
        pts[j] = toD(vertices[std::size_t(v)]);
    }
}

// Adds ∫N_j dA and ∫N_j n dA of one face with k vertices to area[j] and vec[j].
void faceWeights(const Vec* p, int k, double* area, Vec* vec) {
    if (k == 3) {
        const Vec a = (p[1] - p[0]).cross(p[2] - p[0]) * 0.5;
        const double s = norm(a) / 3.0;
        for (int j = 0; j < 3; ++j) {
            area[j] += s;
            vec[j] += a / 3.0;
        }
        return;
    }
    if (k == 4) {
        // Bilinear patch x(r,s) on [0,1]^2; J = x_r × x_s = A + B r + C s is linear, so the
        // area vectors are exact with 2x2 Gauss points. |J| is linear too when the patch is
        // planar (and convex); a warped patch takes 4x4 points.
        const double scale = std::max({(p[1] - p[0]).lengthSquared(), (p[2] - p[1]).lengthSquared(),
                                       (p[3] - p[2]).lengthSquared(), (p[0] - p[3]).lengthSquared()});
        const double warp = std::abs((p[1] - p[0]).cross(p[2] - p[0]).dot(p[3] - p[0]));
        const bool planar = warp <= 1e-9 * scale * std::sqrt(scale);
        const int ng = planar ? 2 : 4;
        const double* gp = planar ? kGauss2Points : kGauss4Points;
        const double* gw = planar ? kGauss2Weights : kGauss4Weights;
        for (int a = 0; a < ng; ++a)
            for (int b = 0; b < ng; ++b) {
                const double r = gp[a], s = gp[b], w = gw[a] * gw[b];
                const Vec xr = (p[1] - p[0]) * (1 - s) + (p[2] - p[3]) * s;
                const Vec xs = (p[3] - p[0]) * (1 - r) + (p[2] - p[1]) * r;
                const Vec J = xr.cross(xs);
                const double N[4] = {(1 - r) * (1 - s), r * (1 - s), r * s, (1 - r) * s};
                const double dA = norm(J) * w;
                for (int j = 0; j < 4; ++j) {
                    area[j] += N[j] * dA;
                    vec[j] += J * (N[j] * w);
                }
            }
        return;
    }
    // Fan of triangles from the vertex centroid; the centroid's share goes to every vertex
    // in equal parts, since a linear field's centroid value is the mean of the vertex values.
    Vec c{0, 0, 0};
    for (int j = 0; j < k; ++j) c += p[j];
    c /= double(k);
    double centreArea = 0.0;
    Vec centreVec{0, 0, 0};
    for (int j = 0; j < k; ++j) {
        const int j1 = (j + 1) % k;
        const Vec a = (p[j] - c).cross(p[j1] - c) * 0.5;
        const double s = norm(a) / 3.0;
        area[j] += s;
        area[j1] += s;
        centreArea += s;
        vec[j] += a / 3.0;
        vec[j1] += a / 3.0;
        centreVec += a / 3.0;
    }
    for (int j = 0; j < k; ++j) {
        area[j] += centreArea / k;
        vec[j] += centreVec / double(k);
    }
}

// ∫N_j dV of one cell (signed by the cell's orientation, then made positive for the
// whole cell so either orientation convention gives positive volumes).
void cellWeights(ShapeType type, const Vec* p, double* vol) {
    const int n = cell::nodeCount(type);
    double local[cell::kMaxCellNodes] = {};
    double N[cell::kMaxCellNodes] = {};
    double dN[3 * cell::kMaxCellNodes] = {};
    auto addPoint = [&](double r, double s, double t, double w) {
        cell::shapeFunctions(type, r, s, t, N);
        cell::shapeDerivatives(type, r, s, t, dN);
        Vec jr{0, 0, 0}, js{0, 0, 0}, jt{0, 0, 0};
        for (int i = 0; i < n; ++i) {
            jr += p[i] * dN[3 * i];
            js += p[i] * dN[3 * i + 1];
            jt += p[i] * dN[3 * i + 2];
        }
        const double det = jr.cross(js).dot(jt) * w;
        for (int i = 0; i < n; ++i) local[i] += N[i] * det;
    };
    switch (type) {
    case ShapeType::Tetrahedron:
        addPoint(0.25, 0.25, 0.25, 1.0 / 6); // N linear, det constant: one point is exact
        break;
    case ShapeType::Wedge:
        for (const auto& q : kTri3Points)
            for (int c = 0; c < 2; ++c) addPoint(q[0], q[1], kGauss2Points[c], kTri3Weight * kGauss2Weights[c]);
        break;
    case ShapeType::Pyramid:
    case ShapeType::Hexahedron:
        // N·det is at most cubic in each parametric coordinate.
        for (int a = 0; a < 2; ++a)
            for (int b = 0; b < 2; ++b)
                for (int c = 0; c < 2; ++c)
                    addPoint(kGauss2Points[a], kGauss2Points[b], kGauss2Points[c],
                             kGauss2Weights[a] * kGauss2Weights[b] * kGauss2Weights[c]);
        break;
    default: return;
    }
    double total = 0.0;
    for (int i = 0; i < n; ++i) total += local[i];
    const double sign = total < 0 ? -1.0 : 1.0;
    for (int i = 0; i < n; ++i) vol[i] += sign * local[i];
}

} // namespace

Geometry::WeightCache& Geometry::weights() const {
    if (!m_weights) m_weights = std::make_unique<WeightCache>();
    const std::uint64_t v = getMeshVersion();
    if (m_weights->version != v) {
        *m_weights = WeightCache();
        m_weights->version = v;
    }
    return *m_weights;
}

namespace {
// f(nodes, fa, fv) for every face of the face sets in set order: fa[j] = ∫N_j dA and
// fv[j] = ∫N_j n dA of the face's node j.
template <typename F>
void forEachFaceWeights(const char* op, const TripletZELVector& vertices,
                        const std::vector<std::unique_ptr<ShapeSet>>& sets, F&& f) {
    std::vector<Vec> pts;
    std::vector<double> fa;
    std::vector<Vec> fv;
    for (const auto& setPtr : sets) {
        const ShapeSet& set = *setPtr;
        if (!set.isFaceSet()) continue;
        const int k = set.getNodesPerElement();
        pts.resize(std::size_t(k));
        fa.resize(std::size_t(k));
        fv.resize(std::size_t(k));
        for (int e = 0; e < set.size(); ++e) {
            gather(op, vertices, set, e, pts.data());
            std::fill(fa.begin(), fa.end(), 0.0);
            std::fill(fv.begin(), fv.end(), Vec{0, 0, 0});
            faceWeights(pts.data(), k, fa.data(), fv.data());
            f(set.getElement(e), fa, fv);
        }
    }
}
} // namespace

std::vector<double> Geometry::getFaceVertexAreas() const {
    std::vector<double> out;
    forEachFaceWeights("getFaceVertexAreas", m_vertices, m_sets,
                       [&](std::span<const int>, const std::vector<double>& fa, const std::vector<Vec>&) {
                           out.insert(out.end(), fa.begin(), fa.end());
                       });
    return out;
}

std::vector<double> Geometry::getFaceAreaVectors() const {
    std::vector<double> out;
    forEachFaceWeights("getFaceAreaVectors", m_vertices, m_sets,
                       [&](std::span<const int>, const std::vector<double>&, const std::vector<Vec>& fv) {
                           Vec s{0, 0, 0};
                           for (const Vec& v : fv) s += v;
                           out.insert(out.end(), {s.x, s.y, s.z});
                       });
    return out;
}

std::vector<double> Geometry::getFaceVertexAreaVectors() const {
    std::vector<double> out;
    forEachFaceWeights("getFaceVertexAreaVectors", m_vertices, m_sets,
                       [&](std::span<const int>, const std::vector<double>&, const std::vector<Vec>& fv) {
                           for (const Vec& v : fv) out.insert(out.end(), {v.x, v.y, v.z});
                       });
    return out;
}

const FloatZELVector& Geometry::getVertexAreas() const {
    WeightCache& c = weights();
    if (c.haveAreas) return c.areas;
    const std::size_t nv = m_vertices.size();
    std::vector<double> area(nv, 0.0);
    std::vector<Vec> vec(nv, Vec{0, 0, 0});
    forEachFaceWeights("getVertexAreas", m_vertices, m_sets,
                       [&](std::span<const int> nodes, const std::vector<double>& fa, const std::vector<Vec>& fv) {
                           for (std::size_t j = 0; j < nodes.size(); ++j) {
                               area[std::size_t(nodes[j])] += fa[j];
                               vec[std::size_t(nodes[j])] += fv[j];
                           }
                       });
    c.areas.resize(nv);
    c.areaVectors.resize(nv);
    c.normals.resize(nv);
    for (std::size_t i = 0; i < nv; ++i) {
        c.areas[i] = static_cast<float>(area[i]);
        c.areaVectors[i] = TripletF(vec[i]);
        const double len = norm(vec[i]);
        c.normals[i] = len > 0 ? TripletF(vec[i] / len) : TripletF(0, 0, 0);
    }
    c.areasD = std::move(area);
    c.areaVectorsD = std::move(vec);
    c.haveAreas = true;
    return c.areas;
}

std::span<const double> Geometry::getVertexAreasD() const {
    getVertexAreas();
    return weights().areasD;
}

std::span<const TripletBase<double>> Geometry::getVertexAreaVectorsD() const {
    getVertexAreas();
    return weights().areaVectorsD;
}

std::span<const double> Geometry::getVertexLengthsD() const {
    getVertexLengths();
    return weights().lengthsD;
}

std::span<const double> Geometry::getVertexVolumesD() const {
    getVertexVolumes();
    return weights().volumesD;
}

const TripletZELVector& Geometry::getVertexAreaVectors() const {
    getVertexAreas();
    return weights().areaVectors;
}

const TripletZELVector& Geometry::getVertexNormals() const {
    getVertexAreas();
    return weights().normals;
}

const FloatZELVector& Geometry::getVertexLengths() const {
    WeightCache& c = weights();
    if (c.haveLengths) return c.lengths;
    const std::size_t nv = m_vertices.size();
    std::vector<double> len(nv, 0.0);
    const std::size_t nl = m_lines.size() / 2;
    for (std::size_t l = 0; l < nl; ++l) {
        const int a = m_lines[2 * l], b = m_lines[2 * l + 1];
        if (a < 0 || b < 0 || std::size_t(a) >= nv || std::size_t(b) >= nv)
            throw data::invalid("Geometry", "getVertexLengths",
                                _("Line %d refers to vertex %d of %d.", l, (a < 0 || std::size_t(a) >= nv) ? a : b, nv),
                                ErrError);
        const double half = 0.5 * norm(toD(m_vertices[std::size_t(b)]) - toD(m_vertices[std::size_t(a)]));
        len[std::size_t(a)] += half;
        len[std::size_t(b)] += half;
    }
    c.lengths.resize(nv);
    for (std::size_t i = 0; i < nv; ++i) c.lengths[i] = static_cast<float>(len[i]);
    c.lengthsD = std::move(len);
    c.haveLengths = true;
    return c.lengths;
}

const FloatZELVector& Geometry::getVertexVolumes() const {
    WeightCache& c = weights();
    if (c.haveVolumes) return c.volumes;
    const std::size_t nv = m_vertices.size();
    std::vector<double> vol(nv, 0.0);
    Vec pts[cell::kMaxCellNodes];
    double cv[cell::kMaxCellNodes];
    for (const auto& setPtr : m_sets) {
        const ShapeSet& set = *setPtr;
        if (!set.isVolumeSet()) continue;
        const int k = set.getNodesPerElement();
        for (int e = 0; e < set.size(); ++e) {
            gather("getVertexVolumes", m_vertices, set, e, pts);
            std::fill(cv, cv + k, 0.0);
            cellWeights(set.getShapeType(), pts, cv);
            const auto nodes = set.getElement(e);
            for (int j = 0; j < k; ++j) vol[std::size_t(nodes[std::size_t(j)])] += cv[j];
        }
    }
    c.volumes.resize(nv);
    for (std::size_t i = 0; i < nv; ++i) c.volumes[i] = static_cast<float>(vol[i]);
    c.volumesD = std::move(vol);
    c.haveVolumes = true;
    return c.volumes;
}

void Geometry::calculateLines(float angleDegrees) {
    // One record per face edge, sorted by the unordered vertex pair, so that the faces of
    // each edge are adjacent.
    struct EdgeUse {
        std::uint64_t key;
        int a, b; // as the first face lists it
        int face; // index into normals
    };
    std::vector<EdgeUse> uses;
    std::vector<Vec> normals;
    std::vector<Vec> pts;
    for (const auto& setPtr : m_sets) {
        const ShapeSet& set = *setPtr;
        if (!set.isFaceSet()) continue;
        const int k = set.getNodesPerElement();
        pts.resize(std::size_t(k));
        for (int e = 0; e < set.size(); ++e) {
            gather("calculateLines", m_vertices, set, e, pts.data());
            Vec nrm{0, 0, 0}; // Newell's normal
            for (int j = 0; j < k; ++j) nrm += pts[std::size_t(j)].cross(pts[std::size_t((j + 1) % k)]);
            const int f = static_cast<int>(normals.size());
            normals.push_back(nrm);
            const auto nodes = set.getElement(e);
            for (int j = 0; j < k; ++j) {
                const Edge edge(nodes[std::size_t(j)], nodes[std::size_t((j + 1) % k)]);
                if (edge[0] == edge[1]) continue; // collapsed edge of a degenerate face
                uses.push_back({edge.key(), edge[0], edge[1], f});
            }
        }
    }
    std::sort(uses.begin(), uses.end(),
              [](const EdgeUse& x, const EdgeUse& y) { return x.key != y.key ? x.key < y.key : x.face < y.face; });
    const double cosLimit = std::cos(double(angleDegrees) * std::numbers::pi / 180.0);
    IntZELVector lines;
    for (std::size_t i = 0; i < uses.size();) {
        std::size_t j = i + 1;
        while (j < uses.size() && uses[j].key == uses[i].key) ++j;
        bool feature = (j - i) != 2;
        if (!feature) {
            const Vec& n1 = normals[std::size_t(uses[i].face)];
            const Vec& n2 = normals[std::size_t(uses[i + 1].face)];
            const double l = norm(n1) * norm(n2);
            feature = l > 0 && n1.dot(n2) < cosLimit * l;
        }
        if (feature) {
            lines.push_back(uses[i].a);
            lines.push_back(uses[i].b);
        }
        i = j;
    }
    setLines(std::move(lines));
}

} // namespace zel
