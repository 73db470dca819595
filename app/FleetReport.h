// What vornex-send says of a fleet at the end: a table with a line for each
// printer and the count of each result, and the same as a JSON or CSV
// report. Every text a port, a reason or a printer brought is shown as
// printable text only.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "upload/FleetRunner.h"

namespace vornex {

// port, result, bytes sent/total, time, reason, reply; then the counts.
void WriteSummary(std::ostream& out, const std::vector<TFleetResult>& results);
// "40 printers: 36 completed, 2 failed, 2 timed out".
std::string CountsLine(const std::vector<TFleetResult>& results);

// JSON (FILE.json: an array of objects) or CSV (FILE.csv: a header line and
// a line a printer) with port, result, bytes_sent, bytes_total, seconds,
// reason, reply and sha256 (the file's). False, with why, when it cannot be
// written.
bool WriteReport(const std::string& path, const std::vector<TFleetResult>& results, const std::string& sha256,
                 std::string& error);

}  // namespace vornex
