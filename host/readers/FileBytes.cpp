#include "host/readers/FileBytes.h"

// Mapping is POSIX; elsewhere (Windows) every file is read into a string.
#if defined(__unix__) || defined(__APPLE__)
#define ZEL_FILE_BYTES_MMAP 1
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <system_error>

#include "host/readers/ReadError.h"

namespace zel::host {

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
    if (this == &other) return *this;
    unmap();
    m_copy = std::move(other.m_copy);
    m_map = other.m_map;
    m_size = other.m_size;
    m_data = m_map != nullptr ? static_cast<const char*>(m_map) : m_copy.data();
    other.m_map = nullptr;
    other.m_data = nullptr;
    other.m_size = 0;
    return *this;
}

FileBytes::~FileBytes() { unmap(); }

void FileBytes::unmap() {
#ifdef ZEL_FILE_BYTES_MMAP
    if (m_map != nullptr) munmap(m_map, m_size);
#endif
    m_map = nullptr;
}

namespace {

// The file mapped whole and its pages read in at once, or null (then the caller reads it).
// A file that another program shortens while it is mapped would fault on access; solver
// results are written before they are post-processed, and every other failure falls back to
// reading.
void* mapFile(const std::filesystem::path& file, std::size_t& size) {
#ifndef ZEL_FILE_BYTES_MMAP
    (void)file;
    (void)size;
    return nullptr;
#else
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    void* map = nullptr;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        size = std::size_t(st.st_size);
#ifdef MAP_POPULATE
        constexpr int kPopulate = MAP_POPULATE; // Linux: read the pages in one go
#else
        constexpr int kPopulate = 0;
#endif
        map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | kPopulate, fd, 0);
        if (map == MAP_FAILED) map = nullptr;
    }
    close(fd);
    return map;
#endif
}

} // namespace

FileBytes readFileBytes(const std::filesystem::path& file, const ReadTimeFn& onRead) {
    const auto start = std::chrono::steady_clock::now();
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (ec || !std::filesystem::exists(status)) throw CaseReadError(file.string(), "", "file does not exist");
    if (std::filesystem::is_directory(status)) throw CaseReadError(file.string(), "", "is a folder, not a file");
    FileBytes out;
    std::size_t size = 0;
    if (void* map = mapFile(file, size)) {
        out.m_map = map;
        out.m_data = static_cast<const char*>(map);
        out.m_size = size;
    } else {
        std::ifstream in(file, std::ios::binary);
        if (!in) throw CaseReadError(file.string(), "", std::string("cannot open: ") + std::strerror(errno));
        in.seekg(0, std::ios::end);
        const std::streamoff length = in.tellg();
        in.seekg(0, std::ios::beg);
        std::string bytes;
        if (length > 0) {
            bytes.resize(std::size_t(length));
            in.read(bytes.data(), length);
        }
        if (!in) throw CaseReadError(file.string(), "", "cannot read the file");
        out = FileBytes(std::move(bytes));
    }
    if (onRead) onRead(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), out.size());
    return out;
}

} // namespace zel::host
