// vornex-printer: a printer without hardware, for trying Vornex out.
//   vornex-printer [--dir DIR] [--rate BYTES_PER_SECOND] [--reply TEXT] [--reply-at N]
//                  [--no-usb] [--tcp-port N] [--tcp-stall] [--tcp-reset-after N]
//                  [--tcp-count N] [--tcp-rate BYTES_PER_SECOND] [--tcp-list FILE] [--env FILE]
//   vornex-printer --help | --version
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>

#include "app/Version.h"
#include "printer/VirtualPrinter.h"

namespace {
std::atomic<bool> Quit{false};
void OnSignal(int) { Quit = true; }

const char Usage[] =
    "usage: vornex-printer [--dir DIR] [--rate BYTES_PER_SECOND] [--reply TEXT] [--reply-at N]\n"
    "                      [--no-usb] [--tcp-port N] [--tcp-stall] [--tcp-reset-after N]\n"
    "                      [--tcp-count N] [--tcp-rate BYTES_PER_SECOND] [--tcp-list FILE] [--env FILE]\n"
    "       vornex-printer --help | --version\n"
    "Makes the far ends of a printer (a serial line, a parallel port, a USB printer, the\n"
    "maker's USB library and a printer on the network), prints the settings that point\n"
    "Vornex at them as shell commands ready to paste, and reports every file that\n"
    "arrives: port, bytes, SHA-256.\n"
    "  --dir DIR      make them in DIR (default: a new folder under /tmp)\n"
    "  --rate N       the serial line takes N bytes a second (default: as fast as they come)\n"
    "  --reply TEXT   sent back on the serial line and the network connection after each\n"
    "                 file (default OK;)\n"
    "  --reply-at N   ... or once N bytes of a file have come\n"
    "  --no-usb       no USB printer (while there is one, the Vornex window sends to it\n"
    "                 whatever port is chosen)\n"
    "  --tcp-port N   the network printer listens on 127.0.0.1 port N (default: a free\n"
    "                 port); Vornex reaches it as TCP:127.0.0.1:N, one connection a file\n"
    "  --tcp-stall    the network printer takes a connection, then reads nothing\n"
    "  --tcp-reset-after N\n"
    "                 the network printer resets a connection after N bytes\n"
    "  --tcp-count N  N network printers alike, each listening on a port of its own\n"
    "                 (--tcp-port N and the ports after it, or free ports)\n"
    "  --tcp-rate N   each network printer reads N bytes a second (default: as fast\n"
    "                 as they come)\n"
    "  --tcp-list FILE\n"
    "                 write the network printers' port texts to FILE, one a line, for\n"
    "                 vornex-send --ports-from FILE\n"
    "  --env FILE     write the settings that point Vornex here to FILE, for `source`\n"
    "                 (VORNEX_TCP holds the network printer's port text)\n"
    "  --help         show this text\n"
    "  --version      show the version\n";

// A decimal number up to max, or the program ends saying what is wrong.
std::uint64_t Number(const std::string& option, const std::string& text, std::uint64_t max) {
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || text[0] == '-' || value > max) {
    std::cerr << "vornex-printer: " << option << " needs a number from 0 to " << max << ", not '" << text << "'\n";
    std::exit(2);
  }
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  vornex::printer::TPrinterOptions options;
  std::string envFile, listFile;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::cerr << "vornex-printer: " << a << " needs a value\n" << Usage;
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--dir") options.Dir = next();
    else if (a == "--rate") options.SerialRate = std::strtoul(next().c_str(), nullptr, 10);
    else if (a == "--reply") options.Reply = next();
    else if (a == "--reply-at") options.ReplyAt = std::strtoul(next().c_str(), nullptr, 10);
    else if (a == "--no-usb") options.Usb = false;
    else if (a == "--tcp-port") options.TcpPort = static_cast<std::uint16_t>(Number(a, next(), 65535));
    else if (a == "--tcp-stall") options.TcpStall = true;
    else if (a == "--tcp-reset-after") options.TcpResetAfter = Number(a, next(), UINT64_MAX);
    else if (a == "--tcp-count") options.TcpListeners = static_cast<std::size_t>(Number(a, next(), 4096));
    else if (a == "--tcp-rate") options.TcpRate = static_cast<std::size_t>(Number(a, next(), UINT32_MAX));
    else if (a == "--tcp-list") listFile = next();
    else if (a == "--env") envFile = next();
    else if (a == "--version") {
      std::cout << "vornex-printer " << vornex::ProductVersion << "\n";
      return 0;
    } else {
      std::cerr << (a == "--help" ? "" : "vornex-printer: unknown option " + a + "\n") << Usage;
      return a == "--help" ? 0 : 2;
    }
  }
  try {
    vornex::printer::TVirtualPrinter printer(options);
    printer.SetOnTransfer([](const vornex::printer::TReceived& r) {
      std::printf("%-8s %10llu bytes  sha256 %s\n", r.Port.c_str(), static_cast<unsigned long long>(r.Bytes),
                  r.Sha256.c_str());
      std::fflush(stdout);
    });
    if (!envFile.empty()) printer.WriteEnvFile(envFile);
    if (!listFile.empty()) {
      std::ofstream list(listFile, std::ios::trunc);
      for (const auto& text : printer.TcpPortTexts()) list << text << "\n";
      list.close();
      if (!list) throw std::runtime_error("the list " + listFile + " cannot be written");
    }
    std::printf("vornex-printer ready in %s\n", printer.Dir().c_str());
    // Ready to paste into a shell.
    for (const auto& line : printer.ShellExports()) std::printf("  %s\n", line.c_str());
    std::fflush(stdout);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    while (!Quit) ::pause();
  } catch (const std::exception& e) {
    std::cerr << "vornex-printer: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
