// Byte-level decoding shared by the readers, and the operations on CaseData blocks.
#include <gtest/gtest.h>

#include <cstring>

#include "host/readers/CaseData.h"
#include "host/readers/VtkDecode.h"
#include "framework/core/Error.h"

namespace zel::host {
namespace {

using vtkio::Base64Reader;
using vtkio::DecodeFault;
using vtkio::ScalarType;

std::string decoded(std::string_view text, std::size_t n)
{
    Base64Reader r(text);
    std::vector<unsigned char> out;
    r.read(n, out);
    return std::string(out.begin(), out.end());
}

std::size_t faultPosition(std::string_view text, std::size_t n)
{
    try {
        decoded(text, n);
    } catch (const DecodeFault& f) {
        return f.position;
    }
    return std::string::npos;
}

TEST(VtkDecode, Base64GroupsWhitespaceAndSeparatelyPaddedRuns)
{
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
    EXPECT_EQ(faultPosition("QUJ", 3), 0u);       // ends inside a group
    EXPECT_EQ(faultPosition("QUJD", 4), 4u);      // ends before the bytes asked for
    EXPECT_EQ(faultPosition("QU=D", 2), 0u);      // padding followed by a symbol
}

TEST(VtkDecode, NumbersOfEveryType)
{
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
    EXPECT_EQ(asDouble(ScalarType::Int32, "3.0"), 3.0);  // integers written as reals
    EXPECT_EQ(asDouble(ScalarType::Int32, "3.5"), -999.0);
    EXPECT_EQ(asDouble(ScalarType::UInt16, "+7"), 7.0);
    EXPECT_EQ(asDouble(ScalarType::Int64, "-9007199254740992"), -9007199254740992.0);
    EXPECT_EQ(asDouble(ScalarType::Float64, "1e-310"), 1e-310);  // a denormal
    EXPECT_EQ(asDouble(ScalarType::Float32, "1e-45"), double(std::numeric_limits<float>::denorm_min()));
    EXPECT_EQ(asDouble(ScalarType::Float32, "0.1"), double(0.1f));
    EXPECT_EQ(asDouble(ScalarType::Float64, "1.0x"), -999.0);
    EXPECT_EQ(asDouble(ScalarType::Float64, ""), -999.0);

    const auto list = vtkio::parseAsciiList(" 1 2\n 3\t4 ", ScalarType::Int16);
    EXPECT_EQ(list.count(), 4u);
    try {
        vtkio::parseAsciiList("1 2 x3", ScalarType::Float32);
        ADD_FAILURE();
    } catch (const DecodeFault& f) {
        EXPECT_EQ(f.position, 4u);
    }
    EXPECT_THROW(vtkio::toInt64(vtkio::parseAsciiList("1.5", ScalarType::Float32)), DecodeFault);
}

TEST(VtkDecode, CorruptHeadersFailBeforeAllocating)
{
    vtkio::BinaryLayout l;
    // Uncompressed: a size header of 2^32-4 bytes with 8 bytes behind it.
    const unsigned char big[] = {0xfc, 0xff, 0xff, 0xff, 1, 2, 3, 4, 5, 6, 7, 8};
    auto raw = vtkio::ByteSource::raw(big);
    EXPECT_THROW(vtkio::readBinaryArray(raw, l, ScalarType::Float32, std::nullopt), DecodeFault);
    // Compressed: 2^31 blocks claimed.
    l.compressed = true;
    const unsigned char blocks[] = {0, 0, 0, 0x80, 0, 1, 0, 0, 0, 0, 0, 0, 9, 9, 9, 9};
    auto raw2 = vtkio::ByteSource::raw(blocks);
    EXPECT_THROW(vtkio::readBinaryArray(raw2, l, ScalarType::Float32, std::nullopt), DecodeFault);
    // A size that is not a whole number of values.
    l.compressed = false;
    const unsigned char odd[] = {3, 0, 0, 0, 1, 2, 3};
    auto raw3 = vtkio::ByteSource::raw(odd);
    EXPECT_THROW(vtkio::readBinaryArray(raw3, l, ScalarType::Float32, std::nullopt), DecodeFault);
    // Byte order: a big-endian UInt64 header and Int16 data.
    l.header64 = true;
    l.swap = vtkio::hostIsLittleEndian();
    const unsigned char be[] = {0, 0, 0, 0, 0, 0, 0, 4, 0x01, 0x02, 0xff, 0xfe};
    auto raw4 = vtkio::ByteSource::raw(be);
    const auto data = vtkio::readBinaryArray(raw4, l, ScalarType::Int16, 4);
    EXPECT_EQ(vtkio::toInt64(data), (std::vector<std::int64_t>{0x0102, -2}));
}

TEST(CaseDataBlocks, PiecesAppendWithShiftedIndicesAndPolyhedronFaces)
{
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

TEST(CaseDataBlocks, StripsSplitKeepingVectorCellDataAndPolyhedra)
{
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
