#include "app/SendCommand.h"

#include <chrono>
#include <cstdio>
#include <istream>
#include <ostream>

#include "app/MainForm.h"
#include "comm/SettingText.h"
#include "forms/Convert.h"
#include "forms/Exception.h"
#include "upload/PortErrors.h"
#include "upload/ShownText.h"

namespace vornex {

const char SendUsage[] =
    "usage: vornex-send --port TEXT [--block-size N] [--repeat N] [--delay SECONDS]\n"
    "                   [--no-line-check] [--stall-limit SECONDS] [--baud N] [--data-bits N]\n"
    "                   [--parity P] [--stop-bits S] [--flow F] FILE\n"
    "       vornex-send --port TEXT --port TEXT... | --ports-from LIST [--jobs N] [--retry N]\n"
    "                   [--retry-delay SECONDS] [--report FILE.json|FILE.csv] [options above] FILE\n"
    "       vornex-send --list-ports | --help | --version\n"
    "\n"
    "Sends FILE to a printer, byte for byte, as the Vornex window does; FILE - is\n"
    "standard input, read whole first.\n"
    "  --port TEXT        the port, as typed in the window's port box (required):\n"
    "                     a name --list-ports gives (COM:ttyUSB0, LPT1, Common USB-2),\n"
    "                     COMn, LPTn, a device's path (/dev/ttyUSB0,\n"
    "                     /dev/serial/by-id/...), or TCP:HOST or TCP:HOST:PORT for\n"
    "                     a printer on the network (port 9100 when left out; an\n"
    "                     IPv6 address in brackets); PRINTER:NAME for a print\n"
    "                     queue, done once the job has printed (its states on\n"
    "                     standard output)\n"
    "  --block-size N     block size for USB ports (default 512)\n"
    "  --repeat N         send the file N more times (default: once)\n"
    "  --delay SECONDS    pause before each repetition (default 3)\n"
    "  --no-line-check    never give up on a port that stalls\n"
    "  --stall-limit SECONDS\n"
    "                     give up on a port that takes nothing for more than\n"
    "                     SECONDS (default 60)\n"
    "  --baud N           a serial line's rate in bits/s: 110, 300, 600, 1200, 2400,\n"
    "                     4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200,\n"
    "                     128000 or 256000 (default 9600)\n"
    "  --data-bits N      4, 5, 6, 7 or 8 (default 8)\n"
    "  --parity P         none, even, odd, mark or space (default none)\n"
    "  --stop-bits S      1, 1.5 or 2 (default 1)\n"
    "  --flow F           handshake: none, hardware (RTS/CTS), xonxoff or dtr\n"
    "                     (DTR/DSR; not on Linux); default: the port's own stays\n"
    "  --list-ports       list the ports Vornex finds, one a line, printers on the\n"
    "                     network and print queues among them\n"
    "  --help             show this text\n"
    "  --version          show the version\n"
    "\n"
    "To many printers at once, each printer gets the file (and its repetitions), and\n"
    "a table at the end says what became of each:\n"
    "  --port TEXT        given more than once: a printer each time\n"
    "  --ports-from LIST  the printers in the file LIST, a port text a line; blank\n"
    "                     lines and lines starting with # are left out; - reads\n"
    "                     standard input\n"
    "  --jobs N           how many printers receive at once (default 16; 1: one\n"
    "                     after another)\n"
    "  --retry N          try a printer that could not be reached (refused, no\n"
    "                     route, no such name, port busy) N more times (default 0);\n"
    "                     a printer that has taken bytes is never sent to again\n"
    "  --retry-delay SECONDS\n"
    "                     wait before the first retry (default 5), doubled for each\n"
    "                     next one\n"
    "  --report FILE      the results as JSON (FILE.json) or CSV (FILE.csv): port,\n"
    "                     result, bytes_sent, bytes_total, seconds, reason, reply,\n"
    "                     sha256\n"
    "Exit status: 0 when every printer got the file, 1 when any did not, 2 for a\n"
    "usage error, 130 after Ctrl-C and 143 after a termination request.\n";

namespace {

// The longest pause the repeat timer can wait, in seconds.
constexpr double LongestDelay = 2147483.647;
// A thread each; and a delay that doubles this often is past any wait.
constexpr std::int32_t MostJobs = 1024;
constexpr std::int32_t MostRetries = 30;

// What is wrong with the repetition options, or nothing. Checked before
// anything is sent: the window would only find out once the first transfer
// is over.
std::string CheckRepeatOptions(const TSendOptions& o) {
  if (!o.Repeat.empty()) {
    bool ok = true;
    try {
      ok = StrToInt(o.Repeat) >= 0;
    } catch (const EConvertError&) {
      ok = false;
    }
    if (!ok) return "--repeat takes a whole number of repetitions, 0 or more, not '" + o.Repeat + "'";
  }
  bool ok = true;
  try {
    const double seconds = StrToFloat(o.Delay);
    ok = seconds >= 0 && seconds <= LongestDelay;
  } catch (const EConvertError&) {
    ok = false;
  }
  if (!ok) return "--delay takes a number of seconds from 0 to 2147483, not '" + o.Delay + "'";
  return {};
}

// A whole number from min to max, or false.
bool WholeNumber(const std::string& text, std::int32_t min, std::int32_t max, std::int32_t& value) {
  try {
    value = StrToInt(text);
  } catch (const EConvertError&) {
    return false;
  }
  return value >= min && value <= max;
}

// A number of seconds from 0 to the longest pause, or false.
bool Seconds(const std::string& text, double& value) {
  try {
    value = StrToFloat(text);
  } catch (const EConvertError&) {
    return false;
  }
  return value >= 0 && value <= LongestDelay;
}

// What the report's name says it is, or empty.
std::string ReportKind(const std::string& path) {
  const auto dot = path.rfind('.');
  if (dot == std::string::npos || path.find_first_of("/\\", dot) != std::string::npos) return {};
  std::string extension = path.substr(dot + 1);
  for (char& c : extension)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return extension == "json" || extension == "csv" ? extension : std::string();
}

}  // namespace

// --- the serial line's settings ---------------------------------------------------------

namespace {

struct TSerialOption {
  const char* Name;
  const char* Valid;  // what a message lists
};
constexpr TSerialOption SerialOptions[] = {
    {"--baud", nullptr},
    {"--data-bits", "4, 5, 6, 7 or 8"},
    {"--parity", "none, even, odd, mark or space"},
    {"--stop-bits", "1, 1.5 or 2"},
    {"--flow", "none, hardware, xonxoff or dtr"},
};

}  // namespace

bool IsSerialOption(const std::string& option) {
  for (const auto& o : SerialOptions)
    if (option == o.Name) return true;
  return false;
}

bool ParseSerialOption(const std::string& option, const std::string& value, TSerialOptions& into,
                       std::string& error) {
  bool ok = false;
  if (option == "--baud") ok = static_cast<bool>(into.BaudRate = BaudRateOfText(value));
  else if (option == "--data-bits") ok = static_cast<bool>(into.DataBits = DataBitsOfText(value));
  else if (option == "--parity") ok = static_cast<bool>(into.Parity = ParityOfText(value));
  else if (option == "--stop-bits") ok = static_cast<bool>(into.StopBits = StopBitsOfText(value));
  else if (option == "--flow") ok = static_cast<bool>(into.FlowControl = FlowControlOfText(value));
  if (ok) return true;
  std::string valid = ValidBaudRates();
  for (const auto& o : SerialOptions)
    if (option == o.Name && o.Valid) valid = o.Valid;
  error = option + " takes " + valid + ", not '" + value + "'";
  return false;
}

void ApplySerialOptions(const TSerialOptions& options, TComm& comm) {
  if (options.BaudRate) comm.SetBaudRate(*options.BaudRate);
  if (options.DataBits) comm.SetDataBits(*options.DataBits);
  if (options.Parity) comm.SetParity(*options.Parity);
  if (options.StopBits) comm.SetStopBits(*options.StopBits);
  if (options.FlowControl) comm.ChooseFlowControl(*options.FlowControl);
}

// --- standard input -------------------------------------------------------------------------

std::string ReadWholeInput(std::istream& in, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  char chunk[1 << 16];
  for (;;) {
    in.read(chunk, sizeof chunk);
    const std::streamsize n = in.gcount();
    // Checked as it comes: a stream has no size to look at first.
    if (std::int64_t(bytes.size()) + n > LargestFile) {
      bytes.clear();
      return TooLargeText("Standard input");
    }
    bytes.insert(bytes.end(), chunk, chunk + n);
    if (in.eof()) return {};
    if (!in) {
      bytes.clear();
      return "Cannot read standard input.";
    }
  }
}

// --- what the terminal shows -------------------------------------------------------------------

namespace {

std::string Duration(double seconds) {
  auto s = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

}  // namespace

std::string ProgressText(const TProgress& p, bool bar) {
  const double rate = p.Seconds > 0 ? double(p.Sent) / p.Seconds : 0;
  const int percent = p.Total > 0 ? int(p.Sent * 100 / p.Total) : (p.Final ? 100 : 0);
  // Too short a time says nothing of the rate.
  const std::string speed = p.Seconds >= 0.5 ? std::to_string(static_cast<long>(rate)) + " B/s" : "";
  // While nothing moves, an estimate would only grow.
  std::string state;
  if (!p.Final && p.StillSeconds >= StalledAfterSeconds)
    state = "stalled " + std::to_string(static_cast<long>(p.StillSeconds)) + " s";
  else if (!p.Final && p.Seconds >= 0.5 && rate > 0 && p.Total > p.Sent)
    state = Duration(double(p.Total - p.Sent) / rate) + " left";
  const std::string counts = std::to_string(p.Sent) + "/" + std::to_string(p.Total) + " bytes";
  if (!bar) {
    return counts + " " + std::to_string(percent) + "%" + (speed.empty() ? "" : " " + speed) +
           (state.empty() ? "" : " " + state);
  }
  std::string shown(20, '.');
  for (int i = 0; i < percent / 5 && i < 20; ++i) shown[static_cast<std::size_t>(i)] = '#';
  return "[" + shown + "] " + std::to_string(percent) + "%  " + counts + "  " + speed + "  " + state;
}

std::string SummaryLine(const TRunSummary& s) {
  auto sentPart = [&] {
    std::string part;
    if (s.Sent > 0) part = std::to_string(s.Sent) + " of " + std::to_string(s.Total) + " bytes sent";
    if (s.Completed > 0)
      part += (part.empty() ? "" : ", ") + std::string("after ") + std::to_string(s.Completed) + " completed transfer" +
              (s.Completed > 1 ? "s" : "");
    return part;
  };
  if (s.Cancelled) {
    const std::string part = sentPart();
    return "cancelled" + (part.empty() ? std::string() : ": " + part);
  }
  if (!s.Stopped.empty()) {
    const std::string part = sentPart();
    return s.Stopped + (part.empty() ? std::string() : " (" + part + ")");
  }
  std::string line = s.Completed > 1 ? std::to_string(s.Completed) + " transfers completed" : "completed";
  line += ": " + std::to_string(s.BytesDelivered) + " bytes in " + Duration(s.Seconds);
  if (s.Seconds > 0) line += ", " + std::to_string(static_cast<long>(double(s.BytesDelivered) / s.Seconds)) + " B/s";
  return line;
}

std::string PermissionHint(TPlatform& platform, std::int32_t transferMode, const std::string& portText,
                           const std::string& failure) {
  if (transferMode != tmSerial || failure != CantOpenText(platform, PortCalled(portText), ERROR_ACCESS_DENIED))
    return failure;
  return failure + " Serial ports belong to a group (dialout on Debian and Ubuntu): join it with"
                   " 'sudo usermod -aG dialout $USER', then log in again.";
}

TParsedCommand ParseSendCommand(const std::vector<std::string>& args) {
  TParsedCommand parsed;
  TSendOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) {
        parsed.Error = a + " needs a value";
        return false;
      }
      into = args[++i];
      return true;
    };
    if (a == "--help" || a == "-h") {
      parsed.Help = true;
      return parsed;
    } else if (a == "--version") {
      parsed.Version = true;
      return parsed;
    } else if (a == "--port") {
      std::string port;
      if (!value(port)) return parsed;
      o.Port = port;
      o.Ports.push_back(port);
    } else if (a == "--ports-from") {
      if (!value(o.PortsFrom)) return parsed;
      if (o.PortsFrom.empty()) {
        parsed.Error = "--ports-from needs the name of a list of ports";
        return parsed;
      }
    } else if (a == "--stall-limit" || a == "--jobs" || a == "--retry") {
      std::string text;
      if (!value(text)) return parsed;
      if (a == "--stall-limit" && !WholeNumber(text, 1, TStallRule::LongestLimit, o.StallLimit)) {
        parsed.Error = "--stall-limit takes a whole number of seconds from 1 to 2147483, not '" + text + "'";
        return parsed;
      }
      if (a == "--jobs" && !WholeNumber(text, 1, MostJobs, o.Jobs)) {
        parsed.Error = "--jobs takes a whole number of printers from 1 to " + std::to_string(MostJobs) +
                       ", not '" + text + "'";
        return parsed;
      }
      if (a == "--retry" && !WholeNumber(text, 0, MostRetries, o.Retries)) {
        parsed.Error = "--retry takes a whole number of tries from 0 to " + std::to_string(MostRetries) +
                       ", not '" + text + "'";
        return parsed;
      }
      o.FleetOption = o.FleetOption || a != "--stall-limit";
    } else if (a == "--retry-delay") {
      std::string text;
      if (!value(text)) return parsed;
      if (!Seconds(text, o.RetryDelay)) {
        parsed.Error = "--retry-delay takes a number of seconds from 0 to 2147483, not '" + text + "'";
        return parsed;
      }
      o.FleetOption = true;
    } else if (a == "--report") {
      if (!value(o.Report)) return parsed;
      if (ReportKind(o.Report).empty()) {
        parsed.Error = "--report writes FILE.json or FILE.csv, not '" + o.Report + "'";
        return parsed;
      }
      o.FleetOption = true;
    } else if (a == "--block-size") {
      if (!value(o.BlockSize)) return parsed;
    } else if (a == "--repeat") {
      if (!value(o.Repeat)) return parsed;
      if (o.Repeat.empty()) {
        parsed.Error = "--repeat takes a whole number of repetitions, 0 or more";
        return parsed;
      }
    } else if (a == "--delay") {
      if (!value(o.Delay)) return parsed;
    } else if (IsSerialOption(a)) {
      std::string text;
      if (!value(text)) return parsed;
      if (!ParseSerialOption(a, text, o.Serial, parsed.Error)) return parsed;
    } else if (a == "--no-line-check") {
      o.LineCheck = false;
    } else if (a == "--list-ports") {
      o.ListPorts = true;
    } else if (a.size() > 1 && a[0] == '-' && a != "--") {
      parsed.Error = "unknown option " + a;
      return parsed;
    } else {
      if (a == "--") {
        if (++i >= args.size()) break;
      }
      if (!o.File.empty()) {
        parsed.Error = "one file at a time";
        return parsed;
      }
      o.File = args[i];
    }
  }
  if (o.Fleet() && o.ListPorts) {
    parsed.Error = "--list-ports sends nothing: it takes no printers to send to";
    return parsed;
  }
  if (o.PortsFrom == StandardInputName && o.File == StandardInputName) {
    parsed.Error = "standard input holds either the list of ports or the file, not both";
    return parsed;
  }
  if (!o.ListPorts && o.File.empty()) {
    parsed.Error = "which file?";
    return parsed;
  }
  parsed.Error = CheckRepeatOptions(o);
  if (!parsed.Error.empty()) return parsed;
  // Never a guess: the first port of a machine is often its console.
  if (!o.ListPorts && !o.Port && o.PortsFrom.empty()) {
    parsed.Error = "which port? Name it with --port; the ports found here:";
    parsed.MissingPort = true;
    return parsed;
  }
  parsed.Options = o;
  return parsed;
}

namespace {

using Clock = std::chrono::steady_clock;

// How long --list-ports gives the search for printers on the network.
constexpr DWORD ListPortsNetworkWaitMs = 4000;

double SecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

}  // namespace

TSendCommand::TSendCommand(TLoopHost& host, TPlatform& platform, std::ostream& out, std::ostream& err,
                           bool errIsTerminal, std::istream* in)
    : Host(host), Platform(platform), Out(out), Err(err), Terminal(errIsTerminal), In(in) {}

std::vector<std::string> TSendCommand::FoundPorts(std::vector<TSourceFailure>* failures) {
  // Nobody waits on a window for the list: the network search may take its
  // time in the one search the form makes.
  TMainForm form(Host, Platform, ListPortsNetworkWaitMs);
  if (failures) *failures = form.Ports.NetworkSearchFailures();
  // Names from the network are shown, not obeyed.
  std::vector<std::string> ports;
  for (const auto& port : form.ComboBox1.Items()) ports.push_back(ShownLine(port));
  return ports;
}

int TSendCommand::Run(const TSendOptions& options) {
  if (options.ListPorts) {
    std::vector<TSourceFailure> failures;
    for (const auto& port : FoundPorts(&failures)) Out << port << "\n";
    Out.flush();
    // "No printers" and "could not look" are told apart.
    for (const TSourceFailure& f : failures)
      Err << "vornex-send: no printers from " << f.Source << ": " << ShownLine(Platform.Reason(f.Error)) << "\n";
    if (!Out) {
      Err << "vornex-send: the port list could not be written to standard output\n";
      return SendFailed;
    }
    return SendOk;
  }

  // Read whole before any port is opened, as a file is.
  std::vector<std::uint8_t> input;
  const bool fromInput = options.File == StandardInputName;
  if (fromInput) {
    const std::string error = In ? ReadWholeInput(*In, input) : "Cannot read standard input.";
    if (!error.empty()) {
      Err << "vornex-send: " << error << "\n";
      return SendFailed;
    }
  }

  TMainForm form(Host, Platform);
  // The port given is the port used, a USB printer present or not.
  form.Selection.UsbPrinterTakesEveryPort = false;
  ApplySerialOptions(options.Serial, form.Comm1);
  if (fromInput) form.Upload.FileSource = [&input] { return input; };

  // The window's boxes, filled in as a user would.
  form.EdFileName.SetText(options.File);
  form.ComboBox1.SetText(options.Port.value_or(std::string()));
  form.Edit1.SetText(options.BlockSize);
  form.EdRepeatTime.SetText(options.Delay);
  form.CBLineCheck.SetChecked(options.LineCheck);
  form.Upload.SetStallLimit(options.StallLimit);
  // Checked by the parser: a whole number, 0 or more.
  const int repeats = options.Repeat.empty() ? 0 : StrToInt(options.Repeat);
  if (repeats > 0) {
    form.EdRepeatCount.SetText(options.Repeat);
    form.CBRepeat.SetChecked(true);
  }
  form.Memo1.Clear();

  // A progress bar is on the terminal's last line, without a line end.
  bool barShown = false;
  auto clearBar = [&] {
    if (barShown) Err << "\r\033[K" << std::flush;
    barShown = false;
  };

  std::string failure;
  bool cancelSent = false;
  Host.OnMessage = [&](const std::string& text) {
    // The probe's warning about a port without live lines does not stop a
    // transfer; its "can't open" is said again by the transfer, with the
    // reason. Every other message stops the run.
    if (text == DeviceNotFoundText) {
      clearBar();
      Err << "vornex-send: " << text << "\n";
      return;
    }
    if (text == PortCantOpenText) return;
    if (failure.empty()) failure = text;
  };

  // What the printer says goes to standard output, a line as it comes, on
  // lines of its own. Lost output does not stop the printer, but the run
  // does not end well.
  std::size_t shownLines = 0;
  bool outputLost = false;
  auto printerLines = [&] {
    const auto& lines = form.Memo1.Lines();
    if (lines.size() < shownLines) shownLines = 0;  // the log was emptied
    if (shownLines == lines.size()) return;
    clearBar();
    for (; shownLines < lines.size(); ++shownLines) Out << ShownLine(lines[shownLines]) << "\n";
    Out.flush();
    if (!Out) outputLost = true;
  };
  auto oldMemoChange = form.Memo1.OnChange;
  form.Memo1.OnChange = [&] {
    printerLines();
    if (oldMemoChange) oldMemoChange();
  };

  // Each transfer starts in a Start, by us or by the repeat timer: the clock
  // of its rate starts there.
  Clock::time_point transferStart = Clock::now(), lastLine = Clock::now(), lastGain = Clock::now();
  std::int64_t lastSent = 0;
  auto stampStart = [&] {
    transferStart = lastLine = lastGain = Clock::now();
    lastSent = 0;
  };
  auto observe = [&](Clock::time_point now) {
    const std::int64_t sent = form.Job.BytesSent;
    if (sent != lastSent) {
      lastGain = now;
      lastSent = sent;
    }
  };

  // The first Start and each repetition; a transfer counts once the port
  // has taken its every byte, whatever comes after (a Ctrl-C included). One
  // that stopped short ends the run at once: there is no minute to wait for.
  const std::int64_t wanted = 1 + std::int64_t(repeats);
  TRunSummary summary;
  auto transferEnded = form.Upload.TransferEnded;
  form.Upload.TransferEnded = [&] {
    if (transferEnded) transferEnded();
    observe(Clock::now());
    if (form.Upload.Delivered()) {
      ++summary.Completed;
      summary.BytesDelivered += std::int64_t(form.Job.FileData.Size());
      summary.Seconds += SecondsBetween(transferStart, lastGain);
    } else if (!form.Job.CancelRequested && failure.empty()) {
      failure = form.Job.StopReason.empty() ? "the transfer stopped before the whole file was sent"
                                            : form.Job.StopReason;
    } else if (failure == UsbPortInvalidText && !form.Job.StopReason.empty()) {
      // The window's words for a USB printer that cannot be opened; here the
      // reason is given.
      failure = form.Job.StopReason;
    }
  };
  auto repeatTick = form.TiRepeat.OnTimer;
  form.TiRepeat.OnTimer = [&] {
    stampStart();
    repeatTick();
  };
  auto progress = [&](bool final) {
    const auto now = Clock::now();
    observe(now);
    TProgress p;
    p.Sent = form.Job.BytesSent;
    p.Total = form.PBPer.Max();
    // Up to the last byte that went, not the pause after it.
    p.Seconds = SecondsBetween(transferStart, final ? lastGain : now);
    p.StillSeconds = SecondsBetween(lastGain, now);
    p.Final = final;
    if (Terminal) {
      Err << "\r\033[K" << ProgressText(p, true) << (final ? "\n" : "") << std::flush;
      barShown = !final;
    } else if (final || now - lastLine >= std::chrono::seconds(1)) {
      lastLine = now;
      Err << ProgressText(p, false) << "\n" << std::flush;
    }
  };

  bool wasBusy = false;
  TTimer watch(&form, "Watch", 100, true);
  watch.OnTimer = [&] {
    if ((Interrupted || !failure.empty()) && !cancelSent) {
      form.Upload.BuCancelClick();
      cancelSent = true;
    }
    const bool busy = form.Upload.Busy();
    if (busy) progress(false);
    if (wasBusy && !busy) progress(true);
    wasBusy = busy;
    if (busy) return;
    if (cancelSent) {
      Host.Terminate();
      return;
    }
    // Done once the monitor has let go of the last transfer and no
    // repetition is pending.
    if (!form.TiCheck.Enabled() && !(form.CBRepeat.Checked() && form.TiRepeat.Enabled())) Host.Terminate();
  };
  Host.Attach(form);
  stampStart();
  form.BuStart.Click();
  Host.Run();
  printerLines();
  clearBar();

  // One line says how it ended.
  if (!form.Upload.Delivered()) {
    summary.Sent = form.Job.BytesSent;
    summary.Total = std::int64_t(form.Job.FileData.Size());
  }
  if (!failure.empty()) {
    summary.Stopped = PermissionHint(Platform, form.Job.TransferMode, form.Job.PortText, failure);
    Err << "vornex-send: " << ShownText(SummaryLine(summary)) << "\n";
    return SendFailed;
  }
  if (summary.Completed < wanted) {
    if (const int status = Interrupted) {
      summary.Cancelled = true;
      Err << "vornex-send: " << SummaryLine(summary) << "\n";
      return status;
    }
    summary.Stopped = "the transfer did not complete";
    Err << "vornex-send: " << SummaryLine(summary) << "\n";
    return SendFailed;
  }
  if (outputLost) {
    Err << "vornex-send: what the printer sent could not be written to standard output; " << SummaryLine(summary)
        << "\n";
    return SendFailed;
  }
  Err << "vornex-send: " << SummaryLine(summary) << "\n";
  return SendOk;
}

}  // namespace vornex
