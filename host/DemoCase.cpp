#include "host/DemoCase.h"

#include "framework/geometry/CellTopology.h"
#include "framework/geometry/Containers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

namespace zel::host {
namespace {

using Vec = TripletD;

struct Mesh {
    std::vector<Vec> points;
    std::vector<std::uint8_t> types;
    std::vector<std::vector<int>> cells;
};

Vec normalOf(const Mesh& m, const std::vector<int>& face) {
    Vec n(0, 0, 0);
    for (std::size_t i = 0; i < face.size(); ++i) {
        const Vec& a = m.points[std::size_t(face[i])];
        const Vec& b = m.points[std::size_t(face[(i + 1) % face.size()])];
        n += Vec(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
    }
    return n;
}
Vec centroid(const Mesh& m, const std::vector<int>& nodes) {
    Vec c(0, 0, 0);
    for (int n : nodes) c += m.points[std::size_t(n)];
    return c * (1.0 / double(nodes.size()));
}

// VTK orientation: the base (tetrahedron 0-1-2, pyramid 0-1-2-3) has its right-hand normal
// towards the apex; a wedge's 0-1-2 away from 3-4-5.
void addTet(Mesh& m, std::array<int, 4> n) {
    const std::vector<int> base{n[0], n[1], n[2]};
    if (normalOf(m, base).dot(m.points[std::size_t(n[3])] - centroid(m, base)) < 0) std::swap(n[1], n[2]);
    m.types.push_back(VtkTetra);
    m.cells.push_back({n.begin(), n.end()});
}
void addPyramid(Mesh& m, std::array<int, 4> base, int apex) {
    const std::vector<int> b(base.begin(), base.end());
    if (normalOf(m, b).dot(m.points[std::size_t(apex)] - centroid(m, b)) < 0) std::reverse(base.begin(), base.end());
    m.types.push_back(VtkPyramid);
    m.cells.push_back({base[0], base[1], base[2], base[3], apex});
}
void addWedge(Mesh& m, std::array<int, 6> n) {
    const std::vector<int> bottom{n[0], n[1], n[2]}, top{n[3], n[4], n[5]};
    if (normalOf(m, bottom).dot(centroid(m, top) - centroid(m, bottom)) > 0) {
        std::swap(n[1], n[2]);
        std::swap(n[4], n[5]);
    }
    m.types.push_back(VtkWedge);
    m.cells.push_back({n.begin(), n.end()});
}

Mesh makeMesh(const DemoParameters& P) {
    Mesh m;
    const int nx = 4 * P.cellsPerSection, ny = P.cellsY, nz = P.cellsZ;
    auto id = [&](int i, int j, int k) { return i + (nx + 1) * (j + (ny + 1) * k); };
    for (int k = 0; k <= nz; ++k)
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i)
                m.points.push_back(Vec(P.length * i / nx, P.height * j / ny, P.width * k / nz));
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                const int h[8] = {id(i, j, k),     id(i + 1, j, k),     id(i + 1, j + 1, k),     id(i, j + 1, k),
                                  id(i, j, k + 1), id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)};
                const int section = i / P.cellsPerSection;
                if (section == 0) {
                    m.types.push_back(VtkHexahedron);
                    m.cells.push_back({h, h + 8});
                } else if (section == 1) {
                    // Split along the x-y diagonal, extruded along z: the x- and y-faces stay quads.
                    addWedge(m, {h[0], h[1], h[2], h[4], h[5], h[6]});
                    addWedge(m, {h[0], h[2], h[3], h[4], h[6], h[7]});
                } else {
                    // Six pyramids on the faces of the hexahedron around its centre; in the
                    // last section each is split into two tetrahedra by the diagonal through
                    // its smallest node (the same on both sides of a face), except on the
                    // face shared with the pyramid section.
                    const int centre = static_cast<int>(m.points.size());
                    std::vector<int> all(h, h + 8);
                    m.points.push_back(centroid(m, all));
                    for (std::size_t f = 0; f < cell::kHexFaces.size(); ++f) {
                        const auto& lf = cell::kHexFaces[f];
                        std::array<int, 4> q{h[lf.nodes[0]], h[lf.nodes[1]], h[lf.nodes[2]], h[lf.nodes[3]]};
                        const bool keep = section == 2 || (i == 3 * P.cellsPerSection && f == 0);
                        if (keep) {
                            addPyramid(m, q, centre);
                            continue;
                        }
                        const auto smallest = std::min_element(q.begin(), q.end()) - q.begin();
                        if (smallest % 2 == 0) {
                            addTet(m, {q[0], q[1], q[2], centre});
                            addTet(m, {q[0], q[2], q[3], centre});
                        } else {
                            addTet(m, {q[1], q[2], q[3], centre});
                            addTet(m, {q[1], q[3], q[0], centre});
                        }
                    }
                }
            }
    return m;
}

RealArray toReal(const std::vector<double>& v) { return RealArray(std::vector<float>(v.begin(), v.end())); }

const char* patchOf(const Vec& c, const DemoParameters& P) {
    const double tol = 1e-9 * P.length;
    if (std::fabs(c.x) < tol) return "inlet";
    if (std::fabs(c.x - P.length) < tol) return "outlet";
    if (std::fabs(c.y) < tol) return "wall-bottom";
    if (std::fabs(c.y - P.height) < tol) return "wall-top";
    if (std::fabs(c.z) < tol) return "wall-front";
    if (std::fabs(c.z - P.width) < tol) return "wall-back";
    return nullptr;
}

} // namespace

CaseData makeDemoCase(const DemoParameters& P) {
    const Mesh m = makeMesh(P);
    CaseData data;
    data.sourceFile = "(demo)";
    MeshBlock volume;
    volume.name = "duct";
    volume.path = "duct";
    volume.sourceFile = "(demo)";
    std::vector<double> xyz, p, u, t, rho;
    for (const Vec& q : m.points) {
        xyz.insert(xyz.end(), {q.x, q.y, q.z});
        const double eta = q.y / P.height, zeta = q.z / P.width;
        p.push_back(P.p0 - P.gradient * q.x);
        u.insert(u.end(), {16.0 * P.u0 * eta * (1 - eta) * zeta * (1 - zeta), 0.0, 0.0});
        t.push_back(300.0 + 20.0 * eta + 10.0 * zeta);
        rho.push_back(P.density);
    }
    volume.points = toReal(xyz);
    for (std::size_t c = 0; c < m.cells.size(); ++c) {
        volume.cells.types.push_back(m.types[c]);
        for (int n : m.cells[c]) volume.cells.connectivity.push_back(n);
        volume.cells.offsets.push_back(static_cast<std::int64_t>(volume.cells.connectivity.size()));
    }
    volume.pointData.push_back({"p", 1, toReal(p)});
    volume.pointData.push_back({"U", 3, toReal(u)});
    volume.pointData.push_back({"T", 1, toReal(t)});
    volume.pointData.push_back({"rho", 1, toReal(rho)});
    validateBlock(volume);
    data.blocks.push_back(std::move(volume));

    // The free faces, by patch, as foamToVTK writes them: each patch with its own points.
    std::map<std::array<int, 4>, std::pair<std::vector<int>, int>> faces; // sorted nodes -> (face, count)
    for (std::size_t c = 0; c < m.cells.size(); ++c) {
        ShapeType shape = m.types[c] == VtkTetra     ? ShapeType::Tetrahedron
                          : m.types[c] == VtkPyramid ? ShapeType::Pyramid
                          : m.types[c] == VtkWedge   ? ShapeType::Wedge
                                                     : ShapeType::Hexahedron;
        for (const auto& lf : cell::faces(shape)) {
            std::vector<int> face;
            for (int k = 0; k < lf.count; ++k) face.push_back(m.cells[c][std::size_t(lf.nodes[std::size_t(k)])]);
            std::array<int, 4> key{-1, -1, -1, -1};
            std::copy(face.begin(), face.end(), key.begin());
            // Insertion sort of at most four nodes (std::sort here trips g++ 12's -Warray-bounds at -O3).
            for (int a = 1; a < lf.count; ++a)
                for (int b = a; b > 0 && key[std::size_t(b)] < key[std::size_t(b - 1)]; --b)
                    std::swap(key[std::size_t(b)], key[std::size_t(b - 1)]);
            auto& entry = faces[key];
            if (entry.second++ == 0) entry.first = face;
        }
    }
    std::map<std::string, MeshBlock> patches;
    std::map<std::string, std::map<int, int>> local;
    for (const auto& [key, entry] : faces) {
        if (entry.second != 1) continue;
        const char* name = patchOf(centroid(m, entry.first), P);
        if (name == nullptr) continue;
        MeshBlock& b = patches[name];
        auto& map = local[name];
        std::vector<double> pts;
        b.cells.types.push_back(entry.first.size() == 3 ? VtkTriangle : VtkQuad);
        for (int n : entry.first) {
            auto [it, isNew] = map.try_emplace(n, static_cast<int>(map.size()));
            if (isNew) {
                const Vec& q = m.points[std::size_t(n)];
                std::vector<float>& s = b.points.f32Storage();
                s.insert(s.end(), {float(q.x), float(q.y), float(q.z)});
            }
            b.cells.connectivity.push_back(it->second);
        }
        b.cells.offsets.push_back(static_cast<std::int64_t>(b.cells.connectivity.size()));
    }
    for (const char* name : {"inlet", "outlet", "wall-bottom", "wall-top", "wall-front", "wall-back"}) {
        MeshBlock& b = patches[name];
        b.name = name;
        b.path = std::string("boundary/") + name;
        b.sourceFile = "(demo)";
        validateBlock(b);
        data.blocks.push_back(std::move(b));
    }
    return data;
}

const std::string& demoSession() {
    static const std::string text =
        R"(# zelpost demo session: a duct of 4 m x 1 m x 0.5 m along x, meshed with hexahedra
# (0 < x < 1), wedges (1 < x < 2), pyramids (2 < x < 3) and tetrahedra (3 < x < 4).
# Run it with `zelpost --demo`, which prints each result beside its analytic value.
PLANE: Slice Hex
  Option = YZ Plane
  X = 0.55 [m]
END
PLANE: Slice Wedge
  Option = YZ Plane
  X = 1.6 [m]
END
PLANE: Slice Pyramid
  Option = YZ Plane
  X = 2.55 [m]
END
PLANE: Slice Tet
  Option = YZ Plane
  X = 3.6 [m]
END
PLANE: Mid Plane
  Option = XY Plane
  Z = 0.27 [m]
END
LINE: Centre Line
  Line Type = Cut
  Point 1 = -0.1, 0.3, 0.2 [m]
  Point 2 = 4.1, 0.3, 0.2 [m]
END
POINT: Probe Tet
  Point = 3.3, 0.4, 0.3 [m]
END
POLYLINE: Wedge Rim
  Option = Boundary Intersection
  Location = Slice Wedge
  Boundary List = wall-bottom, wall-top, wall-front, wall-back
END
USER SURFACE: Slice Hex Moved
  Option = Offset From Surface
  Surface Name = Slice Hex
  Offset Type = Translational
  Offset Direction = 1, 0, 0
  Offset Distance = 0.2 [m]
END
> calculate area, Slice Hex
> calculate areaAve, Pressure, Slice Hex
> calculate maxVal, Velocity X, Slice Hex
> calculate massFlow, Slice Hex
> calculate massFlow, Slice Wedge
> calculate massFlow, Slice Pyramid
> calculate massFlow, Slice Tet
> calculate massFlowAve, Pressure, Slice Pyramid
> calculate areaAve, Velocity X, Slice Tet
> calculate massFlow, inlet
> calculate massFlow, outlet
> calculate areaInt, Pressure, outlet
> calculate area, Mid Plane
> calculate areaAve, Temperature, Mid Plane
> calculate areaAve, Pressure, Mid Plane
> calculate force, wall-bottom, Y
> calculate force, wall-top, Y
> calculate length, Centre Line
> calculate lengthAve, Temperature, Centre Line
> calculate probe, Pressure, Probe Tet
> calculate probe, Temperature, Probe Tet
> calculate volume, duct
> calculate length, Wedge Rim
> calculate lengthAve, Temperature, Wedge Rim
> calculate area, Slice Hex Moved
> calculate areaAve, Pressure, Slice Hex Moved
# Pictures, written with `zelpost --demo --pictures DIR`: the laminar profile on the mid plane,
# the slice through the tetrahedra with its mesh, the bottom wall seen in 3-D, and the profile
# across the duct sampled by a rake of 11 points.
LINE: Profile Rake
  Line Type = Sample
  Line Samples = 11
  Point 1 = 0.5, 0, 0.25 [m]
  Point 2 = 0.5, 1, 0.25 [m]
END
> picture Mid Plane, Velocity X, demo-mid-plane-velocity.png
> picture Slice Tet, Velocity X, demo-tet-slice-mesh.png, Draw Mesh = True
> picture wall-bottom, Temperature, demo-wall-temperature.png, View Direction = Iso
> plot Profile Rake, Velocity X, Temperature, demo-profile.png
)";
    return text;
}

std::vector<double> demoAnalyticValues(const DemoParameters& P) {
    const double L = P.length, H = P.height, W = P.width;
    const double mdot = P.density * P.u0 * H * W * 16.0 / 36.0;
    auto p = [&](double x) { return P.p0 - P.gradient * x; };
    auto T = [&](double y, double z) { return 300.0 + 20.0 * y / H + 10.0 * z / W; };
    const double wallPressureForce = W * (P.p0 * L - P.gradient * L * L / 2.0);
    return {
        H * W,   // area, Slice Hex
        p(0.55), // areaAve Pressure
        P.u0,    // maxVal Velocity X (the centre node)
        mdot,
        mdot,
        mdot,
        mdot,                // massFlow through the four sections
        p(2.55),             // massFlowAve Pressure (p is uniform on the slice)
        P.u0 * 16.0 / 36.0,  // areaAve Velocity X
        -mdot,               // massFlow inlet (outward normal: inflow is negative)
        mdot,                // massFlow outlet
        p(L) * H * W,        // areaInt Pressure on the outlet
        L * H,               // area, Mid Plane
        T(H / 2.0, 0.27),    // areaAve Temperature on the mid plane
        p(L / 2.0),          // areaAve Pressure on the mid plane
        -wallPressureForce,  // force on wall-bottom, y: pushes the wall outward (-y)
        wallPressureForce,   // force on wall-top, y
        L,                   // length of the cut line
        T(0.3, 0.2),         // lengthAve Temperature
        p(3.3),              // probe Pressure
        T(0.4, 0.3),         // probe Temperature
        L * H * W,           // volume of the duct
        2.0 * (H + W),       // length of the rim of the wedge slice
        T(H / 2.0, W / 2.0), // lengthAve Temperature round the rim: its centre's value
        H * W,               // area of the hexahedra's slice moved 0.2 m along x
        p(0.75),             // areaAve Pressure on it
    };
}

void runDemo(Host& host) {
    const DemoParameters parameters;
    host.loadCase(makeDemoCase(parameters), LoadOptions{});
    const std::size_t first = host.results().size();
    host.runSession(demoSession(), "demo session");
    const std::vector<double> exact = demoAnalyticValues(parameters);
    std::vector<ResultRow>& rows = host.results();
    for (std::size_t i = first, k = 0; i < rows.size() && k < exact.size(); ++i, ++k) rows[i].analytic = exact[k];
}

} // namespace zel::host
