#pragma once
// The one failure of the case readers: a file that cannot be read as a case. The message names
// the file and where in it the fault is ("line 12", "DataArray 'p' (line 30)", "DataArray 'U'
// at appended offset 4096"), so that the user can find it; what() reads
// "CaseReader::read: '<file>' <where>: <problem>".
#include <string>

#include "framework/core/Error.h"

namespace zel::host {

class CaseReadError : public data::invalid {
public:
    CaseReadError(const std::string& file, const std::string& where, const std::string& problem);

    const std::string& file() const { return m_file; }
    const std::string& where() const { return m_where; }
    const std::string& problem() const { return m_problem; }

private:
    std::string m_file;
    std::string m_where;
    std::string m_problem;
};

} // namespace zel::host
