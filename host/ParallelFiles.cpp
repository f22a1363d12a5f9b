#include "host/ParallelFiles.h"

#include <fstream>
#include <map>
#include <stdexcept>

namespace zel::host {

namespace fs = std::filesystem;

namespace {

struct PointArray {
    std::string name; // as the piece spells it (XML-escaped)
    std::string components;
};

std::string attribute(const std::string& line, const std::string& key) {
    const std::string open = key + "=\"";
    const std::size_t at = line.find(open);
    if (at == std::string::npos) return {};
    const std::size_t begin = at + open.size(), end = line.find('"', begin);
    return end == std::string::npos ? std::string() : line.substr(begin, end - begin);
}

// The point arrays of a piece that ViewerInterface::writeVTP wrote: the DataArray lines
// between <PointData> and </PointData>.
std::vector<PointArray> pointArraysOf(const fs::path& piece) {
    std::ifstream in(piece);
    if (!in) throw std::runtime_error("cannot read the piece " + piece.string());
    std::vector<PointArray> arrays;
    bool inPointData = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("<PointData", 0) == 0) {
            inPointData = true;
        } else if (line.rfind("</PointData>", 0) == 0) {
            return arrays;
        } else if (inPointData && line.rfind("<DataArray", 0) == 0) {
            arrays.push_back({attribute(line, "Name"), attribute(line, "NumberOfComponents")});
        }
    }
    throw std::runtime_error("the piece " + piece.string() + " has no PointData section");
}

} // namespace

fs::path pieceFolder(const fs::path& folder, int rank) { return folder / ("piece" + std::to_string(rank)); }

std::vector<std::string> writeParallelIndex(const fs::path& folder, int ranks) {
    // name -> the ranks that wrote a piece of it, in rank order
    std::map<std::string, std::vector<int>> pieces;
    for (int r = 0; r < ranks; ++r) {
        const fs::path dir = pieceFolder(folder, r);
        std::error_code ec;
        if (!fs::is_directory(dir, ec)) continue;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file() && entry.path().extension() == ".vtp")
                pieces[entry.path().filename().string()].push_back(r);
    }
    std::vector<std::string> written;
    for (const auto& [name, holders] : pieces) {
        const std::vector<PointArray> arrays = pointArraysOf(pieceFolder(folder, holders.front()) / name);
        const fs::path file = folder / (fs::path(name).stem().string() + ".pvtp");
        std::ofstream out(file, std::ios::out | std::ios::trunc);
        if (!out) throw std::runtime_error("cannot write " + file.string());
        out << "<?xml version=\"1.0\"?>\n<VTKFile type=\"PPolyData\" version=\"1.0\" byte_order=\"LittleEndian\">\n"
            << "<PPolyData GhostLevel=\"0\">\n<PPointData>\n";
        for (const PointArray& a : arrays)
            out << "<PDataArray type=\"Float32\" Name=\"" << a.name << "\" NumberOfComponents=\"" << a.components
                << "\"/>\n";
        out << "</PPointData>\n<PPoints>\n<PDataArray type=\"Float32\" NumberOfComponents=\"3\"/>\n</PPoints>\n";
        for (int r : holders) out << "<Piece Source=\"piece" << r << "/" << name << "\"/>\n";
        out << "</PPolyData>\n</VTKFile>\n";
        out.flush();
        if (!out) throw std::runtime_error("writing " + file.string() + " failed");
        written.push_back(file.string());
    }
    return written;
}

} // namespace zel::host
