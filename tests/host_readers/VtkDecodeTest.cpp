// Byte-level decoding shared by the readers, and the operations on CaseData blocks.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <functional>
#include <numeric>
#include <random>

#include "framework/core/Error.h"
#include "host/readers/CaseData.h"
#include "host/readers/VtkDecode.h"

namespace zel::host {
namespace {

using vtkio::Base64Reader;
using vtkio::DecodeFault;
using vtkio::ScalarType;

std::string decoded(std::string_view text, std::size_t n) {
    Base64Reader r(text);
    std::vector<unsigned char> out;
    r.read(n, out);
    return std::string(out.begin(), out.end());
}

// The fault that `run` throws (a failure when it throws none).
DecodeFault faultOf(const std::function<void()>& run) {
    try {
        run();
    } catch (const DecodeFault& f) {
        return f;
    }
    ADD_FAILURE() << "no fault";
    return DecodeFault("no fault", std::string::npos);
}

std::size_t faultPosition(std::string_view text, std::size_t n) {
    return faultOf([&] { decoded(text, n); }).position;
}

TEST(VtkDecode, Base64GroupsWhitespaceAndSeparatelyPaddedRuns) {
    EXPECT_EQ(decoded("QUJD", 3), "ABC");
    EXPECT_EQ(decoded(" QU\nJD ", 3), "ABC");
    EXPECT_EQ(decoded("QUI=", 2), "AB");
    // Two runs encoded apart, as VTK writes a compression header and its data.
    EXPECT_EQ(decoded("QQ==QkM=", 3), "ABC");
    // Reading in pieces that split groups.
    Base64Reader r("QUJDREVG");
    std::vector<unsigned char> out;
    r.read(2, out);
    r.read(3, out);
    r.read(1, out);
    EXPECT_EQ(std::string(out.begin(), out.end()), "ABCDEF");

    EXPECT_EQ(faultPosition("QU*D", 3), 2u);
    EXPECT_EQ(faultPosition("Q===", 1), 0u);
    EXPECT_EQ(faultPosition("QUJ", 3), 0u);  // ends inside a group
    EXPECT_EQ(faultPosition("QUJD", 4), 4u); // ends before the bytes asked for
    EXPECT_EQ(faultPosition("QU=D", 2), 0u); // padding followed by a symbol
}

// The textbook encoder, one byte at a time: the twin of the table-driven decoder.
std::string encode(const std::vector<unsigned char>& bytes) {
    static const char* abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const unsigned v = unsigned(bytes[i]) << 16 | (i + 1 < bytes.size() ? unsigned(bytes[i + 1]) << 8 : 0u) |
                           (i + 2 < bytes.size() ? unsigned(bytes[i + 2]) : 0u);
        out += abc[(v >> 18) & 63];
        out += abc[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? abc[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? abc[v & 63] : '=';
    }
    return out;
}

TEST(VtkDecode, Base64OfRandomBytesInRandomPiecesWithWhitespaceAndRuns) {
    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
        // Two separately padded runs, whitespace at random places, read in random pieces.
        std::vector<unsigned char> a(rng() % 3000), b(rng() % 50);
        for (auto& c : a) c = static_cast<unsigned char>(rng());
        for (auto& c : b) c = static_cast<unsigned char>(rng());
        std::string text = encode(a) + encode(b);
        for (int k = round % 4; k > 0; --k) text.insert(rng() % (text.size() + 1), k % 2 ? "\n" : "  \t");
        std::vector<unsigned char> expected = a;
        expected.insert(expected.end(), b.begin(), b.end());
        Base64Reader r(text);
        std::vector<unsigned char> got;
        while (got.size() < expected.size())
            r.read(std::min<std::size_t>(expected.size() - got.size(), rng() % 700), got);
        ASSERT_EQ(got, expected) << "round " << round;
    }
    // A bad character far into a run of plain groups is found where it is, and the bytes
    // read before a fault are not kept.
    std::vector<unsigned char> bytes(3000, 0x5a);
    std::string text = encode(bytes);
    text[2001] = '*';
    EXPECT_EQ(faultPosition(text, bytes.size()), 2001u);
    Base64Reader r(text);
    std::vector<unsigned char> out{1, 2};
    EXPECT_THROW(r.read(bytes.size(), out), DecodeFault);
    EXPECT_EQ(out, (std::vector<unsigned char>{1, 2}));
}

TEST(VtkDecode, ArraysDecodeStraightIntoTheirDestination) {
    // Int64 values 0..9999 as raw bytes, a zlib stream of two blocks and its base64 text.
    std::vector<std::int64_t> values(10000);
    std::iota(values.begin(), values.end(), 0);
    const auto* data = reinterpret_cast<const unsigned char*>(values.data());
    const std::size_t total = values.size() * 8, block = 65536;
    std::vector<std::uint32_t> head{2, std::uint32_t(block), std::uint32_t(total - block)};
    std::vector<unsigned char> packed;
    for (std::size_t at = 0; at < total; at += block) {
        const std::size_t n = std::min(block, total - at);
        uLongf size = compressBound(uLong(n));
        std::vector<unsigned char> out(size);
        ASSERT_EQ(compress(out.data(), &size, data + at, uLong(n)), Z_OK);
        head.push_back(std::uint32_t(size));
        packed.insert(packed.end(), out.begin(), out.begin() + std::ptrdiff_t(size));
    }
    std::vector<unsigned char> stream(reinterpret_cast<const unsigned char*>(head.data()),
                                      reinterpret_cast<const unsigned char*>(head.data() + head.size()));
    stream.insert(stream.end(), packed.begin(), packed.end());
    vtkio::BinaryLayout l;
    l.compressed = true;
    const std::string text = encode(std::vector<unsigned char>(stream.begin(), stream.begin() + 20)) +
                             encode(std::vector<unsigned char>(stream.begin() + 20, stream.end()));
    for (int base64 = 0; base64 < 2; ++base64) {
        auto source = base64 ? vtkio::ByteSource::base64(text) : vtkio::ByteSource::raw(stream);
        std::vector<std::int64_t> out;
        vtkio::readBinaryArrayInto(source, l, ScalarType::Int64, total, out);
        EXPECT_EQ(out, values) << (base64 ? "base64" : "raw");
    }
    // A block that does not inflate names itself.
    stream[stream.size() - 5] ^= 0xff;
    auto broken = vtkio::ByteSource::raw(stream);
    std::vector<std::int64_t> out;
    const std::string what =
        faultOf([&] { vtkio::readBinaryArrayInto(broken, l, ScalarType::Int64, total, out); }).what();
    EXPECT_NE(what.find("zlib block 2 of 2"), std::string::npos) << what;
}

TEST(VtkDecode, NumbersOfEveryType) {
    unsigned char buf[8];
    auto asDouble = [&](ScalarType t, std::string_view token) {
        if (!vtkio::parseNumber(token, t, buf)) return -999.0;
        vtkio::TypedData d;
        d.type = t;
        d.bytes.assign(buf, buf + vtkio::scalarSize(t));
        return vtkio::toRealArray(d)[0];
    };
    EXPECT_EQ(asDouble(ScalarType::Int8, "-128"), -128.0);
    EXPECT_EQ(asDouble(ScalarType::Int8, "128"), -999.0);
    EXPECT_EQ(asDouble(ScalarType::UInt8, "-1"), -999.0);
    EXPECT_EQ(asDouble(ScalarType::Int32, "3.0"), 3.0); // integers written as reals
    EXPECT_EQ(asDouble(ScalarType::Int32, "3.5"), -999.0);
    EXPECT_EQ(asDouble(ScalarType::UInt16, "+7"), 7.0);
    EXPECT_EQ(asDouble(ScalarType::Int64, "-9007199254740992"), -9007199254740992.0);
    EXPECT_EQ(asDouble(ScalarType::Float64, "1e-310"), 1e-310); // a denormal
    EXPECT_EQ(asDouble(ScalarType::Float32, "1e-45"), double(std::numeric_limits<float>::denorm_min()));
    EXPECT_EQ(asDouble(ScalarType::Float32, "0.1"), double(0.1f));
    EXPECT_EQ(asDouble(ScalarType::Float64, "1.0x"), -999.0);
    EXPECT_EQ(asDouble(ScalarType::Float64, ""), -999.0);

    const auto list = vtkio::parseAsciiList(" 1 2\n 3\t4 ", ScalarType::Int16);
    EXPECT_EQ(list.count(), 4u);
    EXPECT_EQ(faultOf([] { vtkio::parseAsciiList("1 2 x3", ScalarType::Float32); }).position, 4u);
    EXPECT_THROW(vtkio::toInt64(vtkio::parseAsciiList("1.5", ScalarType::Float32)), DecodeFault);
}

TEST(VtkDecode, CorruptHeadersFailBeforeAllocating) {
    // A size header of 2^32-4 bytes with 8 bytes behind it; a compression header that claims
    // 2^31 blocks; a size that is not a whole number of values.
    const struct {
        bool compressed;
        std::vector<unsigned char> bytes;
    } corrupt[] = {{false, {0xfc, 0xff, 0xff, 0xff, 1, 2, 3, 4, 5, 6, 7, 8}},
                   {true, {0, 0, 0, 0x80, 0, 1, 0, 0, 0, 0, 0, 0, 9, 9, 9, 9}},
                   {false, {3, 0, 0, 0, 1, 2, 3}}};
    vtkio::BinaryLayout l;
    for (const auto& c : corrupt) {
        l.compressed = c.compressed;
        auto raw = vtkio::ByteSource::raw(c.bytes);
        EXPECT_THROW(vtkio::readBinaryArray(raw, l, ScalarType::Float32, std::nullopt), DecodeFault)
            << c.bytes.size() << " bytes";
    }
    // Byte order: a big-endian UInt64 header and Int16 data.
    l.header64 = true;
    l.swap = vtkio::hostIsLittleEndian();
    const unsigned char be[] = {0, 0, 0, 0, 0, 0, 0, 4, 0x01, 0x02, 0xff, 0xfe};
    auto raw4 = vtkio::ByteSource::raw(be);
    const auto data = vtkio::readBinaryArray(raw4, l, ScalarType::Int16, 4);
    EXPECT_EQ(vtkio::toInt64(data), (std::vector<std::int64_t>{0x0102, -2}));
}

TEST(CaseDataBlocks, PiecesAppendWithShiftedIndicesAndPolyhedronFaces) {
    auto tetra = [](bool polyhedron) {
        MeshBlock b;
        b.sourceFile = "t.vtu";
        b.points = RealArray(std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1});
        b.cells.types = {std::uint8_t(polyhedron ? VtkPolyhedron : VtkTetra)};
        b.cells.connectivity = {0, 1, 2, 3};
        b.cells.offsets = {0, 4};
        if (polyhedron) {
            b.cells.faces = {4, 3, 0, 2, 1, 3, 0, 1, 3, 3, 1, 2, 3, 3, 2, 0, 3};
            b.cells.faceOffsets = {0, 17};
        }
        b.pointData.push_back({"p", 1, RealArray(std::vector<float>{1, 2, 3, 4})});
        b.cellData.push_back({"c", 1, RealArray(std::vector<double>{7})});
        return b;
    };
    MeshBlock a = tetra(false);
    appendPiece(a, tetra(true));
    validateBlock(a);
    EXPECT_EQ(a.numPoints(), 8u);
    EXPECT_EQ(a.cells.connectivity, (std::vector<std::int64_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(a.cells.faceOffsets, (std::vector<std::int64_t>{0, 0, 17}));
    EXPECT_EQ(a.cells.faces, (std::vector<std::int64_t>{4, 3, 4, 6, 5, 3, 4, 5, 7, 3, 5, 6, 7, 3, 6, 4, 7}));
    EXPECT_TRUE(a.findCellData("c")->values.isDouble());
    EXPECT_EQ(a.findPointData("p")->values.toDouble(), (std::vector<double>{1, 2, 3, 4, 1, 2, 3, 4}));

    MeshBlock other = tetra(false);
    other.pointData[0].name = "q";
    EXPECT_THROW(appendPiece(a, std::move(other)), zel::data::invalid);

    // A face list that points outside the points.
    MeshBlock bad = tetra(true);
    bad.cells.faces[2] = 9;
    EXPECT_THROW(validateBlock(bad), zel::data::invalid);
}

TEST(CaseDataBlocks, StripsSplitKeepingVectorCellDataAndPolyhedra) {
    MeshBlock b;
    b.points = RealArray(std::vector<double>(3 * 5, 0.0));
    b.cells.types = {VtkTriangleStrip, VtkPolyhedron};
    b.cells.connectivity = {0, 1, 2, 3, 0, 1, 2, 4};
    b.cells.offsets = {0, 4, 8};
    b.cells.faces = {4, 3, 0, 2, 1, 3, 0, 1, 4, 3, 1, 2, 4, 3, 2, 0, 4};
    b.cells.faceOffsets = {0, 0, 17};
    b.cellData.push_back({"v", 2, RealArray(std::vector<float>{1, 2, 3, 4})});
    validateBlock(b);
    normalizeCells(b);
    validateBlock(b);
    EXPECT_EQ(b.cells.types, (std::vector<std::uint8_t>{VtkTriangle, VtkTriangle, VtkPolyhedron}));
    EXPECT_EQ(b.cells.connectivity, (std::vector<std::int64_t>{0, 1, 2, 2, 1, 3, 0, 1, 2, 4}));
    EXPECT_EQ(b.cells.faceOffsets, (std::vector<std::int64_t>{0, 0, 0, 17}));
    EXPECT_EQ(b.cellData[0].values.toDouble(), (std::vector<double>{1, 2, 1, 2, 3, 4}));
}

} // namespace
} // namespace zel::host
