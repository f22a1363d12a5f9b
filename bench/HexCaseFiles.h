#pragma once
// The case of the loading benchmarks: 1,000,000 hexahedra of the unit cube (101^3 points)
// with a scalar and a vector point field and a scalar cell field, written once per encoding
// into the temporary folder (writeVtu returns the file).
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zel::bench {

constexpr int kCells = 100; // per direction
constexpr int kPts = kCells + 1;

struct Mesh {
    std::vector<float> points, p, u, cellT;
    std::vector<std::int64_t> connectivity, offsets;
    std::vector<std::uint8_t> types;
};

inline const Mesh& mesh() {
    static const Mesh m = [] {
        Mesh m;
        auto id = [](int i, int j, int k) { return std::int64_t(i + kPts * (j + kPts * k)); };
        for (int k = 0; k < kPts; ++k)
            for (int j = 0; j < kPts; ++j)
                for (int i = 0; i < kPts; ++i) {
                    const float x = float(i) / kCells, y = float(j) / kCells, z = float(k) / kCells;
                    m.points.insert(m.points.end(), {x, y, z});
                    m.p.push_back(1 + 2 * x + 3 * y - z);
                    m.u.insert(m.u.end(), {y, -x, 0.5f * z});
                }
        for (int k = 0; k < kCells; ++k)
            for (int j = 0; j < kCells; ++j)
                for (int i = 0; i < kCells; ++i) {
                    m.connectivity.insert(m.connectivity.end(), {id(i, j, k), id(i + 1, j, k), id(i + 1, j + 1, k),
                                                                 id(i, j + 1, k), id(i, j, k + 1), id(i + 1, j, k + 1),
                                                                 id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)});
                    m.offsets.push_back(std::int64_t(m.connectivity.size()));
                    m.types.push_back(12);
                    m.cellT.push_back(float(i + j + k));
                }
        return m;
    }();
    return m;
}

inline std::string base64(const unsigned char* data, std::size_t n) {
    static const char* abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((n + 2) / 3 * 4);
    for (std::size_t i = 0; i < n; i += 3) {
        const unsigned v = unsigned(data[i]) << 16 | (i + 1 < n ? unsigned(data[i + 1]) << 8 : 0u) |
                           (i + 2 < n ? unsigned(data[i + 2]) : 0u);
        out += abc[(v >> 18) & 63];
        out += abc[(v >> 12) & 63];
        out += i + 1 < n ? abc[(v >> 6) & 63] : '=';
        out += i + 2 < n ? abc[v & 63] : '=';
    }
    return out;
}

template <typename T> inline std::string bytesOf(const std::vector<T>& v) {
    return std::string(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(T));
}

// One array's binary stream: UInt64 size header + data, or the zlib blocks of 32 KiB with their header.
inline std::string stream(const std::string& data, bool compress) {
    std::vector<std::uint64_t> head;
    std::string body;
    if (!compress) {
        head = {data.size()};
        body = data;
    } else {
        const std::size_t block = 32768;
        const std::size_t n = (data.size() + block - 1) / block;
        head = {n, block, data.size() % block};
        for (std::size_t b = 0; b < n; ++b) {
            const std::size_t len = std::min(block, data.size() - b * block);
            uLongf out = compressBound(uLong(len));
            std::string packed(out, '\0');
            compress2(reinterpret_cast<Bytef*>(packed.data()), &out,
                      reinterpret_cast<const Bytef*>(data.data() + b * block), uLong(len), 1);
            packed.resize(out);
            head.push_back(out);
            body += packed;
        }
    }
    return bytesOf(head) + body;
}

// The encodings of the benchmarks: appended raw bytes, appended base64, inline base64 with
// zlib blocks (what foamToVTK and ParaView write by default), ascii.
enum class Encoding { AppendedRaw, InlineBase64Zlib, Ascii, AppendedBase64 };

inline std::filesystem::path writeVtu(Encoding enc) {
    const char* names[] = {"appended_raw", "inline_zlib", "ascii", "appended_base64"};
    const auto file = std::filesystem::temp_directory_path() / "zel_bench_host_readers" /
                      (std::string("hex1m_") + names[int(enc)] + ".vtu");
    if (std::filesystem::exists(file)) return file;
    std::filesystem::create_directories(file.parent_path());
    const Mesh& m = mesh();
    std::ofstream out(file, std::ios::binary);
    out << "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" byte_order=\"LittleEndian\""
           " header_type=\"UInt64\""
        << (enc == Encoding::InlineBase64Zlib ? " compressor=\"vtkZLibDataCompressor\"" : "")
        << ">\n<UnstructuredGrid>\n"
        << "<Piece NumberOfPoints=\"" << m.p.size() << "\" NumberOfCells=\"" << m.types.size() << "\">\n";
    std::string appended;
    auto array = [&](const char* section, const char* type, const char* name, int comps, const std::string& data,
                     const std::string& text) {
        (void)section;
        out << "<DataArray type=\"" << type << "\" Name=\"" << name << "\" NumberOfComponents=\"" << comps << "\"";
        if (enc == Encoding::AppendedRaw) {
            out << " format=\"appended\" offset=\"" << appended.size() << "\"/>\n";
            appended += stream(data, false);
        } else if (enc == Encoding::AppendedBase64) {
            // Header and data encoded apart, as VTK's writer does.
            out << " format=\"appended\" offset=\"" << appended.size() << "\"/>\n";
            const std::string s = stream(data, false);
            appended += base64(reinterpret_cast<const unsigned char*>(s.data()), 8);
            appended += base64(reinterpret_cast<const unsigned char*>(s.data()) + 8, s.size() - 8);
        } else if (enc == Encoding::InlineBase64Zlib) {
            const std::string s = stream(data, true);
            const std::size_t headBytes = (3 + reinterpret_cast<const std::uint64_t*>(s.data())[0]) * 8;
            out << " format=\"binary\">\n"
                << base64(reinterpret_cast<const unsigned char*>(s.data()), headBytes)
                << base64(reinterpret_cast<const unsigned char*>(s.data()) + headBytes, s.size() - headBytes)
                << "\n</DataArray>\n";
        } else {
            out << " format=\"ascii\">\n" << text << "\n</DataArray>\n";
        }
    };
    auto ascii = [&](const auto& v) {
        std::string s;
        if (enc != Encoding::Ascii) return s;
        for (const auto& x : v) {
            s += std::to_string(+x);
            s += ' ';
        }
        return s;
    };
    out << "<Points>\n";
    array("Points", "Float32", "Points", 3, bytesOf(m.points), ascii(m.points));
    out << "</Points>\n<Cells>\n";
    array("Cells", "Int64", "connectivity", 1, bytesOf(m.connectivity), ascii(m.connectivity));
    array("Cells", "Int64", "offsets", 1, bytesOf(m.offsets), ascii(m.offsets));
    array("Cells", "UInt8", "types", 1, bytesOf(m.types), ascii(m.types));
    out << "</Cells>\n<PointData>\n";
    array("PointData", "Float32", "p", 1, bytesOf(m.p), ascii(m.p));
    array("PointData", "Float32", "U", 3, bytesOf(m.u), ascii(m.u));
    out << "</PointData>\n<CellData>\n";
    array("CellData", "Float32", "T", 1, bytesOf(m.cellT), ascii(m.cellT));
    out << "</CellData>\n</Piece>\n</UnstructuredGrid>\n";
    if (enc == Encoding::AppendedRaw) out << "<AppendedData encoding=\"raw\">\n_" << appended << "\n</AppendedData>\n";
    if (enc == Encoding::AppendedBase64)
        out << "<AppendedData encoding=\"base64\">\n_" << appended << "\n</AppendedData>\n";
    out << "</VTKFile>\n";
    return file;
}

} // namespace zel::bench
