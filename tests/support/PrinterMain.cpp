// vornex-printer: a printer without hardware, for trying Vornex out.
//   vornex-printer [--dir DIR] [--rate BYTES_PER_SECOND] [--reply TEXT] [--reply-at N]
//                  [--no-usb] [--env FILE]
//   vornex-printer --help | --version
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "app/Version.h"
#include "tests/support/VirtualPrinter.h"

namespace {
std::atomic<bool> Quit{false};
void OnSignal(int) { Quit = true; }

const char Usage[] =
    "usage: vornex-printer [--dir DIR] [--rate BYTES_PER_SECOND] [--reply TEXT] [--reply-at N]\n"
    "                      [--no-usb] [--env FILE]\n"
    "       vornex-printer --help | --version\n"
    "Makes the far ends of a printer (a serial line, a parallel port, a USB printer and the\n"
    "maker's USB library) and reports every file that arrives: port, bytes, SHA-256.\n"
    "  --dir DIR      make them in DIR (default: a new folder under /tmp)\n"
    "  --rate N       the serial line takes N bytes a second (default: as fast as they come)\n"
    "  --reply TEXT   sent back on the serial line after each file (default OK;)\n"
    "  --reply-at N   ... or once N bytes of a file have come\n"
    "  --no-usb       no USB printer (while there is one, Vornex sends to it whatever port\n"
    "                 is chosen)\n"
    "  --env FILE     write the settings that point Vornex here to FILE, for `source`\n"
    "  --help         show this text\n"
    "  --version      show the version\n";
}  // namespace

int main(int argc, char** argv) {
  vornex::test::TPrinterOptions options;
  std::string envFile;
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
    vornex::test::TVirtualPrinter printer(options);
    printer.SetOnTransfer([](const vornex::test::TReceived& r) {
      std::printf("%-8s %10llu bytes  sha256 %s\n", r.Port.c_str(), static_cast<unsigned long long>(r.Bytes),
                  r.Sha256.c_str());
      std::fflush(stdout);
    });
    if (!envFile.empty()) printer.WriteEnvFile(envFile);
    std::printf("vornex-printer ready in %s\n", printer.Dir().c_str());
    for (const auto& line : printer.Environment()) std::printf("  %s\n", line.c_str());
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
