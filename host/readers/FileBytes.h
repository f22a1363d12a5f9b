#pragma once
// Whole-file reading for the case readers (the formats need random access: appended data,
// binary blocks between text lines).
#include <filesystem>
#include <functional>
#include <string>

namespace zel::host {

// The bytes of the file; throws CaseReadError naming the file when it is missing or unreadable.
// `onRead`, when set, is given the wall time of the reading in seconds.
std::string readFileBytes(const std::filesystem::path& file, const std::function<void(double)>& onRead = {});

} // namespace zel::host
