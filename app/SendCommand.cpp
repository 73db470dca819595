#include "app/SendCommand.h"

#include <chrono>
#include <cstdio>
#include <ostream>

#include "app/MainForm.h"
#include "forms/Convert.h"
#include "forms/Exception.h"
#include "upload/ShownText.h"

namespace vornex {

const char SendUsage[] =
    "usage: vornex-send [--port TEXT] [--block-size N] [--repeat N] [--delay SECONDS]\n"
    "                   [--no-line-check] FILE\n"
    "       vornex-send --list-ports | --help | --version\n"
    "\n"
    "Sends FILE to a printer, byte for byte, as the Vornex window does.\n"
    "  --port TEXT        the port, as typed in the window's port box (default COM1);\n"
    "                     TCP:HOST or TCP:HOST:PORT for a printer on the network\n"
    "                     (port 9100 when left out; an IPv6 address in brackets)\n"
    "  --block-size N     block size for USB ports (default 512)\n"
    "  --repeat N         send the file N more times (default: once)\n"
    "  --delay SECONDS    pause before each repetition (default 3)\n"
    "  --no-line-check    never give up on a port that stalls\n"
    "  --list-ports       list the ports Vornex finds, one a line, printers on the\n"
    "                     network among them\n"
    "  --help             show this text\n"
    "  --version          show the version\n";

namespace {

// The longest pause the repeat timer can wait, in seconds.
constexpr double LongestDelay = 2147483.647;

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

}  // namespace

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
      if (!value(o.Port)) return parsed;
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
  if (!o.ListPorts && o.File.empty()) {
    parsed.Error = "which file?";
    return parsed;
  }
  parsed.Error = CheckRepeatOptions(o);
  if (!parsed.Error.empty()) return parsed;
  parsed.Options = o;
  return parsed;
}

namespace {

using Clock = std::chrono::steady_clock;

// How long --list-ports gives the search for printers on the network.
constexpr DWORD ListPortsNetworkWaitMs = 4000;

// The probe's warning about a port without live lines does not stop a
// transfer; every other message does.
constexpr char DeviceNotFound[] = "Device not found";

std::string Duration(double seconds) {
  auto s = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

}  // namespace

TSendCommand::TSendCommand(TLoopHost& host, TPlatform& platform, std::ostream& out,
                           std::ostream& err, bool errIsTerminal)
    : Host(host), Platform(platform), Out(out), Err(err), Terminal(errIsTerminal) {}

int TSendCommand::Run(const TSendOptions& options) {
  TMainForm form(Host, Platform);
  if (options.ListPorts) {
    // Nobody waits on a window here: the network search may take its time.
    form.Ports.NetworkWaitMs = ListPortsNetworkWaitMs;
    form.Ports.RefreshPortList();
    for (const auto& port : form.ComboBox1.Items()) Out << ShownLine(port) << "\n";
    Out.flush();
    // "No printers" and "could not look" are told apart.
    for (const TSourceFailure& f : form.Ports.NetworkSearchFailures())
      Err << "vornex-send: no printers from " << f.Source << ": " << ShownLine(Platform.Reason(f.Error)) << "\n";
    if (!Out) {
      Err << "vornex-send: the port list could not be written to standard output\n";
      return SendFailed;
    }
    return SendOk;
  }

  // The window's boxes, filled in as a user would.
  form.EdFileName.SetText(options.File);
  form.ComboBox1.SetText(options.Port);
  form.Edit1.SetText(options.BlockSize);
  form.EdRepeatTime.SetText(options.Delay);
  form.CBLineCheck.SetChecked(options.LineCheck);
  // Checked by the parser: a whole number, 0 or more.
  const int repeats = options.Repeat.empty() ? 0 : StrToInt(options.Repeat);
  if (repeats > 0) {
    form.EdRepeatCount.SetText(options.Repeat);
    form.CBRepeat.SetChecked(true);
  }
  form.Memo1.Clear();

  std::string failure;
  bool cancelSent = false;
  Host.OnMessage = [&](const std::string& text) {
    if (text == DeviceNotFound) {
      Err << (Terminal ? "\r\033[K" : "") << "vornex-send: " << text << "\n";
      return;
    }
    if (failure.empty()) failure = text;
  };

  // What the printer says goes to standard output, a line as it comes. Lost
  // output does not stop the printer, but the run does not end well.
  std::size_t shownLines = 0;
  bool outputLost = false;
  auto printerLines = [&] {
    const auto& lines = form.Memo1.Lines();
    if (lines.size() < shownLines) shownLines = 0;  // the log was emptied
    for (; shownLines < lines.size(); ++shownLines) Out << ShownLine(lines[shownLines]) << "\n";
    Out.flush();
    if (!Out) outputLost = true;
  };
  auto oldMemoChange = form.Memo1.OnChange;
  form.Memo1.OnChange = [&] {
    printerLines();
    if (oldMemoChange) oldMemoChange();
  };

  // The first Start and each repetition; a transfer counts once the port
  // has taken its every byte, whatever comes after (a Ctrl-C included). One
  // that stopped short ends the run at once: there is no minute to wait for.
  const std::int64_t wanted = 1 + std::int64_t(repeats);
  std::int64_t delivered = 0;
  auto transferEnded = form.Upload.TransferEnded;
  form.Upload.TransferEnded = [&] {
    if (transferEnded) transferEnded();
    if (form.Upload.Delivered()) {
      ++delivered;
    } else if (!form.Job.CancelRequested && failure.empty()) {
      failure = form.Job.StopReason.empty() ? "the transfer stopped before the whole file was sent"
                                            : form.Job.StopReason;
    }
  };

  // Each transfer starts in a Start, by us or by the repeat timer: the clock
  // of its rate starts there.
  Clock::time_point transferStart = Clock::now(), lastLine = Clock::now(), lastGain = Clock::now();
  std::int64_t total = 0, lastSent = 0;
  auto stampStart = [&] {
    transferStart = lastLine = lastGain = Clock::now();
    lastSent = 0;
  };
  auto repeatTick = form.TiRepeat.OnTimer;
  form.TiRepeat.OnTimer = [&] {
    stampStart();
    repeatTick();
  };
  auto progress = [&](bool final) {
    const std::int64_t sent = form.Job.BytesSent;
    const auto now = Clock::now();
    if (sent != lastSent) {
      lastGain = now;
      lastSent = sent;
    }
    total = form.PBPer.Max();
    // Up to the last byte that went, not the pause after it.
    const double elapsed = std::chrono::duration<double>((final ? lastGain : now) - transferStart).count();
    const double rate = elapsed > 0 ? double(sent) / elapsed : 0;
    const int percent = total > 0 ? int(sent * 100 / total) : (final ? 100 : 0);
    // Too short a time says nothing of the rate.
    const std::string speed = elapsed >= 0.5 ? std::to_string(static_cast<long>(rate)) + " B/s" : "";
    std::string left = elapsed >= 0.5 && rate > 0 && total > sent ? Duration(double(total - sent) / rate) + " left" : "";
    if (Terminal) {
      std::string bar(20, '.');
      for (int i = 0; i < percent / 5 && i < 20; ++i) bar[static_cast<std::size_t>(i)] = '#';
      Err << "\r\033[K[" << bar << "] " << percent << "%  " << sent << "/" << total << " bytes  " << speed
          << "  " << left << (final ? "\n" : "") << std::flush;
    } else if (final || now - lastLine >= std::chrono::seconds(1)) {
      lastLine = now;
      Err << sent << "/" << total << " bytes " << percent << "%" << (speed.empty() ? "" : " " + speed)
          << (left.empty() ? "" : " " + left) << "\n"
          << std::flush;
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

  if (!failure.empty()) {
    Err << "vornex-send: " << ShownText(failure) << "\n";
    return SendFailed;
  }
  if (delivered < wanted) {
    if (const int status = Interrupted) {
      Err << "vornex-send: cancelled\n";
      return status;
    }
    Err << "vornex-send: the transfer did not complete\n";
    return SendFailed;
  }
  if (delivered > 1) Err << "vornex-send: " << delivered << " transfers completed\n";
  if (outputLost) {
    Err << "vornex-send: what the printer sent could not be written to standard output\n";
    return SendFailed;
  }
  return SendOk;
}

}  // namespace vornex
