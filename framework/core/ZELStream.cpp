#include "framework/core/ZELStream.h"

#include "framework/core/Error.h"
#include "framework/core/Format.h"

#include <filesystem>
#include <system_error>

namespace zel {

ZELStream::ZELStream(const std::string& fileName, int mode)
{
    open(fileName, mode);
}

void ZELStream::open(const std::string& fileName, int mode)
{
    close();
    if (mode != Read)
        throw internal::badParam("ZELStream", "open", _("Unsupported open mode %d for file '%s'.", mode, fileName));
    std::error_code ec;
    if (std::filesystem::is_directory(fileName, ec))
        throw data::notFound("ZELStream", "open", _("Cannot open file '%s': it is a directory.", fileName));
    // Binary mode: line ends are handled here, the same on every platform.
    m_in.open(fileName, std::ios::in | std::ios::binary);
    if (!m_in.is_open())
        throw data::notFound("ZELStream", "open", _("Cannot open file '%s'.", fileName));
    m_fileName = fileName;
    m_lineNumber = 0;
}

bool ZELStream::getNextLine(std::string& line)
{
    line.clear();
    if (!m_in.is_open() || !hasInput()) return false;
    std::getline(m_in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++m_lineNumber;
    return true;
}

bool ZELStream::hasInput()
{
    if (!m_in.is_open() || !m_in.good()) return false;
    return m_in.peek() != std::ifstream::traits_type::eof();
}

std::vector<std::string> ZELStream::getFileAsVector()
{
    std::vector<std::string> lines;
    std::string line;
    while (getNextLine(line)) lines.push_back(line);
    return lines;
}

void ZELStream::close()
{
    if (m_in.is_open()) m_in.close();
    m_in.clear();
}

std::string ZELStream::where() const
{
    return _("'%s', line %u", m_fileName, m_lineNumber);
}

bool ZELFile::exists(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(path, ec);
}

bool ZELFile::isFile(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

} // namespace zel
