#pragma once
// zelpost's command line:
//
//   zelpost CASE [SESSION...] [-e EXPRESSION...] [--json] [--vtk-out DIR] [--pictures DIR] [--density RHO]
//           [--boundary-flows points|faces] [--timings] [--verbose]
//   zelpost --demo [--json] [--vtk-out DIR] [--pictures DIR] [--timings]
//   zelpost --help
//
// runZelpost does the whole run and returns the exit status: 0 when everything was loaded,
// applied and evaluated without an error report, 1 on any error, 2 for a bad command line.
// Results go to `out` (a table, or one JSON array with --json); messages to `err`.
#include <iosfwd>
#include <string>
#include <vector>

namespace zel::host {

struct ResultRow;
class Collective;

int runZelpost(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// The same run as one of several processes that each hold a group of the case's pieces (not
// owned; null: one process). Only the first process prints; every process returns the same
// status. -e and --demo are refused (2) there.
int runZelpost(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, Collective* collective);

// The --help text.
std::string helpText();

// Output of the results: the table (function, location, value, units; with analytic values
// two more columns) and the JSON array (each element: "call", "function", "location",
// "value" (a number or null), "units", and "analytic", "relative error" when known).
void printTable(const std::vector<ResultRow>& rows, std::ostream& out);
void printJson(const std::vector<ResultRow>& rows, std::ostream& out);

} // namespace zel::host
