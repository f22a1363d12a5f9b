#include "framework/geometry/FileReaderBase.h"

#include "framework/geometry/Variable.h"

#include <filesystem>
#include <system_error>

namespace zel {

namespace {
// One command thread applies sessions: no lock.
std::string& relativeBase() {
    static std::string base;
    return base;
}
} // namespace

void FileReaderBase::setRelativeBase(const std::string& folder) { relativeBase() = folder; }

const std::string& FileReaderBase::getRelativeBase() { return relativeBase(); }

std::string FileReaderBase::resolve(const std::string& file) {
    if (file.empty() || relativeBase().empty()) return file;
    const std::filesystem::path given(file);
    if (given.is_absolute()) return file;
    std::error_code ec;
    const std::filesystem::path beside = std::filesystem::path(relativeBase()) / given;
    return std::filesystem::is_regular_file(beside, ec) ? beside.string() : file;
}

std::unique_ptr<Variable> FileReaderBase::getVariable(const std::string& name, Interpolant*) {
    FloatZELVectorConcrete values;
    if (!getVariableData(name, values)) return nullptr;
    auto v = std::make_unique<ScalarVariable>(VarTypeVertex);
    v->setName(name);
    v->setFloatValues(std::move(values), VarTypeVertex);
    return v;
}

} // namespace zel
