#pragma once
// The parallel files (.pvtp) over the VTK pieces that the processes of a parallel run write,
// so that ParaView opens each location whole.
#include <filesystem>
#include <string>
#include <vector>

namespace zel::host {

// The folder of process `rank`'s pieces under `folder`: folder/pieceR.
std::filesystem::path pieceFolder(const std::filesystem::path& folder, int rank);

// For every NAME.vtp in any folder/pieceR (R < ranks), writes folder/NAME.pvtp listing the
// pieces that exist, in rank order, with the point arrays of the first of them (every piece
// of one location carries the same ones). Called by one process once all have written.
// Returns the files written, sorted; std::runtime_error naming the file that cannot be read
// or written.
std::vector<std::string> writeParallelIndex(const std::filesystem::path& folder, int ranks);

} // namespace zel::host
