#include "host/readers/FileBytes.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <system_error>

#include "host/readers/ReadError.h"

namespace zel::host {

std::string readFileBytes(const std::filesystem::path& file, const std::function<void(double)>& onRead)
{
    const auto start = std::chrono::steady_clock::now();
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (ec || !std::filesystem::exists(status)) throw CaseReadError(file.string(), "", "file does not exist");
    if (std::filesystem::is_directory(status)) throw CaseReadError(file.string(), "", "is a folder, not a file");
    std::ifstream in(file, std::ios::binary);
    if (!in) throw CaseReadError(file.string(), "", std::string("cannot open: ") + std::strerror(errno));
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    std::string bytes;
    if (size > 0) {
        bytes.resize(std::size_t(size));
        in.read(bytes.data(), size);
    }
    if (!in) throw CaseReadError(file.string(), "", "cannot read the file");
    if (onRead) onRead(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return bytes;
}

} // namespace zel::host
