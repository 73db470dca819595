#include "app/FleetCommand.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <istream>
#include <map>
#include <memory>
#include <ostream>

#include "app/FleetReport.h"
#include "forms/Controls.h"
#include "forms/Convert.h"
#include "forms/Exception.h"
#include "forms/Form.h"
#include "ports/PortDiscovery.h"
#include "upload/FleetPorts.h"
#include "upload/FleetRunner.h"
#include "upload/RxLog.h"
#include "upload/ShownText.h"
#include "upload/Sha256.h"
#include "upload/UploadEngine.h"

namespace vornex {

namespace {

// The command's window, never shown: the monitor's clock, the display's,
// and the box the search for USB printers fills.
class TFleetForm : public TForm {
 public:
  explicit TFleetForm(THost& host) : TForm(host, "FleetForm", "vornex-send", {0, 0, 200, 60}) {}
  TComboBox ComboBox1{this, "ComboBox1", "", {0, 0, 150, 21}};
  TTimer TiCheck{this, "TiCheck", 1000, false};
  TTimer TiShow{this, "TiShow", 200, false};
};

struct TPortSource {
  std::string Text;
  std::string Where;  // for messages: "line 3 of LIST", "--port COM1"
};

// A port text longer than this is no port text.
constexpr std::size_t LongestPortText = 1024;
// A running printer's line on the terminal, so that none wraps and the
// lines can be drawn over.
constexpr std::size_t TerminalWidth = 79;

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// The port texts of a list, a line each; blank lines and lines starting
// with # left out. False, with why, for a line that cannot be a port text.
bool ReadPortList(std::istream& in, const std::string& name, std::vector<TPortSource>& ports, std::string& error) {
  std::string line;
  for (std::size_t number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string text = Trimmed(line);
    if (text.empty() || text[0] == '#') continue;
    const std::string where = "line " + std::to_string(number) + " of " + name;
    if (text.size() > LongestPortText) {
      error = where + " is too long for a port text";
      return false;
    }
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
        error = where + " cannot be read as a port text: it holds a control character (" + std::string(1, c) + ")";
        return false;
      }
    }
    ports.push_back({text, where});
  }
  if (in.bad()) {
    error = name + " could not be read: " + std::strerror(errno);
    return false;
  }
  return true;
}

bool FileExists(const std::string& name) {
  std::error_code ec;
  return !name.empty() && std::filesystem::exists(name, ec) && !std::filesystem::is_directory(name, ec);
}

std::string Rate(double bytesPerSecond) {
  char text[32];
  if (bytesPerSecond >= 1e6)
    std::snprintf(text, sizeof text, "%.1f MB/s", bytesPerSecond / 1e6);
  else
    std::snprintf(text, sizeof text, "%.0f kB/s", bytesPerSecond / 1e3);
  return text;
}

std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

// What the display says of a printer that has ended, or is to be tried again.
std::string EndedLine(const TFleetResult& r) {
  std::string line = ShownLine(r.Port) + ": " + OutcomeWord(r.Outcome) + ", " + std::to_string(r.BytesSent) +
                     "/" + std::to_string(r.BytesTotal) + " bytes in " + SecondsText(r.Seconds);
  if (!r.Reason.empty()) line += "; " + ShownLine(r.Reason);
  if (!r.Reply.empty()) line += "; the printer says: " + ShownLine(r.Reply);
  return line;
}

std::string RetryLine(const TFleetResult& r, const TFleetEvent& e) {
  return ShownLine(r.Port) + ": not reached (" + ShownLine(e.Reason) + "); trying again in " +
         SecondsText(e.RetryIn);
}

std::string RunningLine(const TFleetProgress& p, std::size_t portWidth) {
  std::string port = ShownLine(p.Port);
  if (port.size() > portWidth) port = port.substr(0, portWidth - 1) + "~";
  port.resize(portWidth, ' ');
  const int percent = p.BytesTotal > 0 ? int(p.BytesSent * 100 / p.BytesTotal) : 0;
  std::string line = port + "  " + std::to_string(p.BytesSent) + "/" + std::to_string(p.BytesTotal) + " bytes  " +
                     std::to_string(percent) + "%";
  if (p.Seconds >= 0.5 && !p.Waiting) line += "  " + Rate(double(p.BytesSent) / p.Seconds);
  line += p.Waiting ? "  waiting" : p.StallSeconds > 0 ? "  stalled " + std::to_string(p.StallSeconds) + " s" : "  sending";
  return line.substr(0, TerminalWidth);
}

}  // namespace

TFleetCommand::TFleetCommand(TLoopHost& host, TPlatform& platform, std::istream& in, std::ostream& out,
                             std::ostream& err, bool errIsTerminal)
    : Host(host), Platform(platform), In(in), Out(out), Err(err), Terminal(errIsTerminal) {}

int TFleetCommand::UsageError(const std::string& text) {
  Err << "vornex-send: " << ShownLine(text) << "\n";
  return SendUsageError;
}

int TFleetCommand::Run(const TSendOptions& options) {
  // --- the printers, checked before anything is sent ----------------------------------
  std::vector<TPortSource> sources;
  for (const std::string& port : options.Ports) sources.push_back({port, "--port " + port});
  if (!options.PortsFrom.empty()) {
    std::string error;
    if (options.PortsFrom == StandardInputName) {
      if (!ReadPortList(In, "standard input", sources, error)) return UsageError(error);
    } else {
      std::ifstream list(options.PortsFrom);
      if (!list) return UsageError("the list " + options.PortsFrom + " cannot be read: " + std::strerror(errno));
      if (!ReadPortList(list, options.PortsFrom, sources, error)) return UsageError(error);
    }
  }
  if (sources.empty())
    return UsageError(options.PortsFrom.empty() ? "which printers? Give --port TEXT for each, or --ports-from LIST"
                                                : options.PortsFrom + " names no printer");
  std::map<std::string, const TPortSource*> seen;
  for (const TPortSource& source : sources) {
    const auto [it, fresh] = seen.emplace(source.Text, &source);
    if (!fresh)
      return UsageError(source.Text + " is named twice (" + it->second->Where + ", " + source.Where +
                        "): a printer gets the file once; --repeat sends it more often");
  }

  TFleetForm form(Host);
  std::vector<TUsbPrinterEntry> usbPrinters;
  for (const TPortSource& source : sources) {
    if (!NamesUsbPrinterLabel(source.Text)) continue;
    TPortDiscovery discovery(Platform, form.ComboBox1);
    discovery.DetermineWindowsLevel();
    discovery.FindUsbPrinters();
    const auto& labels = form.ComboBox1.Items();
    const auto& paths = discovery.UsbPrinterPaths();
    for (std::size_t i = 0; i < labels.size() && i < paths.size(); ++i) usbPrinters.push_back({labels[i], paths[i]});
    break;
  }
  std::vector<TFleetPort> ports;
  for (const TPortSource& source : sources) {
    TFleetPort port;
    std::string error;
    if (!PlanFleetPort(Platform, source.Text, usbPrinters, port, error)) return UsageError(source.Where + ": " + error);
    ports.push_back(port);
  }

  TFleetOptions fleet;
  fleet.Jobs = options.Jobs;
  fleet.LineCheck = options.LineCheck;
  fleet.StallLimit = options.StallLimit;
  fleet.Retries = options.Retries;
  fleet.RetryDelay = options.RetryDelay;
  // Every serial port of the fleet gets the line settings given, as one port would.
  const TSerialOptions serial = options.Serial;
  fleet.SetUpSerial = [serial](TComm& comm) { ApplySerialOptions(serial, comm); };
  fleet.FileName = options.File == StandardInputName ? std::string("standard input") : options.File;
  try {
    fleet.BlockSize = StrToInt(options.BlockSize);
    // Checked by the parser.
    fleet.Repeats = options.Repeat.empty() ? 0 : StrToInt(options.Repeat);
    fleet.Delay = StrToFloat(options.Delay);
  } catch (const EConvertError& e) {
    return UsageError(std::string("--block-size: ") + e.what());
  }
  if (fleet.BlockSize < 1) return UsageError(BlockSizeTooSmallText);

  // --- the file, read once --------------------------------------------------------------
  TSharedBytes file;
  std::string loadError;
  if (options.File == StandardInputName) {
    auto bytes = std::make_shared<std::vector<std::uint8_t>>();
    loadError = ReadWholeInput(In, *bytes);
    if (loadError.empty()) file = std::move(bytes);
  } else if (!FileExists(options.File)) {
    loadError = FileNotFoundText;
  } else {
    try {
      file = std::make_shared<const std::vector<std::uint8_t>>(ReadWholeFile(options.File));
    } catch (const std::bad_alloc&) {
      loadError = "Not enough memory to load \"" + options.File + "\".";
    } catch (const std::exception& e) {
      loadError = e.what();
    }
  }

  // --- the run ------------------------------------------------------------------------------
  std::vector<TFleetResult> results;
  bool cancelSent = false;
  if (file) {
    TFleetRunner runner(Host, Platform, fleet);
    std::size_t drawn = 0;
    std::size_t portWidth = 8;
    for (const auto& p : ports) portWidth = std::max(portWidth, std::min<std::size_t>(ShownLine(p.Text).size(), 28));
    auto show = [&](bool final) {
      std::string frame;
      if (Terminal && drawn > 0) frame += "\r\033[" + std::to_string(drawn) + "A";
      for (const TFleetEvent& e : runner.TakeEvents()) {
        const TFleetResult r = runner.Result(e.Index);
        std::string line;
        if (e.Kind == TFleetEvent::Ended)
          line = EndedLine(r);
        else if (e.Kind == TFleetEvent::Retrying)
          line = RetryLine(r, e);
        else if (!Terminal)
          line = ShownLine(r.Port) + (e.Try > 1 ? ": try " + std::to_string(e.Try) : ": sending");
        if (!line.empty()) frame += (Terminal ? "\033[K" : "") + line + "\n";
      }
      if (Terminal) {
        drawn = 0;
        const auto rows = final ? std::vector<TFleetProgress>{} : runner.Progress();
        for (const TFleetProgress& p : rows) {
          if (drawn == ShownRows) break;
          frame += "\033[K" + RunningLine(p, portWidth) + "\n";
          ++drawn;
        }
        if (rows.size() > drawn) {
          frame += "\033[K  and " + std::to_string(rows.size() - drawn) + " more\n";
          ++drawn;
        }
        frame += "\033[J";
      }
      Err << frame << std::flush;
    };
    form.TiCheck.OnTimer = [&] { runner.TiCheckTimer(); };
    form.TiShow.OnTimer = [&] {
      if (Interrupted && !cancelSent) {
        runner.Cancel();
        cancelSent = true;
      }
      show(false);
      if (runner.Finished()) Host.Terminate();
    };
    // The run ends as soon as the last printer has, not at the next tick.
    runner.OnFinished = [this] { Host.Terminate(); };
    Host.Attach(form);
    runner.Start(ports, file);
    form.TiCheck.SetEnabled(true);
    form.TiShow.SetEnabled(true);
    Host.Run();
    form.TiCheck.SetEnabled(false);
    form.TiShow.SetEnabled(false);
    show(true);
    results = runner.Results();
  } else {
    Err << "vornex-send: " << ShownLine(loadError) << "\n";
    for (const TFleetPort& port : ports) {
      TFleetResult r;
      r.Port = port.Text;
      r.Reason = loadError;
      results.push_back(r);
    }
  }

  // --- what became of each ------------------------------------------------------------------
  WriteSummary(Out, results);
  Out.flush();
  const bool allCompleted = file && std::all_of(results.begin(), results.end(), [](const TFleetResult& r) {
                              return r.Outcome == TFleetOutcome::Completed;
                            });
  int status = allCompleted ? SendOk : Interrupted ? Interrupted.load() : SendFailed;
  if (!Out) {
    Err << "vornex-send: the results could not be written to standard output\n";
    if (status == SendOk) status = SendFailed;
  }
  if (!options.Report.empty()) {
    std::string error;
    const std::string sha256 = file ? TSha256::Of(*file) : std::string();
    if (!WriteReport(options.Report, results, sha256, error)) {
      Err << "vornex-send: " << ShownLine(error) << "\n";
      if (status == SendOk) status = SendFailed;
    }
  }
  return status;
}

}  // namespace vornex
