#pragma once
// Containers of the geometry library: triplets, flat vectors of floats, ints and triplets,
// a 3x3 matrix and an edge. All of them are plain value types over std::vector; data()
// and span views give the flat arrays that hot loops use.
#include "framework/core/Undefined.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

namespace zel {

// A 3-vector. For floating-point T, a component equal to the undefined value marks the
// whole vector undefined: its length is then the undefined value, and sums skip it.
template <typename T> struct TripletBase {
    T x{};
    T y{};
    T z{};

    constexpr TripletBase() = default;
    constexpr TripletBase(T x_, T y_, T z_) : x(x_), y(y_), z(z_) {}
    template <typename U, std::enable_if_t<!std::is_same_v<U, T>, int> = 0>
    constexpr explicit TripletBase(const TripletBase<U>& o)
        : x(static_cast<T>(o.x)), y(static_cast<T>(o.y)), z(static_cast<T>(o.z)) {}

    static constexpr T undefinedComponent() { return static_cast<T>(UNDEFINED_VALUE); }
    // The undefined vector: every component undefined.
    static constexpr TripletBase undefined() {
        return {undefinedComponent(), undefinedComponent(), undefinedComponent()};
    }
    constexpr bool isUndefined() const {
        if constexpr (std::is_floating_point_v<T>)
            return x == undefinedComponent() || y == undefinedComponent() || z == undefinedComponent();
        else
            return false;
    }

    constexpr T& operator[](int i) {
        assert(i >= 0 && i < 3);
        return i == 0 ? x : (i == 1 ? y : z);
    }
    constexpr const T& operator[](int i) const {
        assert(i >= 0 && i < 3);
        return i == 0 ? x : (i == 1 ? y : z);
    }

    constexpr TripletBase operator+(const TripletBase& o) const { return {x + o.x, y + o.y, z + o.z}; }
    constexpr TripletBase operator-(const TripletBase& o) const { return {x - o.x, y - o.y, z - o.z}; }
    constexpr TripletBase operator-() const { return {-x, -y, -z}; }
    constexpr TripletBase operator*(T s) const { return {x * s, y * s, z * s}; }
    constexpr TripletBase operator/(T s) const { return {x / s, y / s, z / s}; }
    constexpr TripletBase& operator+=(const TripletBase& o) {
        x += o.x;
        y += o.y;
        z += o.z;
        return *this;
    }
    constexpr TripletBase& operator-=(const TripletBase& o) {
        x -= o.x;
        y -= o.y;
        z -= o.z;
        return *this;
    }
    constexpr TripletBase& operator*=(T s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    constexpr TripletBase& operator/=(T s) {
        x /= s;
        y /= s;
        z /= s;
        return *this;
    }
    constexpr bool operator==(const TripletBase& o) const { return x == o.x && y == o.y && z == o.z; }
    constexpr bool operator!=(const TripletBase& o) const { return !(*this == o); }

    constexpr T dot(const TripletBase& o) const { return x * o.x + y * o.y + z * o.z; }
    constexpr TripletBase cross(const TripletBase& o) const {
        return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
    }
    constexpr T lengthSquared() const { return x * x + y * y + z * z; }
    // The undefined value when a component is undefined, else the Euclidean length in T.
    T length() const {
        if (isUndefined()) return undefinedComponent();
        return static_cast<T>(std::sqrt(lengthSquared()));
    }
    // Divides by the length; a vector of length zero is left unchanged. An undefined
    // vector is divided by the undefined value, as its length is that value.
    TripletBase& normalise() {
        const T len = length();
        if (len != T(0)) {
            x /= len;
            y /= len;
            z /= len;
        }
        return *this;
    }
    TripletBase normalised() const {
        TripletBase r(*this);
        r.normalise();
        return r;
    }
};

template <typename T> constexpr TripletBase<T> operator*(T s, const TripletBase<T>& v) { return v * s; }
template <typename T> constexpr T dot(const TripletBase<T>& a, const TripletBase<T>& b) { return a.dot(b); }
template <typename T> constexpr TripletBase<T> cross(const TripletBase<T>& a, const TripletBase<T>& b) {
    return a.cross(b);
}

using TripletF = TripletBase<float>;
using TripletD = TripletBase<double>;

// A growable flat array with the container operations the system uses. The derived
// vectors add the reductions of their element type.
template <typename T> class ZELVector {
public:
    using value_type = T;
    using iterator = typename std::vector<T>::iterator;
    using const_iterator = typename std::vector<T>::const_iterator;

    ZELVector() = default;
    explicit ZELVector(std::size_t n, const T& value = T()) : m_data(n, value) {}
    ZELVector(std::initializer_list<T> values) : m_data(values) {}
    explicit ZELVector(std::vector<T> values) : m_data(std::move(values)) {}
    ZELVector(const T* values, std::size_t count) : m_data(values, values + count) {}

    std::size_t size() const { return m_data.size(); }
    bool empty() const { return m_data.empty(); }
    void resize(std::size_t n) { m_data.resize(n); }
    void resize(std::size_t n, const T& value) { m_data.resize(n, value); }
    void reserve(std::size_t n) { m_data.reserve(n); }
    void clear() { m_data.clear(); }
    void push_back(const T& value) { m_data.push_back(value); }
    void swap(ZELVector& other) noexcept { m_data.swap(other.m_data); }
    void swap(std::vector<T>& other) noexcept { m_data.swap(other); }
    // Removes the entry at `index`, or the entries [first, last).
    void erase(std::size_t index) {
        assert(index < m_data.size());
        m_data.erase(m_data.begin() + static_cast<std::ptrdiff_t>(index));
    }
    void erase(std::size_t first, std::size_t last) {
        assert(first <= last && last <= m_data.size());
        m_data.erase(m_data.begin() + static_cast<std::ptrdiff_t>(first),
                     m_data.begin() + static_cast<std::ptrdiff_t>(last));
    }
    iterator erase(const_iterator it) { return m_data.erase(it); }
    // Replaces the contents with `count` values copied from `values`.
    void redefine(const T* values, std::size_t count) { m_data.assign(values, values + count); }
    void redefine(std::span<const T> values) { m_data.assign(values.begin(), values.end()); }

    T& operator[](std::size_t i) {
        assert(i < m_data.size());
        return m_data[i];
    }
    const T& operator[](std::size_t i) const {
        assert(i < m_data.size());
        return m_data[i];
    }
    T& back() { return m_data.back(); }
    const T& back() const { return m_data.back(); }
    T* data() { return m_data.data(); }
    const T* data() const { return m_data.data(); }
    iterator begin() { return m_data.begin(); }
    iterator end() { return m_data.end(); }
    const_iterator begin() const { return m_data.begin(); }
    const_iterator end() const { return m_data.end(); }
    std::span<T> span() { return m_data; }
    std::span<const T> span() const { return m_data; }
    operator std::span<const T>() const { return m_data; }
    std::vector<T>& vector() { return m_data; }
    const std::vector<T>& vector() const { return m_data; }

    bool operator==(const ZELVector& o) const { return m_data == o.m_data; }

protected:
    std::vector<T> m_data;
};

// Floats with reductions that skip undefined entries. getMin/getMax of a vector with no
// defined entry give the undefined value; getSum gives 0.
class FloatZELVector : public ZELVector<float> {
public:
    using ZELVector<float>::ZELVector;
    float getMin() const {
        float m = UNDEFINED_VALUE;
        bool any = false;
        for (float v : m_data)
            if (!isUndefined(v)) {
                m = any ? std::min(m, v) : v;
                any = true;
            }
        return m;
    }
    float getMax() const {
        float m = UNDEFINED_VALUE;
        bool any = false;
        for (float v : m_data)
            if (!isUndefined(v)) {
                m = any ? std::max(m, v) : v;
                any = true;
            }
        return m;
    }
    // Summed in double, returned as float.
    float getSum() const {
        double s = 0.0;
        for (float v : m_data)
            if (!isUndefined(v)) s += v;
        return static_cast<float>(s);
    }
};

// The concrete float vector that callers fill (the host framework separates interface and
// storage; here they are one and the same).
class FloatZELVectorConcrete : public FloatZELVector {
public:
    using FloatZELVector::FloatZELVector;
    FloatZELVectorConcrete() = default;
    FloatZELVectorConcrete(const FloatZELVector& v) : FloatZELVector(v) {}
    FloatZELVectorConcrete(FloatZELVector&& v) : FloatZELVector(std::move(v)) {}
};

class IntZELVector : public ZELVector<int> {
public:
    using ZELVector<int>::ZELVector;
    // Of an empty vector: getMin gives INT_MAX, getMax INT_MIN, getSum 0.
    int getMin() const {
        return m_data.empty() ? std::numeric_limits<int>::max() : *std::min_element(m_data.begin(), m_data.end());
    }
    int getMax() const {
        return m_data.empty() ? std::numeric_limits<int>::min() : *std::max_element(m_data.begin(), m_data.end());
    }
    std::int64_t getSum() const {
        std::int64_t s = 0;
        for (int v : m_data) s += v;
        return s;
    }
};

// Points or vectors. The extents skip undefined entries; with no defined entry both are
// the undefined vector.
class TripletZELVector : public ZELVector<TripletBase<float>> {
public:
    using ZELVector<TripletBase<float>>::ZELVector;
    TripletBase<float> getMinExtents() const { return extents(true); }
    TripletBase<float> getMaxExtents() const { return extents(false); }

private:
    TripletBase<float> extents(bool lower) const {
        TripletBase<float> e = TripletBase<float>::undefined();
        bool any = false;
        for (const auto& p : m_data) {
            if (p.isUndefined()) continue;
            if (!any) {
                e = p;
                any = true;
                continue;
            }
            for (int k = 0; k < 3; ++k) e[k] = lower ? std::min(e[k], p[k]) : std::max(e[k], p[k]);
        }
        return e;
    }
};

// A 3x3 matrix, row-major, identity by default.
class ZELMatrix3 {
public:
    ZELMatrix3() { setIdentity(); }
    void setIdentity() {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) m[r][c] = r == c ? 1.0f : 0.0f;
    }
    // Rotation by `angle` radians about `axis` (right-hand rule); the axis need not be
    // unit. A zero axis gives the identity.
    void setRotationMatrix(const TripletBase<float>& axis, float angle) {
        const double len = std::sqrt(double(axis.x) * axis.x + double(axis.y) * axis.y + double(axis.z) * axis.z);
        if (len == 0.0) {
            setIdentity();
            return;
        }
        const double x = axis.x / len, y = axis.y / len, z = axis.z / len;
        const double c = std::cos(double(angle)), s = std::sin(double(angle)), t = 1.0 - c;
        const double r[3][3] = {{t * x * x + c, t * x * y - s * z, t * x * z + s * y},
                                {t * x * y + s * z, t * y * y + c, t * y * z - s * x},
                                {t * x * z - s * y, t * y * z + s * x, t * z * z + c}};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) m[i][j] = static_cast<float>(r[i][j]);
    }
    // Uniform scaling by `factor`.
    void setScaleMatrix(float factor) {
        setIdentity();
        for (int i = 0; i < 3; ++i) m[i][i] = factor;
    }
    TripletBase<float> multVec(const TripletBase<float>& v) const {
        return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
                m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
    }
    ZELMatrix3 operator*(const ZELMatrix3& o) const {
        ZELMatrix3 r;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                float s = 0.0f;
                for (int k = 0; k < 3; ++k) s += m[i][k] * o.m[k][j];
                r.m[i][j] = s;
            }
        return r;
    }
    float& operator()(int row, int col) { return m[row][col]; }
    float operator()(int row, int col) const { return m[row][col]; }

private:
    float m[3][3];
};

// Two vertex indices, in the order given (a directed segment). sameAs compares them as an
// unordered pair; key() is the ordered pair packed for sorting and hashing.
class Edge {
public:
    Edge() = default;
    Edge(int a, int b) : m_v{a, b} {}
    int operator[](int i) const {
        assert(i == 0 || i == 1);
        return m_v[i];
    }
    int& operator[](int i) {
        assert(i == 0 || i == 1);
        return m_v[i];
    }
    bool operator==(const Edge& o) const { return m_v[0] == o.m_v[0] && m_v[1] == o.m_v[1]; }
    bool operator<(const Edge& o) const { return key() < o.key(); }
    bool sameAs(const Edge& o) const { return key() == o.key(); }
    Edge reversed() const { return {m_v[1], m_v[0]}; }
    std::uint64_t key() const {
        const auto lo = static_cast<std::uint32_t>(std::min(m_v[0], m_v[1]));
        const auto hi = static_cast<std::uint32_t>(std::max(m_v[0], m_v[1]));
        return (std::uint64_t(lo) << 32) | hi;
    }

private:
    int m_v[2] = {-1, -1};
};

} // namespace zel
