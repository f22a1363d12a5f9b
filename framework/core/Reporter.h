#pragma once
// The process-wide error and message reporter. Problems that do not stop the work are
// reported here; raised errors that a boundary catches are reported here too.
//
// Every report is kept in order (the host shows them, tests inspect them). When echo is
// on, each report is also written to the standard error stream as one line:
//   "<severity>: ClassName::operation: message"
// where severity is the word of its error type (see severityWord), and with places on
// " [folder/file.cpp:line]" after it, where in the source the report or the error was made.
// Echo is off by default so that library tests stay quiet; the host switches it on.
#include "framework/core/Error.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace zel {

class ErrorProgressReporter {
public:
    // One report: the message record and, when it came from an exception, its family
    // ("data::notFound", ...); empty for a plain ErrorMsg.
    struct Report : ErrorMsg {
        Report(ErrorMsg msg, std::string fam) : ErrorMsg(std::move(msg)), family(std::move(fam)) {}
        std::string family;
    };
    using Listener = std::function<void(const Report&)>;

    // The single reporter, created on first use, alive until the process ends.
    static ErrorProgressReporter* instance();

    // Records the message (and echoes it when echo is on), then returns.
    void reportError(const ErrorMsg& msg);
    // Records the error's class, operation and message. errorType -1 keeps the error's
    // own type; any other value replaces it in the record.
    void reportError(const Error& error, int errorType = -1);

    // All reports since the last clear(), oldest first. The list keeps at most
    // maxKeptReports(); beyond that the oldest half is dropped (a session can run for days).
    const std::vector<Report>& getReports() const { return m_reports; }
    std::size_t count() const { return m_reports.size(); }
    // Number of kept reports of one error type.
    std::size_t count(int errorType) const;
    // The latest report; internal::error when there is none.
    const Report& last() const;
    void clear() { m_reports.clear(); }
    static constexpr std::size_t maxKeptReports() { return 100000; }

    // Host setting: write every report to stderr as well.
    void setEcho(bool on) { m_echo = on; }
    bool getEcho() const { return m_echo; }
    // Host setting: echoed lines end with the source place of the report.
    void setShowPlaces(bool on) { m_places = on; }
    bool getShowPlaces() const { return m_places; }

    // Host hook called for every report after it is recorded (empty function: none).
    void setListener(Listener listener) { m_listener = std::move(listener); }

    // "notice" (0), "system error" (1), "error" (4), "warning" (8), "internal error" (32);
    // any other type reads "error".
    static const char* severityWord(int errorType);
    // The echoed line without its line end; with `place`, the source place after it.
    static std::string formatReport(const ErrorMsg& msg, bool place = false);

private:
    ErrorProgressReporter() = default;
    void record(Report report);

    static ErrorProgressReporter* m_instance;
    std::vector<Report> m_reports;
    bool m_echo = false;
    bool m_places = false;
    Listener m_listener;
};

} // namespace zel
