// Point location and plane cutting on the benchmark mesh: 100 x 100 x 100 hexahedra of the
// unit cube sheared by x += 0.1 y (1,000,000 cells, 1,030,301 nodes).
//   BM_LocateMillionPoints  index build + findElement of 1,000,000 random points (fixed
//                           seed, all inside) with a field interpolated at each
//   BM_LocateMillionPointsBatched  the same through Geometry::findElements, which searches
//                           the points in groups with their memory reads overlapped
//   BM_IndexBuild           the index build alone; counter bytes_per_cell
//   BM_PlaneCut             GeometryIntersector::intersectWithGeometry through (0.5, 0.5, 0.5)
//                           with normal (0.3, 0.4, 0.866) (cut points merged, edge
//                           interpolant made); counters area, polygons, their count as
//                           triangles, vertices
// bench/vtk_reference.py measures VTK on the same mesh and queries.
#include "framework/geometry/GeometryIntersector.h"
#include "framework/geometry/GeometrySearch.h"

#include "ShearedCube.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>

namespace {

using namespace zel;

const Geometry& mesh() {
    static const std::unique_ptr<Geometry> g = [] {
        auto m = std::make_unique<Geometry>();
        m->setName("Bench");
        bench::fillShearedCube(*m);
        return m;
    }();
    return *g;
}

const std::vector<TripletF>& points() {
    static const std::vector<TripletF> pts = bench::shearedCubePoints();
    return pts;
}

// A field at the nodes, x + 2y + 3z, interpolated at each located point.
std::vector<float> nodeField(const Geometry& g) {
    std::vector<float> field(g.getVertices().size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const TripletF& v = g.getVertices()[i];
        field[i] = v.x + 2.0f * v.y + 3.0f * v.z;
    }
    return field;
}

// The field at a located point (0 where none was found: no weights).
float interpolate(const std::vector<float>& field, const ElementWeights& w) {
    float value = 0.0f;
    for (int i = 0; i < w.count; ++i) value += w.weights[std::size_t(i)] * field[std::size_t(w.nodes[std::size_t(i)])];
    return value;
}

void BM_LocateMillionPoints(benchmark::State& state) {
    const Geometry& g = mesh();
    const auto& pts = points();
    const std::vector<float> field = nodeField(g);
    for (auto _ : state) {
        g.setCache(Geometry::CacheLocator, nullptr); // the index build is part of the figure
        double sum = 0.0;
        std::int64_t located = 0;
        ElementWeights w;
        for (const TripletF& p : pts) {
            if (!g.findElement(p, w, false, SearchMode::Containing)) continue;
            ++located;
            sum += interpolate(field, w);
        }
        state.counters["located"] = double(located);
        state.counters["mean_value"] = located ? sum / double(located) : 0.0;
    }
}
BENCHMARK(BM_LocateMillionPoints)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same points through the many-point search (Geometry::findElements).
void BM_LocateMillionPointsBatched(benchmark::State& state) {
    const Geometry& g = mesh();
    const auto& pts = points();
    const std::vector<float> field = nodeField(g);
    std::vector<ElementWeights> found(pts.size());
    for (auto _ : state) {
        g.setCache(Geometry::CacheLocator, nullptr); // the index build is part of the figure
        const std::size_t located = g.findElements(pts, found, SearchMode::Containing);
        double sum = 0.0;
        for (const ElementWeights& w : found) sum += interpolate(field, w);
        state.counters["located"] = double(located);
        state.counters["mean_value"] = located ? sum / double(located) : 0.0;
    }
}
BENCHMARK(BM_LocateMillionPointsBatched)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_IndexBuild(benchmark::State& state) {
    const Geometry& g = mesh();
    for (auto _ : state) {
        CellLocator locator(cellView(g));
        benchmark::DoNotOptimize(locator.cellCount());
        state.counters["bytes_per_cell"] = double(locator.memoryBytes()) / double(locator.cellCount());
    }
}
BENCHMARK(BM_IndexBuild)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PlaneCut(benchmark::State& state) {
    const Geometry& g = mesh();
    const TripletF normal{0.3f, 0.4f, 0.866f};
    const float d = normal.dot({0.5f, 0.5f, 0.5f});
    for (auto _ : state) {
        Geometry cut;
        const std::size_t faces = GeometryIntersector::intersectWithGeometry(&cut, "Bench", &g, normal, d);
        state.PauseTiming();
        double area = 0.0;
        for (float a : g.getVertices().empty() ? std::vector<float>{} : cut.getVertexAreas().vector()) area += a;
        state.counters["polygons"] = double(faces);
        // The same cut as triangles (a polygon of n vertices is n - 2), as VTK counts it.
        double triangles = 0.0;
        for (const std::string& name : cut.getFaceSetNames()) {
            const ShapeSet* set = cut.getFaceSet(name);
            triangles += double(set->size()) * double(set->getNodesPerElement() - 2);
        }
        state.counters["triangles"] = triangles;
        state.counters["vertices"] = double(cut.getNumVertices());
        // Area over |normal|: the plane constant above uses the given, nearly unit normal.
        state.counters["area"] = area;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PlaneCut)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

BENCHMARK_MAIN();
