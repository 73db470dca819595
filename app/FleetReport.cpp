#include "app/FleetReport.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <ostream>

#include "upload/RxLog.h"
#include "upload/ShownText.h"

namespace vornex {

namespace {

// Seconds with `decimals` places, a point whatever the locale.
std::string SecondsText(double seconds, int decimals) {
  long long scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const long long units = std::llround(std::max(0.0, seconds) * double(scale));
  std::string text = std::to_string(units / scale);
  if (decimals > 0) {
    std::string fraction = std::to_string(units % scale);
    text += "." + std::string(static_cast<std::size_t>(decimals) - fraction.size(), '0') + fraction;
  }
  return text;
}

std::string Padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

struct TRow {
  std::string Port, Result, Bytes, Time, Reason, Reply;
};

TRow RowOf(const TFleetResult& r) {
  return {ShownLine(r.Port),
          OutcomeWord(r.Outcome),
          std::to_string(r.BytesSent) + "/" + std::to_string(r.BytesTotal),
          SecondsText(r.Seconds, 1) + " s",
          ShownLine(r.Reason),
          ShownLine(r.Reply)};
}

std::string JsonText(const std::string& printable) {
  std::string text = "\"";
  for (char c : printable) {
    if (c == '"' || c == '\\') text += '\\';
    text += c;
  }
  return text + "\"";
}

std::string CsvText(const std::string& printable) {
  if (printable.find_first_of(",\"") == std::string::npos) return printable;
  std::string text = "\"";
  for (char c : printable) {
    if (c == '"') text += '"';
    text += c;
  }
  return text + "\"";
}

bool EndsWithCsv(const std::string& path) {
  if (path.size() < 4) return false;
  std::string end = path.substr(path.size() - 4);
  for (char& c : end)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return end == ".csv";
}

}  // namespace

std::string CountsLine(const std::vector<TFleetResult>& results) {
  const TFleetOutcome order[] = {TFleetOutcome::Completed, TFleetOutcome::Failed, TFleetOutcome::TimedOut,
                                 TFleetOutcome::Cancelled, TFleetOutcome::NotStarted};
  std::string line = std::to_string(results.size()) + (results.size() == 1 ? " printer" : " printers");
  const char* separator = ": ";
  for (const TFleetOutcome outcome : order) {
    const auto n = std::count_if(results.begin(), results.end(), [&](const auto& r) { return r.Outcome == outcome; });
    if (n == 0) continue;
    line += separator + std::to_string(n) + " " + OutcomeWord(outcome);
    separator = ", ";
  }
  return line;
}

void WriteSummary(std::ostream& out, const std::vector<TFleetResult>& results) {
  std::vector<TRow> rows{{"port", "result", "bytes", "time", "reason", "reply"}};
  for (const auto& r : results) rows.push_back(RowOf(r));
  // Columns as wide as their widest entry; a very long one only pushes its
  // own line's later columns out.
  std::size_t port = 0, result = 0, bytes = 0, time = 0, reason = 0;
  for (const auto& row : rows) {
    port = std::max(port, std::min<std::size_t>(row.Port.size(), 40));
    result = std::max(result, row.Result.size());
    bytes = std::max(bytes, row.Bytes.size());
    time = std::max(time, row.Time.size());
    reason = std::max(reason, std::min<std::size_t>(row.Reason.size(), 60));
  }
  for (const auto& row : rows) {
    std::string line = Padded(row.Port, port) + "  " + Padded(row.Result, result) + "  " +
                       std::string(bytes - std::min(bytes, row.Bytes.size()), ' ') + row.Bytes + "  " +
                       std::string(time - std::min(time, row.Time.size()), ' ') + row.Time + "  " +
                       (row.Reply.empty() ? row.Reason : Padded(row.Reason, reason) + "  " + row.Reply);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << "\n";
  }
  out << CountsLine(results) << "\n";
}

bool WriteReport(const std::string& path, const std::vector<TFleetResult>& results, const std::string& sha256,
                 std::string& error) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) {
    error = "the report " + path + " cannot be written: " + std::strerror(errno);
    return false;
  }
  if (EndsWithCsv(path)) {
    file << "port,result,bytes_sent,bytes_total,seconds,reason,reply,sha256\r\n";
    for (const auto& r : results)
      file << CsvText(ShownLine(r.Port)) << "," << OutcomeWord(r.Outcome) << "," << r.BytesSent << ","
           << r.BytesTotal << "," << SecondsText(r.Seconds, 3) << "," << CsvText(ShownLine(r.Reason)) << ","
           << CsvText(ShownLine(r.Reply)) << "," << sha256 << "\r\n";
  } else {
    file << "[";
    const char* separator = "\n";
    for (const auto& r : results) {
      file << separator << "  {\"port\": " << JsonText(ShownLine(r.Port)) << ", \"result\": \""
           << OutcomeWord(r.Outcome) << "\", \"bytes_sent\": " << r.BytesSent << ", \"bytes_total\": " << r.BytesTotal
           << ", \"seconds\": " << SecondsText(r.Seconds, 3) << ", \"reason\": " << JsonText(ShownLine(r.Reason))
           << ", \"reply\": " << JsonText(ShownLine(r.Reply)) << ", \"sha256\": \"" << sha256 << "\"}";
      separator = ",\n";
    }
    file << "\n]\n";
  }
  file.close();
  if (!file) {
    error = "the report " + path + " could not be written whole: " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace vornex
