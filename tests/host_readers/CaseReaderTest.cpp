// The case readers on well-formed files: every encoding of the same small meshes gives the same
// points, cells and arrays (tests/data/vtk, written by make_vtk_files.py there; the vtk9_* files
// by VTK's own writers), multiblock files give their blocks, and the real foamToVTK export of
// the shared data loads with the counts VTK's reader reports.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "host/readers/CaseReader.h"
#include "host/readers/VtkLegacyReader.h"
#include "host/readers/VtkXmlReader.h"
#include "tests/host_readers/ReaderTestUtil.h"

namespace zel::host {
namespace {

using test::vtkDataDir;

// The "mixed" mesh of make_vtk_files.py: one cell of each volume type.
const std::vector<std::array<double, 3>> kMixedPoints = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0},       {0, 1, 0},
                                                         {0, 0, 1}, {1, 0, 1}, {1, 1, 1},       {0, 1, 1},
                                                         {2, 0, 0}, {2, 0, 1}, {0.5, 0.5, 1.5}, {1.5, 0.5, 1.5}};
const std::vector<std::uint8_t> kMixedTypes = {VtkHexahedron, VtkWedge, VtkPyramid, VtkTetra};
const std::vector<std::vector<std::int64_t>> kMixedCells = {
    {0, 1, 2, 3, 4, 5, 6, 7}, {1, 2, 8, 5, 6, 9}, {4, 5, 6, 7, 10}, {5, 6, 10, 11}};
const char* const kScalarTypes[] = {"Int8",   "UInt8", "Int16",  "UInt16",  "Int32",
                                    "UInt32", "Int64", "UInt64", "Float32", "Float64"};

double pressureAt(double x, double y, double z) { return 1 + 2 * x + 3 * y - z; }
std::array<double, 3> velocityAt(double x, double y, double z) { return {y, -x, 0.5 * z}; }

std::array<double, 3> pointOf(const MeshBlock& b, std::int64_t i) {
    return {b.points[std::size_t(3 * i)], b.points[std::size_t(3 * i + 1)], b.points[std::size_t(3 * i + 2)]};
}

// Checks a block against the mixed mesh through coordinates, so that a block whose points are
// numbered differently (pieces merged) passes too; `sameNumbering` also checks the indices.
// All values of the files are exact in single precision, hence exact comparisons.
void expectMixedMesh(const MeshBlock& b, bool sameNumbering, bool typedArrays) {
    EXPECT_EQ(b.kind, BlockKind::Volume);
    EXPECT_TRUE(b.isVolume());
    ASSERT_EQ(b.numCells(), 4u);
    EXPECT_EQ(b.cells.types, kMixedTypes);
    for (std::size_t c = 0; c < 4; ++c) {
        const auto pts = b.cells.cellPoints(c);
        ASSERT_EQ(pts.size(), kMixedCells[c].size()) << "cell " << c;
        for (std::size_t k = 0; k < pts.size(); ++k) {
            EXPECT_EQ(pointOf(b, pts[k]), kMixedPoints[std::size_t(kMixedCells[c][k])])
                << "cell " << c << " point " << k;
            if (sameNumbering) {
                EXPECT_EQ(pts[k], kMixedCells[c][k]);
            }
        }
    }
    if (sameNumbering) {
        EXPECT_EQ(b.numPoints(), 12u);
    }

    const FieldArray* p = b.findPointData("p");
    const FieldArray* u = b.findPointData("U");
    ASSERT_TRUE(p && u);
    ASSERT_EQ(p->components, 1);
    ASSERT_EQ(u->components, 3);
    ASSERT_EQ(p->tuples(), b.numPoints());
    ASSERT_EQ(u->tuples(), b.numPoints());
    for (std::size_t i = 0; i < b.numPoints(); ++i) {
        const auto [x, y, z] = pointOf(b, std::int64_t(i));
        EXPECT_EQ(p->value(i), pressureAt(x, y, z)) << "point " << i;
        const auto want = velocityAt(x, y, z);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(u->value(i, k), want[std::size_t(k)]) << "point " << i;
    }
    if (typedArrays) {
        for (const char* type : kScalarTypes) {
            const FieldArray* a = b.findPointData(std::string("t_") + type);
            ASSERT_TRUE(a) << type;
            ASSERT_EQ(a->tuples(), 12u) << type;
            const bool isUnsigned = type[0] == 'U';
            for (std::size_t i = 0; i < 12; ++i)
                EXPECT_EQ(a->value(i), isUnsigned ? double(i) : double(i) - 5.0) << type << " at " << i;
        }
    }
    const FieldArray* id = b.findCellData("cellId");
    const FieldArray* t = b.findCellData("T");
    ASSERT_TRUE(id && t);
    ASSERT_EQ(id->tuples(), 4u);
    ASSERT_EQ(t->tuples(), 4u);
    for (std::size_t c = 0; c < 4; ++c) {
        EXPECT_EQ(id->value(c), double(c));
        EXPECT_EQ(t->value(c), 300.25 + 10.0 * double(c));
    }
}

class MixedMeshFile : public ::testing::TestWithParam<const char*> {};

TEST_P(MixedMeshFile, GivesTheSameMeshAndData) {
    const std::string name = GetParam();
    const CaseData c = readCase(vtkDataDir() / name);
    ASSERT_EQ(c.blocks.size(), 1u);
    const MeshBlock& b = c.blocks[0];
    EXPECT_EQ(b.name, std::filesystem::path(name).stem().string());
    EXPECT_EQ(b.sourceFile, (vtkDataDir() / name).string());
    const bool pieces = name.find("pieces") != std::string::npos;
    expectMixedMesh(b, !pieces, !pieces);
    if (pieces) {
        // The two pieces each have the four points of their common face; as in foamToVTK's
        // parallel export, they are one again, so that the face is no boundary.
        EXPECT_EQ(b.numPoints(), 12u);
    }
    EXPECT_EQ(c.numVolumeBlocks(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Encodings, MixedMeshFile,
                         ::testing::Values(
                             // XML written by make_vtk_files.py
                             "mixed_ascii.vtu", "mixed_b64_u32.vtu", "mixed_b64_u64.vtu", "mixed_b64_u32_split.vtu",
                             "mixed_b64_u32_zlib.vtu", "mixed_b64_u64_zlib.vtu", "mixed_raw_u32.vtu",
                             "mixed_raw_u64_zlib.vtu", "mixed_app64_u32.vtu", "mixed_app64_u64_zlib.vtu",
                             "mixed_b64_u32_big.vtu", "mixed_raw_u64_zlib_big.vtu", "mixed_pieces_raw.vtu",
                             // legacy written by make_vtk_files.py: classic and version 5 cell layouts
                             "mixed_legacy_ascii.vtk", "mixed_legacy_binary.vtk", "mixed_legacy_ascii_51.vtk",
                             "mixed_legacy_binary_51.vtk",
                             // written by VTK 9.1's own writers
                             "vtk9_mixed_ascii.vtu", "vtk9_mixed_binary_u32.vtu", "vtk9_mixed_binary_u64_zlib.vtu",
                             "vtk9_mixed_appended_raw_u64.vtu", "vtk9_mixed_appended_raw_u32_zlib_big.vtu",
                             "vtk9_mixed_appended_b64_u32_zlib.vtu", "vtk9_mixed_legacy42_ascii.vtk",
                             "vtk9_mixed_legacy42_binary.vtk", "vtk9_mixed_legacy51_ascii.vtk",
                             "vtk9_mixed_legacy51_binary.vtk"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string n = info.param;
                             for (char& ch : n)
                                 if (ch == '.') ch = '_';
                             return n;
                         });

TEST(CaseReader, KeepsThePrecisionOfTheFileAndTheDatasetFieldData) {
    const MeshBlock d = readVtkXmlDataSet(vtkDataDir() / "mixed_b64_u32.vtu"); // Float64 points, Float32 p
    EXPECT_TRUE(d.points.isDouble());
    EXPECT_FALSE(d.findPointData("p")->values.isDouble());
    EXPECT_TRUE(d.findPointData("t_Int32")->values.isDouble());
    EXPECT_FALSE(d.findPointData("t_Int16")->values.isDouble()); // 16-bit values fit a float exactly
    const MeshBlock f = readVtkXmlDataSet(vtkDataDir() / "mixed_b64_u64.vtu");
    EXPECT_FALSE(f.points.isDouble());
    EXPECT_TRUE(f.findPointData("p")->values.isDouble());

    const CaseData legacy = readCase(vtkDataDir() / "mixed_legacy_binary_51.vtk");
    ASSERT_TRUE(legacy.time.has_value());
    EXPECT_EQ(*legacy.time, 0.5);
}

// The "patch" poly data: every cell kind, sections in any order in the file, strips split.
void expectPatch(const MeshBlock& b) {
    EXPECT_EQ(b.kind, BlockKind::Surface);
    ASSERT_EQ(b.numPoints(), 17u);
    EXPECT_EQ(b.cells.types, (std::vector<std::uint8_t>{VtkVertex, VtkLine, VtkPolyLine, VtkTriangle, VtkQuad,
                                                        VtkPolygon, VtkTriangle, VtkTriangle, VtkTriangle}));
    const std::vector<std::int64_t> conn = {9, 0, 1, 6, 7, 8, 0, 1, 4, 1, 2, 5, 4, 4, 5, 8, 11, 7,
                                            // strip 12 13 14 15 16: every other triangle reversed
                                            12, 13, 14, 14, 13, 15, 14, 15, 16};
    EXPECT_EQ(b.cells.connectivity, conn);
    EXPECT_EQ(b.cells.offsets, (std::vector<std::int64_t>{0, 1, 3, 6, 9, 13, 18, 21, 24, 27}));
    const FieldArray* id = b.findCellData("id");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->values.toDouble(), (std::vector<double>{0, 1, 2, 3, 4, 5, 6, 6, 6}));
    const FieldArray* h = b.findPointData("h");
    ASSERT_TRUE(h);
    for (std::size_t i = 0; i < b.numPoints(); ++i) EXPECT_EQ(h->value(i), b.points[3 * i] + 10 * b.points[3 * i + 1]);
}

TEST(CaseReader, PolyDataInEveryEncodingGivesTheSamePatch) {
    for (const char* name : {"patch_ascii.vtp", "patch_b64_u64_zlib.vtp", "patch_raw_u32.vtp", "patch_legacy_ascii.vtk",
                             "patch_legacy_binary.vtk", "patch_legacy_ascii_51.vtk", "patch_legacy_binary_51.vtk",
                             "vtk9_patch_appended_raw.vtp", "vtk9_patch_legacy51_binary.vtk"}) {
        SCOPED_TRACE(name);
        const CaseData c = readCase(vtkDataDir() / name);
        ASSERT_EQ(c.blocks.size(), 1u);
        expectPatch(c.blocks[0]);
        EXPECT_EQ(c.numVolumeBlocks(), 0u);
    }
}

TEST(CaseReader, FoamToVtkLayoutGivesTheVolumeThenThePatches) {
    std::vector<double> progress;
    ReadOptions options;
    options.progress = [&](double f) { progress.push_back(f); };
    const CaseData c = readCase(vtkDataDir() / "case_1.vtm", options);
    ASSERT_EQ(c.blocks.size(), 3u);
    EXPECT_EQ(c.blocks[0].name, "internal");
    EXPECT_EQ(c.blocks[0].path, "internal");
    EXPECT_EQ(c.blocks[1].name, "inlet");
    EXPECT_EQ(c.blocks[1].path, "boundary/inlet");
    EXPECT_EQ(c.blocks[2].path, "boundary/outlet");
    EXPECT_EQ(c.blocks[1].sourceFile, (vtkDataDir() / "case_1/boundary/inlet.vtp").string());
    ASSERT_TRUE(c.time.has_value());
    EXPECT_EQ(*c.time, 0.5);
    EXPECT_EQ(c.numVolumeBlocks(), 1u);
    expectMixedMesh(c.blocks[0], true, true);
    EXPECT_EQ(c.findBlock("outlet"), &c.blocks[2]);
    EXPECT_EQ(c.findBlock("boundary/inlet"), &c.blocks[1]);
    EXPECT_EQ(c.findBlock("nothing"), nullptr);
    for (std::size_t k = 1; k < 3; ++k) {
        const MeshBlock& patch = c.blocks[k];
        EXPECT_EQ(patch.kind, BlockKind::Surface);
        ASSERT_EQ(patch.numCells(), 1u);
        EXPECT_EQ(patch.cells.types[0], VtkQuad);
        // Patch values are the volume's values at the same places.
        const FieldArray* p = patch.findPointData("p");
        ASSERT_TRUE(p);
        for (std::size_t i = 0; i < patch.numPoints(); ++i) {
            const auto [x, y, z] = pointOf(patch, std::int64_t(i));
            EXPECT_EQ(p->value(i), pressureAt(x, y, z));
        }
        EXPECT_EQ(patch.findCellData("p")->tuples(), 1u);
    }
    // Progress rises to 1 and ends there.
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 1.0);
    for (std::size_t i = 1; i < progress.size(); ++i) EXPECT_GE(progress[i], progress[i - 1]);
}

TEST(CaseReader, ParaViewMultiblockWithNestedAndUnnamedBlocks) {
    const CaseData c = readVtkMultiBlock(vtkDataDir() / "vtk9_nested.vtm");
    ASSERT_EQ(c.blocks.size(), 3u); // the empty block is left out
    EXPECT_EQ(c.blocks[0].path, "fluid");
    expectMixedMesh(c.blocks[0], true, true);
    EXPECT_EQ(c.blocks[1].name, "vtk9_nested_1"); // unnamed: the file's name
    EXPECT_EQ(c.blocks[1].path, "walls/vtk9_nested_1");
    EXPECT_EQ(c.blocks[2].path, "walls/lid");
    expectPatch(c.blocks[1]);
    expectPatch(c.blocks[2]);
    EXPECT_FALSE(c.time.has_value());
}

TEST(CaseReader, MultiblockFilesNestAndMayReferenceLegacyFiles) {
    const auto dir = test::scratchDir();
    std::filesystem::create_directories(dir / "sub");
    std::filesystem::copy_file(vtkDataDir() / "mixed_raw_u32.vtu", dir / "sub" / "vol.vtu",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(vtkDataDir() / "patch_legacy_binary.vtk", dir / "sub" / "wall.vtk");
    test::writeText(dir / "sub" / "inner.vtm", R"(<?xml version="1.0"?>
<VTKFile type="vtkMultiBlockDataSet" version="1.0">
  <vtkMultiBlockDataSet>
    <Block index="0"><DataSet index="0" name="wall" file="wall.vtk"/></Block>
    <DataSet index="1" name="skipped"/>
  </vtkMultiBlockDataSet>
</VTKFile>
)");
    test::writeText(dir / "outer.vtm", R"(<?xml version="1.0"?>
<VTKFile type="vtkMultiBlockDataSet" version="1.0">
  <vtkMultiBlockDataSet>
    <DataSet name="vol" file="sub/vol.vtu"/>
    <DataSet name="walls" file="sub/inner.vtm"/>
  </vtkMultiBlockDataSet>
</VTKFile>
)");
    const CaseData c = readCase(dir / "outer.vtm");
    ASSERT_EQ(c.blocks.size(), 2u);
    EXPECT_EQ(c.blocks[0].path, "vol");
    EXPECT_EQ(c.blocks[1].path, "walls/block0/wall");
    expectMixedMesh(c.blocks[0], true, true);
    expectPatch(c.blocks[1]);
}

TEST(CaseReader, PixelsVoxelsAndPolyhedraInAnUnstructuredGrid) {
    // A voxel (axis-aligned, VTK's own point order), a pixel and a polyhedron (a tetrahedron given
    // by its faces), in ascii.
    const std::string vtu = R"(<VTKFile type="UnstructuredGrid" version="1.0" byte_order="LittleEndian">
<UnstructuredGrid><Piece NumberOfPoints="8" NumberOfCells="3">
<Points><DataArray type="Float32" NumberOfComponents="3" format="ascii">
0 0 0  1 0 0  0 1 0  1 1 0  0 0 1  1 0 1  0 1 1  1 1 1
</DataArray></Points>
<Cells>
<DataArray type="Int32" Name="connectivity" format="ascii">0 1 2 3 4 5 6 7  0 1 2 3  0 1 2 4</DataArray>
<DataArray type="Int32" Name="offsets" format="ascii">8 12 16</DataArray>
<DataArray type="UInt8" Name="types" format="ascii">11 8 42</DataArray>
<DataArray type="Int32" Name="faces" format="ascii">4  3 0 2 1  3 0 1 4  3 1 2 4  3 2 0 4</DataArray>
<DataArray type="Int32" Name="faceoffsets" format="ascii">-1 -1 17</DataArray>
</Cells>
</Piece></UnstructuredGrid></VTKFile>
)";
    const MeshBlock b = parseVtkXmlDataSet(vtu, "cells.vtu");
    EXPECT_EQ(b.cells.types, (std::vector<std::uint8_t>{VtkHexahedron, VtkQuad, VtkPolyhedron}));
    EXPECT_EQ(b.cells.connectivity, (std::vector<std::int64_t>{0, 1, 3, 2, 4, 5, 7, 6, 0, 1, 3, 2, 0, 1, 2, 4}));
    EXPECT_EQ(b.cells.faceOffsets, (std::vector<std::int64_t>{0, 0, 0, 17}));
    EXPECT_EQ(b.cells.faces.size(), 17u);
    EXPECT_EQ(b.kind, BlockKind::Volume);
    EXPECT_EQ(b.name, "cells");
}

TEST(CaseReader, EmptyPatchAsFoamToVtkWritesIt) {
    // A patch without faces: zero-length arrays with their size headers (UInt64 0).
    const std::string vtp = R"(<VTKFile type='PolyData' version='0.1' byte_order='LittleEndian' header_type='UInt64'>
  <PolyData>
    <Piece NumberOfPoints='0' NumberOfPolys='0'>
      <Points><DataArray type='Float32' Name='Points' NumberOfComponents='3' format='binary'>AAAAAAAAAAA=</DataArray></Points>
      <Polys>
        <DataArray type='Int32' Name='connectivity' format='binary'>AAAAAAAAAAA=</DataArray>
        <DataArray type='Int32' Name='offsets' format='binary'>AAAAAAAAAAA=</DataArray>
      </Polys>
      <PointData><DataArray type='Float32' Name='p' format='binary'>AAAAAAAAAAA=</DataArray></PointData>
    </Piece>
  </PolyData>
</VTKFile>
)";
    const MeshBlock b = parseVtkXmlDataSet(vtp, "frontAndBack.vtp");
    EXPECT_EQ(b.kind, BlockKind::Empty);
    EXPECT_EQ(b.numPoints(), 0u);
    EXPECT_EQ(b.numCells(), 0u);
    ASSERT_EQ(b.pointData.size(), 1u);
    EXPECT_EQ(b.pointData[0].tuples(), 0u);
}

TEST(CaseReader, LegacyAttributesOfEveryKind) {
    // Names with escaped blanks, optional component counts, colour scalars, normals, tensors,
    // texture coordinates, a lookup table section and VTK's METADATA blocks.
    const std::string vtk = "# vtk DataFile Version 4.2\nattributes\nASCII\nDATASET POLYDATA\n"
                            "POINTS 3 float\n0 0 0 1 0 0 0 1 0\n"
                            "METADATA\nINFORMATION 1\nNAME L2_NORM_RANGE LOCATION vtkDataArray\nDATA 2 0 1\n\n"
                            "POLYGONS 1 4\n3 0 1 2\n"
                            "CELL_DATA 1\nNORMALS n float\n0 0 1\n"
                            "POINT_DATA 3\nSCALARS wall%20shear double 2\nLOOKUP_TABLE my_table\n1 2 3 4 5 6\n"
                            "LOOKUP_TABLE my_table 2\n0 0 0 1  1 1 1 1\n"
                            "COLOR_SCALARS rgb 3\n0 0.5 1  1 1 1  0 0 0\n"
                            "TENSORS s double\n1 2 3 4 5 6 7 8 9\n1 0 0 0 1 0 0 0 1\n0 0 0 0 0 0 0 0 0\n"
                            "TEXTURE_COORDINATES uv 2 float\n0 0 1 0 0 1\n"
                            "VECTORS v float\n1 2 3 4 5 6 7 8 9\n"
                            "METADATA\nINFORMATION 0\n\n";
    const MeshBlock b = parseVtkLegacy(vtk, "attributes.vtk");
    ASSERT_EQ(b.numCells(), 1u);
    EXPECT_EQ(b.cells.types[0], VtkTriangle);
    ASSERT_EQ(b.cellData.size(), 1u);
    EXPECT_EQ(b.cellData[0].name, "n");
    EXPECT_EQ(b.cellData[0].components, 3);
    ASSERT_EQ(b.pointData.size(), 5u);
    const FieldArray* ws = b.findPointData("wall shear");
    ASSERT_TRUE(ws);
    EXPECT_EQ(ws->components, 2);
    EXPECT_EQ(ws->value(2, 1), 6.0);
    EXPECT_EQ(b.findPointData("rgb")->value(0, 1), 0.5);
    EXPECT_EQ(b.findPointData("s")->components, 9);
    EXPECT_EQ(b.findPointData("s")->value(0, 8), 9.0);
    EXPECT_EQ(b.findPointData("uv")->components, 2);
    EXPECT_EQ(b.findPointData("v")->value(2, 0), 7.0);
}

// The real OpenFOAM export of the shared data (foamToVTK, inline base64, UInt64 headers); the
// expected figures are those VTK 9.1's reader gives for the same files.
TEST(CaseReader, OpenFoamElbowExport) {
    const auto file = test::sharedDataDir() / "elbow" / "VTK" / "elbow_200.vtm";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << file << " is not there";
    const CaseData c = readCase(file);
    ASSERT_EQ(c.blocks.size(), 6u);
    ASSERT_TRUE(c.time.has_value());
    EXPECT_EQ(*c.time, 10.0);
    EXPECT_EQ(c.numVolumeBlocks(), 1u);

    struct Expected {
        const char* name;
        std::size_t points, cells;
        std::uint8_t type;
        double sumP, sumCellP;
        std::array<double, 3> sumU;
    };
    const Expected expected[] = {
        {"internal",
         1074,
         918,
         VtkWedge,
         98.15217268868582,
         84.28682897993713,
         {428.1386157286761, 973.7594231797912, 0}},
        {"wall-4", 206, 100, VtkQuad, 18.92349764809478, 9.772513387375511, {0, 0, 0}},
        {"velocity-inlet-5", 18, 8, VtkQuad, 3.650443971157074, 1.6111199706792831, {18, 0, 0}},
        {"velocity-inlet-6", 10, 4, VtkQuad, 8.788201093673706, 3.4942370653152466, {0, 30, 0}},
        {"pressure-outlet-7", 18, 8, VtkQuad, 0, 0, {0.016099299071356654, 31.311429738998413, 0}},
        {"wall-8", 70, 34, VtkQuad, -7.958206559414975, -0.6714916510391049, {0, 0, 0}},
    };
    for (std::size_t k = 0; k < 6; ++k) {
        const MeshBlock& b = c.blocks[k];
        const Expected& e = expected[k];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(b.name, e.name);
        EXPECT_EQ(b.path, k == 0 ? std::string("internal") : std::string("boundary/") + e.name);
        EXPECT_EQ(b.kind, k == 0 ? BlockKind::Volume : BlockKind::Surface);
        ASSERT_EQ(b.numPoints(), e.points);
        ASSERT_EQ(b.numCells(), e.cells);
        for (std::uint8_t t : b.cells.types) ASSERT_EQ(t, e.type);
        const FieldArray* p = b.findPointData("p");
        const FieldArray* u = b.findPointData("U");
        const FieldArray* cp = b.findCellData("p");
        ASSERT_TRUE(p && u && cp);
        EXPECT_EQ(u->components, 3);
        EXPECT_EQ(b.findCellData("U")->tuples(), e.cells);
        // Sums of a few hundred single-precision values, added in double in both readers.
        double sp = 0, scp = 0;
        std::array<double, 3> su{};
        for (std::size_t i = 0; i < b.numPoints(); ++i) {
            sp += p->value(i);
            for (int d = 0; d < 3; ++d) su[std::size_t(d)] += u->value(i, d);
        }
        for (std::size_t i = 0; i < b.numCells(); ++i) scp += cp->value(i);
        EXPECT_NEAR(sp, e.sumP, 1e-9);
        EXPECT_NEAR(scp, e.sumCellP, 1e-9);
        for (int d = 0; d < 3; ++d) EXPECT_NEAR(su[std::size_t(d)], e.sumU[std::size_t(d)], 1e-9);
    }
    // Every patch point is a point of the volume mesh (brute force over the small mesh).
    const MeshBlock& volume = c.blocks[0];
    for (std::size_t k = 1; k < 6; ++k) {
        const MeshBlock& patch = c.blocks[k];
        for (std::size_t i = 0; i < patch.numPoints(); ++i) {
            bool found = false;
            for (std::size_t j = 0; j < volume.numPoints() && !found; ++j)
                found = patch.points[3 * i] == volume.points[3 * j] &&
                        patch.points[3 * i + 1] == volume.points[3 * j + 1] &&
                        patch.points[3 * i + 2] == volume.points[3 * j + 2];
            ASSERT_TRUE(found) << patch.name << " point " << i;
        }
    }
}

} // namespace
} // namespace zel::host
