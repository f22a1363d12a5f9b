#pragma once
// Whole-file reading for the case readers (the formats need random access: appended data,
// binary blocks between text lines).
#include <filesystem>
#include <string>

namespace zel::host {

// The bytes of the file; throws CaseReadError naming the file when it is missing or unreadable.
std::string readFileBytes(const std::filesystem::path& file);

} // namespace zel::host
