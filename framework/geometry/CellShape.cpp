#include "framework/geometry/CellShape.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace zel {

namespace {

constexpr std::array<int, 4> kTetSplit[] = {{0, 1, 2, 3}};
constexpr std::array<int, 4> kPyramidSplit[] = {{0, 1, 2, 4}, {0, 2, 3, 4}};
constexpr std::array<int, 4> kWedgeSplit[] = {{0, 1, 2, 5}, {0, 1, 5, 4}, {0, 4, 5, 3}};
constexpr std::array<int, 4> kHexSplit[] = {{0, 1, 2, 6}, {0, 2, 3, 6}, {0, 3, 7, 6},
                                            {0, 7, 4, 6}, {0, 4, 5, 6}, {0, 5, 1, 6}};

double dist2(const double a[3], const double b[3]) {
    const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return dx * dx + dy * dy + dz * dz;
}

double det3(const double m[3][3]) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// Solves m x = b by Cramer's rule; false when m is singular relative to `scale` (the cube
// of a length that m's columns are measured in).
bool solve3(const double m[3][3], const double b[3], double x[3], double scale) {
    const double d = det3(m);
    if (!(std::fabs(d) > 1e-30 * scale) || !std::isfinite(d)) return false;
    for (int k = 0; k < 3; ++k) {
        double mk[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) mk[i][j] = j == k ? b[i] : m[i][j];
        x[k] = det3(mk) / d;
    }
    return true;
}

// Barycentric coordinates of p in tetrahedron (a, b, c, d); false if degenerate.
bool tetBarycentric(const double* a, const double* b, const double* c, const double* d, const double p[3],
                    double bary[4], double scale) {
    double m[3][3], rhs[3], x[3];
    for (int i = 0; i < 3; ++i) {
        m[i][0] = b[i] - a[i];
        m[i][1] = c[i] - a[i];
        m[i][2] = d[i] - a[i];
        rhs[i] = p[i] - a[i];
    }
    if (!solve3(m, rhs, x, scale)) return false;
    bary[0] = 1.0 - x[0] - x[1] - x[2];
    bary[1] = x[0];
    bary[2] = x[1];
    bary[3] = x[2];
    return true;
}

// Drops negative barycentric coordinates and rescales the rest to sum 1.
void clampBarycentric(double* b, int n) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        b[i] = std::max(b[i], 0.0);
        sum += b[i];
    }
    if (sum <= 0.0) {
        for (int i = 0; i < n; ++i) b[i] = 1.0 / n;
        return;
    }
    for (int i = 0; i < n; ++i) b[i] /= sum;
}

} // namespace

void CellNodes::gather(ShapeType t, const int* nodes, std::span<const TripletF> vertices) {
    type = t;
    count = cell::nodeCount(t);
    float lo[3], hi[3];
    {
        const TripletF& v = vertices[static_cast<std::size_t>(nodes[0])];
        lo[0] = hi[0] = v.x;
        lo[1] = hi[1] = v.y;
        lo[2] = hi[2] = v.z;
    }
    for (int i = 0; i < count; ++i) {
        const TripletF& v = vertices[static_cast<std::size_t>(nodes[i])];
        x[i][0] = v.x;
        x[i][1] = v.y;
        x[i][2] = v.z;
        lo[0] = std::min(lo[0], v.x);
        lo[1] = std::min(lo[1], v.y);
        lo[2] = std::min(lo[2], v.z);
        hi[0] = std::max(hi[0], v.x);
        hi[1] = std::max(hi[1], v.y);
        hi[2] = std::max(hi[2], v.z);
    }
    m_size = std::max({double(hi[0]) - lo[0], double(hi[1]) - lo[1], double(hi[2]) - lo[2]});
    m_magnitude = std::max(
        {std::fabs(lo[0]), std::fabs(lo[1]), std::fabs(lo[2]), std::fabs(hi[0]), std::fabs(hi[1]), std::fabs(hi[2])});
    m_bounded = true;
}

namespace {
void bounds(const CellNodes& c, double& size, double& magnitude) {
    double lo[3] = {c.x[0][0], c.x[0][1], c.x[0][2]}, hi[3] = {c.x[0][0], c.x[0][1], c.x[0][2]};
    for (int i = 1; i < c.count; ++i)
        for (int k = 0; k < 3; ++k) {
            lo[k] = c.x[i][k] < lo[k] ? c.x[i][k] : lo[k];
            hi[k] = c.x[i][k] > hi[k] ? c.x[i][k] : hi[k];
        }
    size = 0.0;
    magnitude = 0.0;
    for (int k = 0; k < 3; ++k) {
        size = std::max(size, hi[k] - lo[k]);
        magnitude = std::max(magnitude, std::max(std::fabs(lo[k]), std::fabs(hi[k])));
    }
}
} // namespace

void CellNodes::updateBounds() {
    bounds(*this, m_size, m_magnitude);
    m_bounded = true;
}

double CellNodes::size() const {
    if (m_bounded) return m_size;
    double s, m;
    bounds(*this, s, m);
    return s;
}

double CellNodes::magnitude() const {
    if (m_bounded) return m_magnitude;
    double s, m;
    bounds(*this, s, m);
    return m;
}

void CellShape::map(const CellNodes& c, const double pc[3], double out[3]) {
    double n[cell::kMaxCellNodes];
    cell::shapeFunctions<double>(c.type, pc[0], pc[1], pc[2], n);
    out[0] = out[1] = out[2] = 0.0;
    for (int i = 0; i < c.count; ++i)
        for (int k = 0; k < 3; ++k) out[k] += n[i] * c.x[i][k];
}

void CellShape::weights(ShapeType type, const double pc[3], double* w) {
    cell::shapeFunctions<double>(type, pc[0], pc[1], pc[2], w);
}

void CellShape::centre(ShapeType type, double pc[3]) {
    switch (type) {
    case ShapeType::Tetrahedron: pc[0] = pc[1] = pc[2] = 0.25; break;
    case ShapeType::Pyramid:
        pc[0] = pc[1] = 0.5;
        pc[2] = 0.2;
        break;
    case ShapeType::Wedge:
        pc[0] = pc[1] = 1.0 / 3.0;
        pc[2] = 0.5;
        break;
    default: pc[0] = pc[1] = pc[2] = 0.5; break;
    }
}

double CellShape::outside(ShapeType type, const double pc[3]) {
    const double r = pc[0], s = pc[1], t = pc[2];
    switch (type) {
    case ShapeType::Tetrahedron: return std::max({-r, -s, -t, r + s + t - 1.0});
    case ShapeType::Wedge: return std::max({-r, -s, r + s - 1.0, -t, t - 1.0});
    default: return std::max({-r, r - 1.0, -s, s - 1.0, -t, t - 1.0});
    }
}

void CellShape::clamp(ShapeType type, double pc[3]) {
    switch (type) {
    case ShapeType::Tetrahedron: {
        double b[4] = {1.0 - pc[0] - pc[1] - pc[2], pc[0], pc[1], pc[2]};
        clampBarycentric(b, 4);
        pc[0] = b[1];
        pc[1] = b[2];
        pc[2] = b[3];
        break;
    }
    case ShapeType::Wedge: {
        double b[3] = {1.0 - pc[0] - pc[1], pc[0], pc[1]};
        clampBarycentric(b, 3);
        pc[0] = b[1];
        pc[1] = b[2];
        pc[2] = std::clamp(pc[2], 0.0, 1.0);
        break;
    }
    default:
        for (int k = 0; k < 3; ++k) pc[k] = std::clamp(pc[k], 0.0, 1.0);
        break;
    }
}

namespace {

// The map of every cell type written in the monomials 1, r, s, t, rs, rt, st, rst:
// x(r,s,t) = a[0] + a[1] r + a[2] s + a[3] t + a[4] rs + a[5] rt + a[6] st + a[7] rst.
// (A pyramid is a hexahedron whose top face collapsed into the apex; a wedge and a
// tetrahedron have some coefficients zero.) Evaluating the map and its Jacobian this way
// costs a few dozen operations, which is what makes Newton cheap.
struct Polynomial {
    double a[8][3];

    explicit Polynomial(const CellNodes& c) {
        const auto& x = c.x;
        auto set = [&](int m, auto f) {
            for (int k = 0; k < 3; ++k) a[m][k] = f(k);
        };
        switch (c.type) {
        case ShapeType::Hexahedron:
        case ShapeType::Pyramid: {
            const int t4 = 4, t5 = c.type == ShapeType::Pyramid ? 4 : 5, t6 = c.type == ShapeType::Pyramid ? 4 : 6,
                      t7 = c.type == ShapeType::Pyramid ? 4 : 7;
            set(0, [&](int k) { return x[0][k]; });
            set(1, [&](int k) { return x[1][k] - x[0][k]; });
            set(2, [&](int k) { return x[3][k] - x[0][k]; });
            set(3, [&](int k) { return x[t4][k] - x[0][k]; });
            set(4, [&](int k) { return x[0][k] - x[1][k] + x[2][k] - x[3][k]; });
            set(5, [&](int k) { return x[0][k] - x[1][k] - x[t4][k] + x[t5][k]; });
            set(6, [&](int k) { return x[0][k] - x[3][k] - x[t4][k] + x[t7][k]; });
            set(7, [&](int k) {
                return -x[0][k] + x[1][k] - x[2][k] + x[3][k] + x[t4][k] - x[t5][k] + x[t6][k] - x[t7][k];
            });
            break;
        }
        case ShapeType::Wedge:
            set(0, [&](int k) { return x[0][k]; });
            set(1, [&](int k) { return x[1][k] - x[0][k]; });
            set(2, [&](int k) { return x[2][k] - x[0][k]; });
            set(3, [&](int k) { return x[3][k] - x[0][k]; });
            set(4, [](int) { return 0.0; });
            set(5, [&](int k) { return x[0][k] - x[1][k] - x[3][k] + x[4][k]; });
            set(6, [&](int k) { return x[0][k] - x[2][k] - x[3][k] + x[5][k]; });
            set(7, [](int) { return 0.0; });
            break;
        default: // tetrahedron
            set(0, [&](int k) { return x[0][k]; });
            set(1, [&](int k) { return x[1][k] - x[0][k]; });
            set(2, [&](int k) { return x[2][k] - x[0][k]; });
            set(3, [&](int k) { return x[3][k] - x[0][k]; });
            for (int m = 4; m < 8; ++m) set(m, [](int) { return 0.0; });
            break;
        }
    }

    void value(const double q[3], double out[3]) const {
        const double r = q[0], s = q[1], t = q[2];
        for (int k = 0; k < 3; ++k)
            out[k] = a[0][k] + a[1][k] * r + a[2][k] * s + a[3][k] * t + a[4][k] * r * s + a[5][k] * r * t +
                     a[6][k] * s * t + a[7][k] * r * s * t;
    }
    // jac[k][j] = d x_k / d q_j.
    void jacobian(const double q[3], double jac[3][3]) const {
        const double r = q[0], s = q[1], t = q[2];
        for (int k = 0; k < 3; ++k) {
            jac[k][0] = a[1][k] + a[4][k] * s + a[5][k] * t + a[7][k] * s * t;
            jac[k][1] = a[2][k] + a[4][k] * r + a[6][k] * t + a[7][k] * r * t;
            jac[k][2] = a[3][k] + a[5][k] * r + a[6][k] * s + a[7][k] * r * s;
        }
    }
};

double norm2(const double v[3]) { return v[0] * v[0] + v[1] * v[1] + v[2] * v[2]; }

// x = m^-1 b through the adjugate; false when m is singular relative to `scale`.
bool solveAdjugate(const double m[3][3], const double b[3], double x[3], double scale) {
    const double c00 = m[1][1] * m[2][2] - m[1][2] * m[2][1];
    const double c01 = m[1][2] * m[2][0] - m[1][0] * m[2][2];
    const double c02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    const double det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
    if (!(std::fabs(det) > 1e-30 * scale) || !std::isfinite(det)) return false;
    const double inv = 1.0 / det;
    const double c10 = m[0][2] * m[2][1] - m[0][1] * m[2][2];
    const double c11 = m[0][0] * m[2][2] - m[0][2] * m[2][0];
    const double c12 = m[0][1] * m[2][0] - m[0][0] * m[2][1];
    const double c20 = m[0][1] * m[1][2] - m[0][2] * m[1][1];
    const double c21 = m[0][2] * m[1][0] - m[0][0] * m[1][2];
    const double c22 = m[0][0] * m[1][1] - m[0][1] * m[1][0];
    x[0] = (c00 * b[0] + c10 * b[1] + c20 * b[2]) * inv;
    x[1] = (c01 * b[0] + c11 * b[1] + c21 * b[2]) * inv;
    x[2] = (c02 * b[0] + c12 * b[1] + c22 * b[2]) * inv;
    return true;
}

} // namespace

bool CellShape::inverse(const CellNodes& c, const double p[3], double pc[3], double tolerance) {
    const Polynomial poly(c);
    const double size = std::max(c.size(), 1e-300);
    const double scale = size * size * size;
    const double tol2 = tolerance * tolerance;
    double x[3], f[3];
    poly.value(pc, x);
    for (int k = 0; k < 3; ++k) f[k] = x[k] - p[k];
    double fn = norm2(f);
    for (int iter = 0; iter < 40; ++iter) {
        if (fn <= tol2) return true;
        double jac[3][3];
        poly.jacobian(pc, jac);
        const double rhs[3] = {-f[0], -f[1], -f[2]};
        double step[3];
        if (!solveAdjugate(jac, rhs, step, scale)) return false;
        // Damped step: halve until the residual decreases.
        double lambda = 1.0;
        bool improved = false;
        double trial[3], ft[3], ftn = fn;
        for (int h = 0; h < 12; ++h) {
            for (int k = 0; k < 3; ++k) trial[k] = pc[k] + lambda * step[k];
            poly.value(trial, x);
            for (int k = 0; k < 3; ++k) ft[k] = x[k] - p[k];
            ftn = norm2(ft);
            if (ftn < fn) {
                improved = true;
                break;
            }
            lambda *= 0.5;
        }
        if (!improved) return fn <= tol2;
        const double moved = lambda * std::max({std::fabs(step[0]), std::fabs(step[1]), std::fabs(step[2])});
        for (int k = 0; k < 3; ++k) {
            pc[k] = trial[k];
            f[k] = ft[k];
        }
        fn = ftn;
        // Far outside the reference cell the map is meaningless for this cell.
        if (std::fabs(pc[0]) > 1e3 || std::fabs(pc[1]) > 1e3 || std::fabs(pc[2]) > 1e3) return false;
        if (moved < 1e-14) return fn <= tol2;
    }
    return fn <= tol2;
}

double CellShape::parametricTolerance(const CellNodes& c) {
    const double size = std::max(c.size(), 1e-300);
    return 1e-6 + 4.0 * FLT_EPSILON * c.magnitude() / size;
}

std::span<const std::array<int, 4>> CellShape::tetrahedra(ShapeType type) {
    switch (type) {
    case ShapeType::Tetrahedron: return kTetSplit;
    case ShapeType::Pyramid: return kPyramidSplit;
    case ShapeType::Wedge: return kWedgeSplit;
    case ShapeType::Hexahedron: return kHexSplit;
    default: return {};
    }
}

namespace {

bool lexLess(const double* a, const double* b) {
    if (a[0] != b[0]) return a[0] < b[0];
    if (a[1] != b[1]) return a[1] < b[1];
    return a[2] < b[2];
}

double dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Weights on edge (a, b) of the point p, from the end with the smaller coordinates.
void edgeWeights(const CellNodes& c, int a, int b, const double p[3], double* w) {
    if (lexLess(c.x[b], c.x[a])) std::swap(a, b);
    double e[3], r[3];
    for (int k = 0; k < 3; ++k) {
        e[k] = c.x[b][k] - c.x[a][k];
        r[k] = p[k] - c.x[a][k];
    }
    const double len2 = dot(e, e);
    const double s = len2 > 0.0 ? std::clamp(dot(r, e) / len2, 0.0, 1.0) : 0.5;
    w[a] = 1.0 - s;
    w[b] = s;
}

// Barycentric weights of p's projection on triangle n (in canonical order).
void triangleWeights(const CellNodes& cn, const int n[3], const double p[3], double* w) {
    double v0[3], v1[3], v2[3];
    for (int k = 0; k < 3; ++k) {
        v0[k] = cn.x[n[1]][k] - cn.x[n[0]][k];
        v1[k] = cn.x[n[2]][k] - cn.x[n[0]][k];
        v2[k] = p[k] - cn.x[n[0]][k];
    }
    const double d00 = dot(v0, v0), d01 = dot(v0, v1), d11 = dot(v1, v1), d20 = dot(v2, v0), d21 = dot(v2, v1);
    const double den = d00 * d11 - d01 * d01;
    if (!(den > 0.0)) return; // a degenerate face keeps the cell's weights
    double b[3];
    b[1] = (d11 * d20 - d01 * d21) / den;
    b[2] = (d00 * d21 - d01 * d20) / den;
    b[0] = 1.0 - b[1] - b[2];
    clampBarycentric(b, 3);
    for (int j = 0; j < 3; ++j) w[n[j]] = b[j];
}

// Bilinear weights of p's projection on the quadrilateral n (in canonical order).
void quadWeights(const CellNodes& cn, const int n[4], const double p[3], double* w) {
    const double *q0 = cn.x[n[0]], *q1 = cn.x[n[1]], *q2 = cn.x[n[2]], *q3 = cn.x[n[3]];
    double e1[3], e2[3], e3[3];
    for (int k = 0; k < 3; ++k) {
        e1[k] = q1[k] - q0[k];
        e2[k] = q3[k] - q0[k];
        e3[k] = q0[k] - q1[k] + q2[k] - q3[k];
    }
    // Gauss-Newton on x(u, v) = p, least squares across the patch.
    double u = 0.5, v = 0.5;
    for (int it = 0; it < 30; ++it) {
        double r[3], ju[3], jv[3];
        for (int k = 0; k < 3; ++k) {
            r[k] = q0[k] + u * e1[k] + v * e2[k] + u * v * e3[k] - p[k];
            ju[k] = e1[k] + v * e3[k];
            jv[k] = e2[k] + u * e3[k];
        }
        const double a = dot(ju, ju), b = dot(ju, jv), d = dot(jv, jv), gu = dot(ju, r), gv = dot(jv, r);
        const double det = a * d - b * b;
        if (!(det > 0.0)) return; // a degenerate face keeps the cell's weights
        const double du = -(d * gu - b * gv) / det, dv = -(a * gv - b * gu) / det;
        u += du;
        v += dv;
        if (std::fabs(du) + std::fabs(dv) < 1e-15) break;
    }
    u = std::clamp(u, 0.0, 1.0);
    v = std::clamp(v, 0.0, 1.0);
    w[n[0]] = (1.0 - u) * (1.0 - v);
    w[n[1]] = u * (1.0 - v);
    w[n[2]] = u * v;
    w[n[3]] = (1.0 - u) * v;
}

// A point on a node, an edge or a face of the cell (within the rounding of float
// coordinates) takes its weights from that node, edge or face alone, computed from its
// nodes in the order of their coordinates, not of the cell's numbering. Both cells of a
// face then give the same weights, bit for bit, which is what makes a decomposed case's
// values on the faces between its pieces those of the whole case (each piece holds only
// one of the two cells, the whole case finds either).
void snapToBoundary(const CellNodes& c, const double p[3], CellLocation& loc) {
    const int n = cell::nodeCount(c.type);
    double* w = loc.weights.data();
    const double tol = 1e-9 + 4.0 * FLT_EPSILON * c.magnitude() / std::max(c.size(), 1e-300);
    double total = 0.0;
    int top = 0;
    for (int j = 0; j < n; ++j) {
        total += std::fabs(w[j]);
        if (w[j] > w[top]) top = j;
    }
    if (total - std::fabs(w[top]) <= tol) {
        std::fill(w, w + n, 0.0);
        w[top] = 1.0;
        return;
    }
    double best = tol;
    const cell::LocalEdge* edge = nullptr;
    for (const cell::LocalEdge& e : cell::edges(c.type)) {
        const double off = total - std::fabs(w[e[0]]) - std::fabs(w[e[1]]);
        if (off <= best) {
            best = off;
            edge = &e;
        }
    }
    if (edge != nullptr) {
        std::fill(w, w + n, 0.0);
        edgeWeights(c, (*edge)[0], (*edge)[1], p, w);
        return;
    }
    const cell::LocalFace* face = nullptr;
    for (const cell::LocalFace& f : cell::faces(c.type)) {
        double off = total;
        for (int j = 0; j < f.count; ++j) off -= std::fabs(w[f.nodes[static_cast<std::size_t>(j)]]);
        if (off <= best) {
            best = off;
            face = &f;
        }
    }
    if (face == nullptr) return;
    double snapped[cell::kMaxCellNodes] = {};
    int corners[4];
    canonicalFaceOrder(c, *face, corners);
    if (face->count == 3)
        triangleWeights(c, corners, p, snapped);
    else
        quadWeights(c, corners, p, snapped);
    double sum = 0.0;
    for (int j = 0; j < n; ++j) sum += snapped[j];
    if (std::fabs(sum - 1.0) < 1e-9) std::copy(snapped, snapped + n, w);
}

} // namespace

void canonicalFaceOrder(const CellNodes& c, const cell::LocalFace& f, int out[4]) {
    for (int j = 0; j < f.count; ++j) out[j] = f.nodes[static_cast<std::size_t>(j)];
    auto less = [&](int a, int b) { return lexLess(c.x[a], c.x[b]); };
    if (f.count == 3) {
        std::sort(out, out + 3, less);
        return;
    }
    int first = 0;
    for (int j = 1; j < 4; ++j)
        if (less(out[j], out[first])) first = j;
    const int step = less(out[(first + 1) % 4], out[(first + 3) % 4]) ? 1 : 3;
    int cyclic[4];
    for (int j = 0; j < 4; ++j) cyclic[j] = out[(first + step * j) % 4];
    std::copy(cyclic, cyclic + 4, out);
}

CellLocation CellShape::locate(const CellNodes& c, const double p[3], double paramTolerance) {
    CellLocation loc;
    const double size = std::max(c.size(), 1e-300);
    const double scale = size * size * size;
    if (c.type == ShapeType::Tetrahedron) {
        double b[4];
        if (!tetBarycentric(c.x[0], c.x[1], c.x[2], c.x[3], p, b, scale)) return loc;
        loc.converged = true;
        loc.pc[0] = b[1];
        loc.pc[1] = b[2];
        loc.pc[2] = b[3];
    } else {
        if (c.type == ShapeType::Pyramid && dist2(p, c.x[4]) <= 1e-24 * size * size) {
            // The apex, where the map is singular.
            loc.pc[0] = loc.pc[1] = 0.5;
            loc.pc[2] = 1.0;
            loc.converged = true;
        } else {
            centre(c.type, loc.pc);
            loc.converged = inverse(c, p, loc.pc, 1e-10 * size);
        }
    }
    if (loc.converged) {
        loc.inside = outside(c.type, loc.pc) <= paramTolerance;
        if (loc.inside) {
            clamp(c.type, loc.pc);
            weights(c.type, loc.pc, loc.weights.data());
            snapToBoundary(c, p, loc);
        }
        return loc;
    }

    // Newton failed: find the sub-tetrahedron that holds the point.
    int best = -1;
    double bestMin = -1e300, bestBary[4] = {};
    const auto tets = tetrahedra(c.type);
    for (std::size_t k = 0; k < tets.size(); ++k) {
        const auto& t = tets[k];
        double b[4];
        if (!tetBarycentric(c.x[t[0]], c.x[t[1]], c.x[t[2]], c.x[t[3]], p, b, scale)) continue;
        const double m = std::min({b[0], b[1], b[2], b[3]});
        if (m > bestMin) {
            bestMin = m;
            best = static_cast<int>(k);
            std::copy(b, b + 4, bestBary);
        }
    }
    if (best < 0 || bestMin < -paramTolerance) return loc;
    loc.inside = true;
    const auto& t = tets[static_cast<std::size_t>(best)];
    const auto nodePc = cell::nodeParametricCoords(c.type);
    double pc0[3] = {0, 0, 0};
    for (int j = 0; j < 4; ++j)
        for (int k = 0; k < 3; ++k) pc0[k] += bestBary[j] * nodePc[3 * static_cast<std::size_t>(t[j]) + k];
    double pc[3] = {pc0[0], pc0[1], pc0[2]};
    if (inverse(c, p, pc, 1e-10 * size) && outside(c.type, pc) <= paramTolerance) {
        loc.converged = true;
        clamp(c.type, pc);
        std::copy(pc, pc + 3, loc.pc);
        weights(c.type, loc.pc, loc.weights.data());
        snapToBoundary(c, p, loc);
        return loc;
    }
    // The linear weights of the sub-tetrahedron still interpolate linear fields exactly.
    clampBarycentric(bestBary, 4);
    loc.weights.fill(0.0);
    for (int j = 0; j < 4; ++j) loc.weights[static_cast<std::size_t>(t[j])] += bestBary[j];
    std::copy(pc0, pc0 + 3, loc.pc);
    return loc;
}

CellLocation CellShape::closest(const CellNodes& c, const double p[3]) {
    CellLocation loc = locate(c, p, parametricTolerance(c));
    if (loc.inside) return loc;

    double best = 1e300, q[3] = {p[0], p[1], p[2]};
    for (const auto& face : cell::faces(c.type)) {
        double out[3], bary[3];
        if (face.count == 3) {
            const double d2 =
                closestPointOnTriangle(p, c.x[face.nodes[0]], c.x[face.nodes[1]], c.x[face.nodes[2]], out, bary);
            if (d2 < best) {
                best = d2;
                std::copy(out, out + 3, q);
            }
            continue;
        }
        double mid[3] = {0, 0, 0};
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 3; ++k) mid[k] += 0.25 * c.x[face.nodes[static_cast<std::size_t>(j)]][k];
        for (int j = 0; j < 4; ++j) {
            const double* a = c.x[face.nodes[static_cast<std::size_t>(j)]];
            const double* b = c.x[face.nodes[static_cast<std::size_t>((j + 1) % 4)]];
            const double d2 = closestPointOnTriangle(p, a, b, mid, out, bary);
            if (d2 < best) {
                best = d2;
                std::copy(out, out + 3, q);
            }
        }
    }
    // Weights at the closest point, which lies on the cell's boundary: accept any slack.
    CellLocation atQ = locate(c, q, 1e-3);
    if (!atQ.inside) {
        // Only for badly shaped cells: fall back on the clamped parametric solution.
        double pc[3];
        centre(c.type, pc);
        inverse(c, q, pc, 1e-10 * std::max(c.size(), 1e-300));
        clamp(c.type, pc);
        std::copy(pc, pc + 3, atQ.pc);
        weights(c.type, pc, atQ.weights.data());
    }
    atQ.inside = false;
    atQ.distance = std::sqrt(best);
    return atQ;
}

double closestPointOnTriangle(const double p[3], const double a[3], const double b[3], const double c[3], double out[3],
                              double bary[3]) {
    // Regions of the triangle's Voronoi diagram, as in Ericson, Real-Time Collision Detection.
    double ab[3], ac[3], ap[3];
    for (int k = 0; k < 3; ++k) {
        ab[k] = b[k] - a[k];
        ac[k] = c[k] - a[k];
        ap[k] = p[k] - a[k];
    }
    auto dot = [](const double* u, const double* v) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; };
    auto finish = [&](double u, double v, double w) {
        bary[0] = u;
        bary[1] = v;
        bary[2] = w;
        for (int k = 0; k < 3; ++k) out[k] = u * a[k] + v * b[k] + w * c[k];
        return dist2(out, p);
    };
    const double d1 = dot(ab, ap), d2 = dot(ac, ap);
    if (d1 <= 0.0 && d2 <= 0.0) return finish(1, 0, 0);
    double bp[3];
    for (int k = 0; k < 3; ++k) bp[k] = p[k] - b[k];
    const double d3 = dot(ab, bp), d4 = dot(ac, bp);
    if (d3 >= 0.0 && d4 <= d3) return finish(0, 1, 0);
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0.0 && d1 >= 0.0 && d3 <= 0.0) {
        const double v = d1 / (d1 - d3);
        return finish(1 - v, v, 0);
    }
    double cp[3];
    for (int k = 0; k < 3; ++k) cp[k] = p[k] - c[k];
    const double d5 = dot(ab, cp), d6 = dot(ac, cp);
    if (d6 >= 0.0 && d5 <= d6) return finish(0, 0, 1);
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0.0 && d2 >= 0.0 && d6 <= 0.0) {
        const double w = d2 / (d2 - d6);
        return finish(1 - w, 0, w);
    }
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0.0 && (d4 - d3) >= 0.0 && (d5 - d6) >= 0.0) {
        const double w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
        return finish(0, 1 - w, w);
    }
    const double sum = va + vb + vc;
    if (!(std::fabs(sum) > 0.0)) {
        // Degenerate triangle: the nearest of its vertices.
        const double da = dist2(p, a), db = dist2(p, b), dc = dist2(p, c);
        if (da <= db && da <= dc) return finish(1, 0, 0);
        return db <= dc ? finish(0, 1, 0) : finish(0, 0, 1);
    }
    const double denom = 1.0 / sum;
    const double v = vb * denom, w = vc * denom;
    return finish(1 - v - w, v, w);
}

} // namespace zel
