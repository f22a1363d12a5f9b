#include "framework/core/ZELStream.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"

#include <cstring>
#include <filesystem>
#include <system_error>

namespace zel {

ZELStream::ZELStream(const std::string& fileName, int mode) { open(fileName, mode); }

void ZELStream::open(const std::string& fileName, int mode) {
    close();
    if (mode != Read)
        throw internal::badParam("ZELStream", "open", _("Unsupported open mode %d for file '%s'.", mode, fileName));
    std::error_code ec;
    if (std::filesystem::is_directory(fileName, ec))
        throw data::notFound("ZELStream", "open", _("Cannot open file '%s': it is a directory.", fileName));
    // Binary mode: line ends are handled here, the same on every platform.
    m_in.open(fileName, std::ios::in | std::ios::binary);
    if (!m_in.is_open()) throw data::notFound("ZELStream", "open", _("Cannot open file '%s'.", fileName));
    m_fileName = fileName;
    m_lineNumber = 0;
}

bool ZELStream::fill() {
    if (!m_in.is_open()) return false;
    if (m_block.empty()) m_block.resize(std::size_t(1) << 20);
    m_pos = 0;
    m_end = static_cast<std::size_t>(m_in.rdbuf()->sgetn(m_block.data(), static_cast<std::streamsize>(m_block.size())));
    return m_end > 0;
}

bool ZELStream::getNextLine(std::string& line) {
    line.clear();
    if (!m_in.is_open()) return false;
    bool any = false;
    for (;;) {
        if (m_pos == m_end && !fill()) break;
        any = true;
        const char* from = m_block.data() + m_pos;
        const auto* nl = static_cast<const char*>(std::memchr(from, '\n', m_end - m_pos));
        if (nl != nullptr) {
            line.append(from, static_cast<std::size_t>(nl - from));
            m_pos += static_cast<std::size_t>(nl - from) + 1;
            break;
        }
        line.append(from, m_end - m_pos); // a line across two blocks
        m_pos = m_end;
    }
    if (!any) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++m_lineNumber;
    return true;
}

bool ZELStream::hasInput() { return m_in.is_open() && (m_pos < m_end || fill()); }

std::vector<std::string> ZELStream::getFileAsVector() {
    std::vector<std::string> lines;
    std::string line;
    while (getNextLine(line)) lines.push_back(line);
    return lines;
}

void ZELStream::close() {
    if (m_in.is_open()) m_in.close();
    m_in.clear();
    m_pos = m_end = 0;
}

std::string ZELStream::where() const { return _("'%s', line %u", m_fileName, m_lineNumber); }

bool ZELFile::exists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(path, ec);
}

bool ZELFile::isFile(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

} // namespace zel
