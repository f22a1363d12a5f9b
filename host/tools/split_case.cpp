// split_case: writes a case as N pieces, as a decomposed solver run would: each volume block
// cut into N pieces of neighbouring cells (recursive bisection of the cell centres along the
// longest side), each patch face put in the piece of the volume cell it bounds, every block
// as a .pvtu / .pvtp with its piece files, and for a case of several blocks a .vtm over them
// with the case's groups. For the tests and the benchmarks of parallel runs.
//
//   split_case CASE N OUTDIR [--ghost] [--global-ids]
//   split_case --demo N OUTDIR ...     (zelpost's embedded demo case, as OUTDIR/demo.vtm)
//
// --ghost adds one layer of ghost cells to each volume piece (the other pieces' cells that
// share a point with it, marked DUPLICATECELL in "vtkGhostType"); --global-ids gives every
// point its index in the whole block as "GlobalNodeIds". The output is named after CASE
// (OUTDIR/elbow_200.vtm, OUTDIR/cube.pvtu) so that the domains keep their names.
#include "host/DemoCase.h"
#include "host/readers/CaseReader.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <numeric>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using namespace zel::host;
namespace fs = std::filesystem;

struct Centre {
    double c[3];
};

// Cells `ids` into `parts` pieces first, first+1, ...
void bisect(std::vector<std::int64_t>::iterator begin, std::vector<std::int64_t>::iterator end, int parts, int first,
            const std::vector<Centre>& centres, std::vector<int>& piece) {
    if (parts <= 1 || end - begin <= 1) {
        for (auto it = begin; it != end; ++it) piece[std::size_t(*it)] = first;
        return;
    }
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    for (auto it = begin; it != end; ++it)
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], centres[std::size_t(*it)].c[a]);
            hi[a] = std::max(hi[a], centres[std::size_t(*it)].c[a]);
        }
    int axis = 0;
    for (int a = 1; a < 3; ++a)
        if (hi[a] - lo[a] > hi[axis] - lo[axis]) axis = a;
    const int left = parts / 2;
    const auto mid = begin + (end - begin) * left / parts;
    std::nth_element(begin, mid, end, [&](std::int64_t a, std::int64_t b) {
        const double ca = centres[std::size_t(a)].c[axis], cb = centres[std::size_t(b)].c[axis];
        return ca != cb ? ca < cb : a < b;
    });
    bisect(begin, mid, left, first, centres, piece);
    bisect(mid, end, parts - left, first + left, centres, piece);
}

struct Key {
    std::uint64_t x, y, z;
    bool operator==(const Key&) const = default;
};
struct KeyHash {
    std::size_t operator()(const Key& k) const { return std::size_t(k.x * 31 + k.y * 1000003 + k.z * 998244353); }
};
Key keyOf(const MeshBlock& b, std::size_t p) {
    return {std::bit_cast<std::uint64_t>(b.points[3 * p]), std::bit_cast<std::uint64_t>(b.points[3 * p + 1]),
            std::bit_cast<std::uint64_t>(b.points[3 * p + 2])};
}

const char* typeName(const RealArray& a) { return a.isDouble() ? "Float64" : "Float32"; }

void writeValues(std::ostream& out, const RealArray& a, const std::vector<std::int64_t>& tuples, int components) {
    char buf[40];
    std::size_t n = 0;
    for (std::int64_t t : tuples)
        for (int c = 0; c < components; ++c) {
            const double v = a[std::size_t(t) * std::size_t(components) + std::size_t(c)];
            std::snprintf(buf, sizeof buf, a.isDouble() ? "%.17g" : "%.9g", v);
            out << buf << (++n % 9 == 0 ? '\n' : ' ');
        }
    out << '\n';
}

// One piece: cells `cells` of `b` (ghost flags per cell when `ghost`).
void writePiece(const fs::path& file, const MeshBlock& b, const std::vector<std::int64_t>& cells,
                const std::vector<char>* ghost, bool globalIds) {
    const bool poly = b.kind != BlockKind::Volume;
    std::vector<std::int64_t> newIndex(b.numPoints(), -1), points;
    for (std::int64_t c : cells)
        for (std::int64_t p : b.cells.cellPoints(std::size_t(c)))
            if (newIndex[std::size_t(p)] < 0) {
                newIndex[std::size_t(p)] = std::int64_t(points.size());
                points.push_back(p);
            }
    std::ofstream out(file);
    const char* type = poly ? "PolyData" : "UnstructuredGrid";
    out << "<?xml version=\"1.0\"?>\n<VTKFile type=\"" << type << "\" version=\"1.0\" byte_order=\"LittleEndian\">\n<"
        << type << ">\n<Piece NumberOfPoints=\"" << points.size() << "\" ";
    if (poly)
        out << "NumberOfPolys=\"" << cells.size() << "\">\n";
    else
        out << "NumberOfCells=\"" << cells.size() << "\">\n";
    out << "<PointData>\n";
    for (const FieldArray& f : b.pointData) {
        out << "<DataArray type=\"" << typeName(f.values) << "\" Name=\"" << f.name << "\" NumberOfComponents=\""
            << f.components << "\" format=\"ascii\">\n";
        writeValues(out, f.values, points, f.components);
        out << "</DataArray>\n";
    }
    if (globalIds) {
        out << "<DataArray type=\"Int64\" Name=\"GlobalNodeIds\" format=\"ascii\">\n";
        for (std::size_t i = 0; i < points.size(); ++i) out << points[i] << (i % 12 == 11 ? '\n' : ' ');
        out << "\n</DataArray>\n";
    }
    out << "</PointData>\n<CellData>\n";
    for (const FieldArray& f : b.cellData) {
        out << "<DataArray type=\"" << typeName(f.values) << "\" Name=\"" << f.name << "\" NumberOfComponents=\""
            << f.components << "\" format=\"ascii\">\n";
        writeValues(out, f.values, cells, f.components);
        out << "</DataArray>\n";
    }
    if (ghost != nullptr) {
        out << "<DataArray type=\"UInt8\" Name=\"vtkGhostType\" format=\"ascii\">\n";
        for (std::size_t i = 0; i < cells.size(); ++i) out << int((*ghost)[i]) << (i % 30 == 29 ? '\n' : ' ');
        out << "\n</DataArray>\n";
    }
    out << "</CellData>\n<Points>\n<DataArray type=\"" << typeName(b.points)
        << "\" NumberOfComponents=\"3\" format=\"ascii\">\n";
    writeValues(out, b.points, points, 3);
    out << "</DataArray>\n</Points>\n";
    out << (poly ? "<Polys>\n" : "<Cells>\n") << "<DataArray type=\"Int64\" Name=\"connectivity\" format=\"ascii\">\n";
    for (std::int64_t c : cells)
        for (std::int64_t p : b.cells.cellPoints(std::size_t(c))) out << newIndex[std::size_t(p)] << ' ';
    out << "\n</DataArray>\n<DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">\n";
    std::int64_t offset = 0;
    for (std::int64_t c : cells) out << (offset += std::int64_t(b.cells.cellPoints(std::size_t(c)).size())) << ' ';
    out << "\n</DataArray>\n";
    if (!poly) {
        out << "<DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">\n";
        for (std::int64_t c : cells) out << int(b.cells.types[std::size_t(c)]) << ' ';
        out << "\n</DataArray>\n";
    }
    out << (poly ? "</Polys>\n" : "</Cells>\n") << "</Piece>\n</" << type << ">\n</VTKFile>\n";
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

void writeParallelFile(const fs::path& file, const MeshBlock& b, const std::vector<std::string>& pieces, bool ghost,
                       bool globalIds) {
    const bool poly = b.kind != BlockKind::Volume;
    const char* type = poly ? "PPolyData" : "PUnstructuredGrid";
    std::ofstream out(file);
    out << "<?xml version=\"1.0\"?>\n<VTKFile type=\"" << type << "\" version=\"1.0\" byte_order=\"LittleEndian\">\n<"
        << type << " GhostLevel=\"" << (ghost && !poly ? 1 : 0) << "\">\n<PPointData>\n";
    for (const FieldArray& f : b.pointData)
        out << "<PDataArray type=\"" << typeName(f.values) << "\" Name=\"" << f.name << "\" NumberOfComponents=\""
            << f.components << "\"/>\n";
    if (globalIds) out << "<PDataArray type=\"Int64\" Name=\"GlobalNodeIds\"/>\n";
    out << "</PPointData>\n<PCellData>\n";
    for (const FieldArray& f : b.cellData)
        out << "<PDataArray type=\"" << typeName(f.values) << "\" Name=\"" << f.name << "\" NumberOfComponents=\""
            << f.components << "\"/>\n";
    if (ghost && !poly) out << "<PDataArray type=\"UInt8\" Name=\"vtkGhostType\"/>\n";
    out << "</PCellData>\n<PPoints>\n<PDataArray type=\"" << typeName(b.points)
        << "\" NumberOfComponents=\"3\"/>\n</PPoints>\n";
    for (const std::string& p : pieces) out << "<Piece Source=\"" << p << "\"/>\n";
    out << "</" << type << ">\n</VTKFile>\n";
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional;
    bool ghost = false, globalIds = false, demo = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--ghost")
            ghost = true;
        else if (a == "--global-ids")
            globalIds = true;
        else if (a == "--demo" && positional.empty())
            demo = true;
        else
            positional.push_back(a);
    }
    if (positional.size() != (demo ? 2u : 3u)) {
        std::cerr << "usage: split_case CASE N OUTDIR [--ghost] [--global-ids]\n"
                     "       split_case --demo N OUTDIR [--ghost] [--global-ids]\n";
        return 2;
    }
    if (demo) positional.insert(positional.begin(), "demo.vtm");
    try {
        const fs::path input = positional[0];
        const int parts = std::stoi(positional[1]);
        const fs::path outDir = positional[2];
        if (parts < 1) throw std::runtime_error("N must be at least 1");
        const CaseData data = demo ? makeDemoCase() : readCase(input);
        fs::create_directories(outDir);

        // The piece of every volume cell, and where each volume point is.
        std::vector<std::vector<int>> pieceOf(data.blocks.size());
        std::unordered_map<Key, std::pair<std::size_t, std::int64_t>, KeyHash> volumePoint;
        std::vector<std::vector<std::int64_t>> pointCellsStart(data.blocks.size()), pointCells(data.blocks.size());
        for (std::size_t bi = 0; bi < data.blocks.size(); ++bi) {
            const MeshBlock& b = data.blocks[bi];
            if (!b.isVolume()) continue;
            std::vector<Centre> centres(b.numCells());
            for (std::size_t c = 0; c < b.numCells(); ++c) {
                Centre m{{0, 0, 0}};
                const auto pts = b.cells.cellPoints(c);
                for (std::int64_t p : pts)
                    for (std::size_t a = 0; a < 3; ++a) m.c[a] += b.points[3 * std::size_t(p) + a] / double(pts.size());
                centres[c] = m;
            }
            std::vector<std::int64_t> ids(b.numCells());
            std::iota(ids.begin(), ids.end(), 0);
            pieceOf[bi].assign(b.numCells(), 0);
            bisect(ids.begin(), ids.end(), parts, 0, centres, pieceOf[bi]);
            for (std::size_t p = 0; p < b.numPoints(); ++p) volumePoint.try_emplace(keyOf(b, p), bi, std::int64_t(p));
            // Point -> cells, for the patch faces' owners and the ghost layer.
            auto& start = pointCellsStart[bi];
            auto& list = pointCells[bi];
            start.assign(b.numPoints() + 1, 0);
            for (std::int64_t p : b.cells.connectivity) ++start[std::size_t(p) + 1];
            for (std::size_t p = 0; p < b.numPoints(); ++p) start[p + 1] += start[p];
            list.resize(b.cells.connectivity.size());
            std::vector<std::int64_t> fill(start.begin(), start.end() - 1);
            for (std::size_t c = 0; c < b.numCells(); ++c)
                for (std::int64_t p : b.cells.cellPoints(c))
                    list[std::size_t(fill[std::size_t(p)]++)] = std::int64_t(c);
        }

        struct Written {
            std::string path, file;
        };
        std::vector<Written> written;
        for (std::size_t bi = 0; bi < data.blocks.size(); ++bi) {
            const MeshBlock& b = data.blocks[bi];
            std::vector<int> piece(b.numCells(), 0);
            if (b.isVolume()) {
                piece = pieceOf[bi];
            } else {
                for (std::size_t c = 0; c < b.numCells(); ++c) {
                    const auto pts = b.cells.cellPoints(c);
                    if (pts.empty()) continue;
                    const auto first = volumePoint.find(keyOf(b, std::size_t(pts[0])));
                    if (first == volumePoint.end()) continue;
                    const auto [vb, vp] = first->second;
                    const MeshBlock& v = data.blocks[vb];
                    std::vector<std::int64_t> mine;
                    for (std::int64_t p : pts) {
                        const auto it = volumePoint.find(keyOf(b, std::size_t(p)));
                        mine.push_back(it == volumePoint.end() ? -1 : it->second.second);
                    }
                    for (auto i = pointCellsStart[vb][std::size_t(vp)]; i < pointCellsStart[vb][std::size_t(vp) + 1];
                         ++i) {
                        const std::int64_t cell = pointCells[vb][std::size_t(i)];
                        const auto cp = v.cells.cellPoints(std::size_t(cell));
                        if (std::all_of(mine.begin(), mine.end(), [&](std::int64_t p) {
                                return std::find(cp.begin(), cp.end(), p) != cp.end();
                            })) {
                            piece[c] = pieceOf[vb][std::size_t(cell)];
                            break;
                        }
                    }
                }
            }
            const std::string stem = b.path.empty() ? b.name : b.path;
            std::string flat = stem;
            std::replace(flat.begin(), flat.end(), '/', '_');
            const fs::path folder = outDir / flat;
            fs::create_directories(folder);
            std::vector<std::string> sources;
            for (int p = 0; p < parts; ++p) {
                std::vector<std::int64_t> cells;
                std::vector<char> flags;
                for (std::size_t c = 0; c < b.numCells(); ++c)
                    if (piece[c] == p) cells.push_back(std::int64_t(c));
                flags.assign(cells.size(), 0);
                if (ghost && b.isVolume()) {
                    std::vector<char> taken(b.numCells(), 0);
                    for (std::int64_t c : cells) taken[std::size_t(c)] = 1;
                    const std::size_t own = cells.size();
                    for (std::size_t k = 0; k < own; ++k)
                        for (std::int64_t pt : b.cells.cellPoints(std::size_t(cells[k])))
                            for (auto i = pointCellsStart[bi][std::size_t(pt)];
                                 i < pointCellsStart[bi][std::size_t(pt) + 1]; ++i) {
                                const std::int64_t n = pointCells[bi][std::size_t(i)];
                                if (taken[std::size_t(n)] == 0) {
                                    taken[std::size_t(n)] = 1;
                                    cells.push_back(n);
                                    flags.push_back(1);
                                }
                            }
                }
                const std::string name = flat + "_" + std::to_string(p) + (b.isVolume() ? ".vtu" : ".vtp");
                writePiece(folder / name, b, cells, ghost && b.isVolume() ? &flags : nullptr, globalIds);
                sources.push_back(flat + "/" + name);
            }
            const std::string file = flat + (b.isVolume() ? ".pvtu" : ".pvtp");
            writeParallelFile(outDir / file, b, sources, ghost, globalIds);
            written.push_back({stem, file});
        }
        if (data.blocks.size() == 1) {
            // A single dataset: the .pvtu is the case, named as the input.
            const fs::path target = outDir / (input.stem().string() + (data.blocks[0].isVolume() ? ".pvtu" : ".pvtp"));
            if (fs::path(outDir / written[0].file) != target) fs::rename(outDir / written[0].file, target);
            return 0;
        }
        // The groups of the case as nested blocks.
        std::ofstream vtm(outDir / input.filename());
        vtm << "<?xml version=\"1.0\"?>\n<VTKFile type=\"vtkMultiBlockDataSet\" "
               "version=\"1.0\">\n<vtkMultiBlockDataSet>\n";
        std::vector<std::string> open;
        for (const Written& w : written) {
            std::vector<std::string> parts2;
            std::size_t start = 0;
            for (std::size_t slash; (slash = w.path.find('/', start)) != std::string::npos; start = slash + 1)
                parts2.push_back(w.path.substr(start, slash - start));
            const std::string leaf = w.path.substr(start);
            std::size_t common = 0;
            while (common < open.size() && common < parts2.size() && open[common] == parts2[common]) ++common;
            while (open.size() > common) {
                vtm << "</Block>\n";
                open.pop_back();
            }
            for (std::size_t i = common; i < parts2.size(); ++i) {
                vtm << "<Block name=\"" << parts2[i] << "\">\n";
                open.push_back(parts2[i]);
            }
            vtm << "<DataSet name=\"" << leaf << "\" file=\"" << w.file << "\"/>\n";
        }
        while (!open.empty()) {
            vtm << "</Block>\n";
            open.pop_back();
        }
        vtm << "</vtkMultiBlockDataSet>\n</VTKFile>\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "split_case: " << e.what() << "\n";
        return 1;
    }
}
