#pragma once
// Helpers of the geometry tests: fixed-seed random affine maps and one-element meshes.
#include "framework/geometry/Geometry.h"

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace zel::test {

using Vec3 = TripletBase<double>;

inline Vec3 toD(const TripletF& p) { return {p.x, p.y, p.z}; }
inline TripletF toF(const Vec3& p) { return TripletF(p); }

// x -> M x + b with M a random rotation times a random scale in [0.5, 2] per axis.
struct Affine {
    double m[3][3];
    Vec3 b;
    Vec3 apply(const Vec3& p) const {
        return {m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + b.x,
                m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + b.y,
                m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + b.z};
    }
    double det() const {
        return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    }
};

// A rotation (from a random unit quaternion), optionally with per-axis scaling first.
inline Affine randomAffine(std::mt19937& rng, bool scale) {
    std::normal_distribution<double> g(0.0, 1.0);
    double q[4];
    double n = 0;
    for (double& c : q) {
        c = g(rng);
        n += c * c;
    }
    n = std::sqrt(n);
    for (double& c : q) c /= n;
    const double w = q[0], x = q[1], y = q[2], z = q[3];
    const double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
                            {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
                            {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
    std::uniform_real_distribution<double> su(0.5, 2.0), tu(-5.0, 5.0);
    const double s[3] = {scale ? su(rng) : 1.0, scale ? su(rng) : 1.0, scale ? su(rng) : 1.0};
    Affine a;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) a.m[i][j] = r[i][j] * s[j];
    a.b = {tu(rng), tu(rng), tu(rng)};
    return a;
}

// A geometry with one element set holding one element over all the given points.
inline std::unique_ptr<Geometry> oneElement(const std::vector<Vec3>& pts, ShapeType type) {
    auto g = std::make_unique<Geometry>();
    TripletZELVector v;
    for (const auto& p : pts) v.push_back(toF(p));
    g->setVertices(std::move(v));
    const int n = static_cast<int>(pts.size());
    ShapeSet* set = g->addFaceSet("set", type, 0, type == ShapeType::Polygon ? n : 0);
    std::vector<int> nodes(pts.size());
    for (int i = 0; i < n; ++i) nodes[std::size_t(i)] = i;
    set->addElement(nodes);
    return g;
}

// A per-vertex scalar `name` with the given values, added to g.
inline ScalarVariable* addScalar(Geometry& g, const std::string& name, const FloatZELVector& values) {
    auto v = std::make_unique<ScalarVariable>();
    v->setName(name);
    v->values() = values;
    return static_cast<ScalarVariable*>(g.addVariable(std::move(v)));
}

// Σ w_i f(x_i) for the linear field f(x) = c + g·x.
inline double weightedSum(const Geometry& geom, const FloatZELVector& w, double c, const Vec3& grad) {
    double s = 0;
    for (int i = 0; i < geom.getNumVertices(); ++i)
        s += double(w[std::size_t(i)]) * (c + grad.dot(toD(geom.getVertices()[std::size_t(i)])));
    return s;
}

} // namespace zel::test
