#include "framework/core/Reporter.h"

#include <cstdio>

namespace zel {

ErrorProgressReporter* ErrorProgressReporter::m_instance = nullptr;

ErrorProgressReporter* ErrorProgressReporter::instance() {
    // Created once and never freed: reports may arrive from static destructors of other
    // libraries at process end.
    if (!m_instance) m_instance = new ErrorProgressReporter();
    return m_instance;
}

void ErrorProgressReporter::reportError(const ErrorMsg& msg) { record(Report(msg, std::string())); }

void ErrorProgressReporter::reportError(const Error& error, int errorType) {
    ErrorMsg msg = error.getErrorMsg(); // keeps the raise site
    if (errorType != -1) msg.setErrorType(errorType);
    record(Report(std::move(msg), error.family()));
}

std::size_t ErrorProgressReporter::count(int errorType) const {
    std::size_t n = 0;
    for (const Report& r : m_reports)
        if (r.getErrorType() == errorType) ++n;
    return n;
}

const ErrorProgressReporter::Report& ErrorProgressReporter::last() const {
    if (m_reports.empty()) throw internal::error("ErrorProgressReporter", "last", "No message has been reported.");
    return m_reports.back();
}

const char* ErrorProgressReporter::severityWord(int errorType) {
    switch (errorType) {
    case ErrNotice: return "notice";
    case ErrStdException: return "system error";
    case ErrWarning: return "warning";
    case ErrInternal: return "internal error";
    default: return "error";
    }
}

std::string ErrorProgressReporter::formatReport(const ErrorMsg& msg, bool place) {
    std::string line = std::string(severityWord(msg.getErrorType())) + ": " + msg.toString();
    if (place) line += " [" + msg.place() + "]";
    return line;
}

void ErrorProgressReporter::record(Report report) {
    if (m_reports.size() >= maxKeptReports())
        m_reports.erase(m_reports.begin(), m_reports.begin() + static_cast<std::ptrdiff_t>(maxKeptReports() / 2));
    m_reports.push_back(std::move(report));
    const Report& r = m_reports.back();
    if (m_echo) {
        const std::string line = formatReport(r, m_places) + "\n";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    }
    if (m_listener) {
        // A copy: the listener may report in turn, which can move the stored reports.
        const Report copy = r;
        m_listener(copy);
    }
}

} // namespace zel
