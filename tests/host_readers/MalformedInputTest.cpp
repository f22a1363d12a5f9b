// The case readers on broken files: each fault gives a CaseReadError that names the file and
// where (line, DataArray, appended offset) and says what is wrong. The broken files are made
// here from the good ones of tests/data/vtk, one fault at a time.
#include <gtest/gtest.h>

#include "host/readers/CaseReader.h"
#include "host/readers/VtkLegacyReader.h"
#include "host/readers/VtkXmlReader.h"
#include "tests/host_readers/ReaderTestUtil.h"

namespace zel::host {
namespace {

using test::expectReadError;
using test::readText;
using test::replaced;
using test::vtkDataDir;

void expectXmlError(const std::string& content, std::initializer_list<std::string> parts) {
    expectReadError([&] { parseVtkXmlDataSet(content, "broken.vtu"); }, parts);
    expectReadError([&] { parseVtkXmlDataSet(content, "broken.vtu"); }, {"'broken.vtu'"});
}

void expectLegacyError(const std::string& content, std::initializer_list<std::string> parts) {
    expectReadError([&] { parseVtkLegacy(content, "broken.vtk"); }, parts);
    expectReadError([&] { parseVtkLegacy(content, "broken.vtk"); }, {"'broken.vtk'"});
}

TEST(MalformedInput, AsciiXmlNamesTheArrayAndTheLine) {
    const std::string good = readText(vtkDataDir() / "mixed_ascii.vtu");
    ASSERT_NO_THROW(parseVtkXmlDataSet(good, "good.vtu"));
    // Counts that disagree with the data.
    expectXmlError(replaced(good, "NumberOfPoints=\"12\"", "NumberOfPoints=\"13\""),
                   {"DataArray 'Points' (line 6)", "has 36 values; 39 expected"});
    expectXmlError(replaced(good, "NumberOfCells=\"4\"", "NumberOfCells=\"3\""),
                   {"DataArray 'offsets' (line 14)", "has 4 values; 3 expected"});
    // A value that is not a number: the line of the value itself.
    expectXmlError(replaced(good, "1.5 0.5 1.5", "1.5 O.5 1.5"),
                   {"DataArray 'Points' line 7", "'O.5' is not a number of type Float64"});
    expectXmlError(replaced(good, "12 13 14 10", "12 13 99 10"),
                   {"DataArray 'types' (line 17)", "cell 2 has the unknown or unsupported cell type 99"});
    expectXmlError(replaced(good, " 10 5 6 10 11", " 10 5 6 10 12"),
                   {"cell 3 refers to point 12; there are 12 points"});
    expectXmlError(replaced(good, "8 14 19 23", "8 14 12 23"), {"DataArray 'offsets'", "offsets decrease"});
    expectXmlError(replaced(good, "\"U\" NumberOfComponents=\"3\" format=\"ascii\"",
                            "\"U\" NumberOfComponents=\"3\" format=\"hex\""),
                   {"DataArray 'U'", "format 'hex' is not supported"});
    expectXmlError(replaced(good, "type=\"Float32\" Name=\"p\"", "type=\"Float16\" Name=\"p\""),
                   {"DataArray 'p'", "data type 'Float16' is not supported"});
    expectXmlError(
        replaced(good, "<DataArray type=\"UInt8\" Name=\"types\"", "<DataArray type=\"UInt8\" Name=\"kinds\""),
        {"Cells lacks the 'types' array"});
    // Truncated: the XML is not closed.
    expectXmlError(good.substr(0, good.size() / 2), {"not well-formed XML", "line"});
    expectXmlError("<?xml version=\"1.0\"?>\n<Mesh/>\n", {"line 2", "the root element is <Mesh>, not <VTKFile>"});
    expectXmlError(replaced(good, "UnstructuredGrid", "ImageData"), {"VTKFile type 'ImageData' is not supported"});
}

TEST(MalformedInput, InlineBase64) {
    const std::string good = readText(vtkDataDir() / "mixed_b64_u32.vtu");
    ASSERT_NO_THROW(parseVtkXmlDataSet(good, "good.vtu"));
    expectXmlError(replaced(good, "MAAAAAAAgD8AAEBA", "MAAAAAAAgD8*AEBA"),
                   {"DataArray 'p' (line 22)", "invalid base64 character '*'"});
    expectXmlError(replaced(good, "MAAAAAAAgD8AAEBA", "MAAAAA=AgD8AAEBA"),
                   {"DataArray 'p'", "misplaced base64 padding"});
    // The size header says 12 values where the piece has 13 points.
    expectXmlError(replaced(good, "NumberOfPoints=\"12\"", "NumberOfPoints=\"13\""),
                   {"DataArray 'Points' (line 6)", "expected 39 values"});
    expectXmlError(replaced(good, "NumberOfCells=\"4\"", "NumberOfCells=\"5\""),
                   {"DataArray 'offsets' (line 14)", "size header gives 32 bytes (4 values), expected 5 values"});
    // Data cut short inside the text of an array.
    expectXmlError(replaced(good, "BAAAAAwNDgo=", "BAAAAA"), {"DataArray 'types'", "truncated"});
    expectXmlError(replaced(good, "header_type=\"UInt32\"", "header_type=\"UInt16\""),
                   {"header_type 'UInt16' is not supported"});
    expectXmlError(
        replaced(good, "header_type=\"UInt32\"", "header_type=\"UInt32\" compressor=\"vtkLZ4DataCompressor\""),
        {"compressor 'vtkLZ4DataCompressor' is not supported"});
    expectXmlError(replaced(good, "LittleEndian", "MiddleEndian"), {"byte_order 'MiddleEndian' is not supported"});
}

TEST(MalformedInput, AppendedData) {
    const std::string good = readText(vtkDataDir() / "mixed_raw_u32.vtu");
    ASSERT_NO_THROW(parseVtkXmlDataSet(good, "good.vtu"));
    expectXmlError(replaced(good, "offset=\"524\"", "offset=\"99999\""),
                   {"DataArray 'p' (line 14) at appended offset 99999", "offset lies beyond the appended data"});
    // An offset at another array: its size header does not fit this one.
    expectXmlError(
        replaced(good, "offset=\"524\"", "offset=\"516\""),
        {"DataArray 'p' (line 14) at appended offset 516", "size header gives 4 bytes (1 values), expected 12 values"});
    expectXmlError(replaced(good, "offset=\"524\"", "offset=\"-5\""), {"offset '-5' is not a valid count"});
    // The end of the file cut off: the last arrays are incomplete.
    expectXmlError(good.substr(0, good.size() - 60), {"DataArray 'T' (line 29) at appended offset 1288", "truncated"});
    expectXmlError(replaced(good, "   _", "    "), {"AppendedData does not begin with the '_' marker"});
    expectXmlError(replaced(good, "encoding=\"raw\"", "encoding=\"hex\""),
                   {"AppendedData encoding 'hex' is not supported"});
    expectXmlError(
        replaced(readText(vtkDataDir() / "mixed_ascii.vtu"), "format=\"ascii\"", "format=\"appended\" offset=\"0\""),
        {"DataArray 'Points'", "format 'appended' but the file has no AppendedData section"});

    // Appended base64 cut inside an array.
    const std::string b64 = readText(vtkDataDir() / "mixed_app64_u32.vtu");
    ASSERT_NO_THROW(parseVtkXmlDataSet(b64, "good.vtu"));
    const auto end = b64.find("\n  </AppendedData>");
    expectXmlError(b64.substr(0, end - 10) + b64.substr(end),
                   {"DataArray 'T' (line 29) at appended offset", "truncated"});
}

TEST(MalformedInput, CompressedData) {
    std::string bad = readText(vtkDataDir() / "mixed_raw_u64_zlib.vtu");
    ASSERT_NO_THROW(parseVtkXmlDataSet(bad, "good.vtu"));
    // First byte of the zlib stream of T: after the '_' marker, the array's offset and its header
    // of one block (four UInt64).
    const std::size_t at = bad.find('_', bad.find("<AppendedData")) + 1 + 1364 + 32;
    ASSERT_EQ(bad[at], '\x78');
    bad[at] = 0;
    expectXmlError(bad, {"DataArray 'T' (line 29) at appended offset 1364", "zlib block 1 of 1"});

    // A compression header whose sizes do not add up.
    const std::string inlineZ = readText(vtkDataDir() / "mixed_b64_u32_zlib.vtu");
    expectXmlError(replaced(inlineZ, "NumberOfPoints=\"12\"", "NumberOfPoints=\"11\""),
                   {"DataArray 'Points'", "compression header gives 288 bytes (36 values), expected 33 values"});
}

TEST(MalformedInput, LegacyAsciiNamesTheLine) {
    const std::string good = readText(vtkDataDir() / "mixed_legacy_ascii.vtk");
    ASSERT_NO_THROW(parseVtkLegacy(good, "good.vtk"));
    expectLegacyError(replaced(good, "\n1.0 0.0 1.0\n", "\n1.0 zero 1.0\n"),
                      {"line 14", "POINTS: 'zero' is not a number of type Float64"});
    // One value too many: the next keyword is read as a number.
    expectLegacyError(replaced(good, "CELLS 4 27", "CELLS 4 28"),
                      {"line 25", "CELLS: 'CELL_TYPES' is not a number of type Int32"});
    expectLegacyError(replaced(good, "CELLS 4 27", "CELLS 4 26"),
                      {"line 21", "cell 3 claims 4 points, more than the list holds"});
    expectLegacyError(replaced(good, "CELL_TYPES 4\n12 13 14 10", "CELL_TYPES 3\n12 13 14"),
                      {"CELL_TYPES gives 3 types for 4 cells"});
    expectLegacyError(replaced(good, "12 13 14 10", "12 13 14 77"),
                      {"cell 3 has the unknown or unsupported cell type 77"});
    expectLegacyError(replaced(good, "12 13 14 10", "12 13 14 42"), {"polyhedron"});
    expectLegacyError(replaced(good, "POINT_DATA 12", "POINT_DATA 13"),
                      {"line 35", "POINT_DATA 13, but the file has 12 points"});
    expectLegacyError(replaced(good, "SCALARS p float", "SCALARS p float\nLOOKUP_TABEL default"),
                      {"LOOKUP_TABLE expected after the SCALARS line"});
    expectLegacyError(replaced(good, "VECTORS U float", "VECTOR U float"), {"unknown keyword 'VECTOR'"});
    expectLegacyError(replaced(good, "VECTORS U float", "VECTORS U half"), {"VECTORS: unsupported data type 'half'"});
    expectLegacyError(good.substr(0, good.find("6 1 2 8")), {"line 21", "CELLS"});
    expectLegacyError(good.substr(0, good.find("13 14 10")),
                      {"line 25", "CELL_TYPES: the file is too short to hold 4 values"});
    expectLegacyError(good.substr(0, good.find("10\n\nCELL_DATA")),
                      {"line 25", "CELL_TYPES: the file ends after 3 of 4 values"});
    expectLegacyError(replaced(good, "UNSTRUCTURED_GRID", "STRUCTURED_POINTS"),
                      {"line 4", "DATASET STRUCTURED_POINTS is not supported"});
    expectLegacyError(replaced(good, "ASCII", "TEXT"), {"line 3", "ASCII or BINARY expected"});
    expectLegacyError("solid cube\nfacet normal 0 0 1\n", {"line 1", "not a VTK legacy file"});

    const std::string v5 = readText(vtkDataDir() / "mixed_legacy_ascii_51.vtk");
    ASSERT_NO_THROW(parseVtkLegacy(v5, "good.vtk"));
    expectLegacyError(replaced(v5, "CELLS 5 23", "CELLS 5 22"),
                      {"line 22", "CELLS: offsets run from 0 to 23 but there are 22 connectivity entries"});
    expectLegacyError(replaced(v5, "CELLS 5 23", "CELLS 5 24"),
                      {"line 28", "CELLS CONNECTIVITY: 'CELL_TYPES' is not a number"});
    expectLegacyError(replaced(v5, "0 8 14 19 23", "0 14 8 19 23"), {"CELLS: offsets decrease at entry 2"});
}

TEST(MalformedInput, LegacyBinary) {
    const std::string good = readText(vtkDataDir() / "mixed_legacy_binary.vtk");
    ASSERT_NO_THROW(parseVtkLegacy(good, "good.vtk"));
    expectLegacyError(good.substr(0, good.size() - 50), {"FIELD array 't_Float64'", "binary data is truncated"});
    expectLegacyError(replaced(good, "CELLS 4 27", "CELLS 4 2700"), {"CELLS: binary data is truncated"});
    expectLegacyError(replaced(good, "POINTS 12 double", "POINTS 1200 double"),
                      {"line 8", "POINTS: binary data is truncated"});
}

TEST(MalformedInput, FilesAndMultiblockReferences) {
    const auto dir = test::scratchDir();
    expectReadError([&] { readCase(dir / "absent.vtm"); }, {"absent.vtm", "file does not exist"});
    expectReadError([&] { readCase(dir); }, {"is a folder"});

    // foamToVTK layout with one patch file missing: the error names the .vtm, its line and the
    // missing file, and no case comes back.
    std::filesystem::copy(vtkDataDir() / "case_1", dir / "case_1", std::filesystem::copy_options::recursive);
    std::filesystem::copy_file(vtkDataDir() / "case_1.vtm", dir / "case_1.vtm");
    ASSERT_NO_THROW(readCase(dir / "case_1.vtm"));
    std::filesystem::remove(dir / "case_1" / "boundary" / "outlet.vtp");
    expectReadError([&] { readCase(dir / "case_1.vtm"); },
                    {"case_1.vtm' line 8", "DataSet 'outlet' refers to", "outlet.vtp", "which does not exist"});

    // A broken patch: the error names the patch file.
    test::writeText(dir / "case_1" / "boundary" / "outlet.vtp",
                    replaced(readText(vtkDataDir() / "case_1" / "boundary" / "inlet.vtp"), "NumberOfPolys=\"1\"",
                             "NumberOfPolys=\"2\""));
    expectReadError([&] { readCase(dir / "case_1.vtm"); }, {"outlet.vtp' DataArray 'offsets'", "expected 2 values"});

    // A multiblock file that references itself.
    test::writeText(dir / "loop.vtm", "<VTKFile type=\"vtkMultiBlockDataSet\"><vtkMultiBlockDataSet>"
                                      "<DataSet name=\"again\" file=\"loop.vtm\"/></vtkMultiBlockDataSet></VTKFile>");
    expectReadError([&] { readCase(dir / "loop.vtm"); }, {"loop.vtm", "nest too deep"});
    expectReadError([&] { readVtkMultiBlock(vtkDataDir() / "mixed_ascii.vtu"); }, {"is not a multiblock dataset"});
}

} // namespace
} // namespace zel::host
