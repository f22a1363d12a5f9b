#pragma once
// Whole-file reading for the case readers (the formats need random access: appended data,
// binary blocks between text lines).
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace zel::host {

// The bytes of a file, read only. A regular file is mapped into memory (no copy of its
// bytes, no zeroed buffer to fill); anything else is read into a string.
class FileBytes {
public:
    FileBytes() = default;
    explicit FileBytes(std::string bytes) : m_copy(std::move(bytes)), m_data(m_copy.data()), m_size(m_copy.size()) {}
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    FileBytes(FileBytes&& other) noexcept { *this = std::move(other); }
    FileBytes& operator=(FileBytes&& other) noexcept;
    ~FileBytes();

    const char* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    std::string_view view() const { return {m_data, m_size}; }
    operator std::string_view() const { return view(); }

private:
    friend FileBytes readFileBytes(const std::filesystem::path&, const std::function<void(double, std::size_t)>&);
    void unmap();

    std::string m_copy; // the bytes when not mapped
    const char* m_data = nullptr;
    std::size_t m_size = 0;
    void* m_map = nullptr; // the mapping, owned; null when the bytes are in m_copy
};

// The bytes of the file; throws CaseReadError naming the file when it is missing or unreadable.
// `onRead`, when set, is given the wall time of the reading in seconds and the file's size.
using ReadTimeFn = std::function<void(double seconds, std::size_t bytes)>;
FileBytes readFileBytes(const std::filesystem::path& file, const ReadTimeFn& onRead = {});

} // namespace zel::host
