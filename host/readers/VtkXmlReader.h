#pragma once
// Reader of VTK XML files: UnstructuredGrid (.vtu), PolyData (.vtp) and vtkMultiBlockDataSet
// (.vtm, with nested Block / Piece / DataSet entries whose files are relative to the .vtm).
// DataArray formats ascii, binary (inline base64) and appended (raw or base64); header_type
// UInt32 or UInt64; vtkZLibDataCompressor or no compressor; either byte order; all numeric
// types. Several pieces of one dataset are merged into one block. Faults throw CaseReadError
// naming the file and the element (with its line) or the DataArray and its appended offset.
#include <filesystem>
#include <string>
#include <string_view>

#include "host/readers/CaseData.h"

namespace zel::host {

// Reads a .vtu or .vtp file (decided by the VTKFile type, not the extension).
MeshBlock readVtkXmlDataSet(const std::filesystem::path& file, const ReadOptions& options = {});
// Parses the contents of a .vtu or .vtp file; `fileName` names it in messages and in the block.
MeshBlock parseVtkXmlDataSet(std::string_view content, const std::string& fileName, const ReadOptions& options = {});

// Reads a multiblock file and every dataset it references (nested multiblock files too).
CaseData readVtkMultiBlock(const std::filesystem::path& file, const ReadOptions& options = {});

// Reads any VTK XML file: a dataset gives a case of one block.
CaseData readVtkXmlCase(const std::filesystem::path& file, const ReadOptions& options = {});

} // namespace zel::host
