// Printers on the network as the system's own services tell of them: a
// DNS-SD announcement through a real Avahi daemon (on the system bus), and a
// CUPS queue printing to a raw socket, in a CUPS server of the test's own.
// The test starts what is not running and stops what it started; a service
// that cannot be started fails the test with the reason.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "app/MainForm.h"
#include "os/posix/DynamicLibrary.h"
#include "os/posix/PosixPlatform.h"
#include "tests/support/AvahiDaemon.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/CupsServer.h"
#include "tests/support/Environment.h"
#include "tests/support/HeadlessHost.h"
#include "upload/Sha256.h"
#include "tests/support/TempDir.h"
#include "printer/VirtualPrinter.h"

namespace vornex::test {
namespace {

using printer::TPrinterOptions;
using printer::TReceived;
using printer::TVirtualPrinter;

namespace fs = std::filesystem;

std::vector<std::string> NetworkEntries(const std::vector<std::string>& items) {
  std::vector<std::string> entries;
  for (const auto& item : items)
    if (item.rfind("TCP:", 0) == 0) entries.push_back(item);
  return entries;
}

// The entry of a printer announced under name at port: TCP:ADDRESS:PORT (NAME).
bool ListsAnnounced(const std::vector<std::string>& items, const std::string& name, std::uint16_t port) {
  const std::string tail = ":" + std::to_string(port) + " (" + name + ")";
  return std::any_of(items.begin(), items.end(), [&](const std::string& item) {
    return item.rfind("TCP:", 0) == 0 && item.size() > tail.size() &&
           item.compare(item.size() - tail.size(), tail.size(), tail) == 0;
  });
}

class NetworkDiscovery : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Avahi = new TAvahi;
    Cups = new TCupsServer;
  }
  static void TearDownTestSuite() {
    delete Cups;
    delete Avahi;
  }
  void SetUp() override {
    ASSERT_EQ(Avahi->Reason(), "");
    ASSERT_EQ(Cups->Reason(), "");
    Environment.Set("CUPS_SERVER", Cups->Socket());
  }
  static TAvahi* Avahi;
  static TCupsServer* Cups;
  TEnvironment Environment;
  TPrinterOptions Options = [] {
    TPrinterOptions o;
    o.Usb = false;
    o.Vendor = false;
    return o;
  }();
  TVirtualPrinter Printer{Options};
  // Unique to this run: another run's announcement is not taken for ours.
  const std::string Name = "Vornex Test " + std::to_string(::getpid());
};
TAvahi* NetworkDiscovery::Avahi = nullptr;
TCupsServer* NetworkDiscovery::Cups = nullptr;

TEST_F(NetworkDiscovery, TheListShowsAnnouncedPrintersAndRawCupsQueuesAndOneCanBeSentTo) {
  const std::uint16_t announced = 9188;
  TBackground publisher({"avahi-publish-service", Name, "_pdl-datastream._tcp", std::to_string(announced)});
  ASSERT_TRUE(publisher.WaitForOutput("Established", 10000)) << "avahi-publish-service: " << publisher.Output();
  const std::string queue = "VornexTest" + std::to_string(::getpid());
  ASSERT_EQ(Cups->AddRawQueue(queue, "socket://127.0.0.1:" + std::to_string(Printer.TcpPort())), "");
  ASSERT_EQ(Cups->AddRawQueue(queue + "Ipp", "ipp://127.0.0.1:631/printers/elsewhere"), "");
  const std::string queueEntry = Printer.TcpPortText() + " (" + queue + ")";

  // The window: each drop-down waits a moment at most, and a search that
  // takes longer shows at a later one.
  THeadlessHost host;
  TPosixPlatform platform;
  TMainForm form(host, platform);
  host.Attach(form);
  form.Show();
  const bool listed = WaitFor(
      [&] {
        form.ComboBox1.DropDown();
        const auto& items = form.ComboBox1.Items();
        return ListsAnnounced(items, Name, announced) &&
               std::find(items.begin(), items.end(), queueEntry) != items.end();
      },
      15000);
  ASSERT_TRUE(listed) << ::testing::PrintToString(form.ComboBox1.Items());
  const auto entries = NetworkEntries(form.ComboBox1.Items());
  EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                          [&](const std::string& e) { return e.find(queue) != std::string::npos; }),
            1)
      << "the queue printing over IPP is no raw printer";

  // The queue's printer, picked from the list, takes a file.
  const int index = static_cast<int>(std::find(form.ComboBox1.Items().begin(), form.ComboBox1.Items().end(),
                                                queueEntry) - form.ComboBox1.Items().begin());
  form.ComboBox1.Pick(index);
  EXPECT_EQ(form.Job.TransferMode, tmNetwork);
  TTempDir dir;
  const auto data = RandomBytes(50000, 41);
  form.EdFileName.SetText(dir.Write("job.bin", data));
  ASSERT_TRUE(host.Click(form.BuStart));
  ASSERT_TRUE(host.WaitUntil([&] { return !form.Upload.Busy(); }, 30000));
  EXPECT_TRUE(form.Job.TransferDone) << host.LastMessage();
  ASSERT_TRUE(Printer.WaitForTransfers(1));
  EXPECT_EQ(Printer.Transfers()[0].Sha256, TSha256::Of(data));

  // vornex-send lists them too: it waits for the search, nobody waits on it.
  const TRun list = RunProgram({VORNEX_SEND, "--list-ports"});
  EXPECT_EQ(list.Status, 0) << list.Err;
  EXPECT_TRUE(ListsAnnounced(Lines(list.Out), Name, announced)) << list.Out;
  EXPECT_NE(list.Out.find(queueEntry + "\n"), std::string::npos) << list.Out;

  // Once the announcement is withdrawn, a later search no longer finds it.
  publisher.Stop();
  EXPECT_TRUE(WaitFor(
      [&] {
        form.ComboBox1.DropDown();
        return !ListsAnnounced(form.ComboBox1.Items(), Name, announced);
      },
      15000))
      << ::testing::PrintToString(form.ComboBox1.Items());
}

// Without them the list lacks their printers, and vornex-send says why on
// standard error: "no printers" and "could not look" are told apart.
TEST(NetworkDiscoveryWithoutServices, TheListLacksThemAndTheCommandLineSaysWhy) {
  TTempDir dir;
  TEnvironment environment;
  // A bus on which no Avahi daemon answers, and no bus at all; a CUPS
  // server that is not there.
  TBackground bus({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=unix:path=" + dir.Path("bus")});
  ASSERT_TRUE(WaitFor([&] { return Connectable(dir.Path("bus")); }, 5000)) << "dbus-daemon: " << bus.Output();
  environment.Set("CUPS_SERVER", dir.Path("no-cups.sock"));
  for (const std::string& address : {"unix:path=" + dir.Path("bus"), "unix:path=" + dir.Path("no-bus")}) {
    environment.Set("DBUS_SYSTEM_BUS_ADDRESS", address);
    const TRun list = RunProgram({VORNEX_SEND, "--list-ports"});
    EXPECT_EQ(list.Status, 0) << address;
    EXPECT_EQ(NetworkEntries(Lines(list.Out)), std::vector<std::string>{}) << address << ": " << list.Out;
    const auto said = Lines(list.Err);
    ASSERT_EQ(said.size(), 2u) << list.Err;
    EXPECT_EQ(said[0].rfind("vornex-send: no printers from CUPS: the server " + dir.Path("no-cups.sock") +
                                " cannot be reached (",
                            0),
              0u)
        << said[0];
    EXPECT_EQ(said[1], "vornex-send: no printers from DNS-SD (Avahi): Daemon not running") << address;
  }

}

// The loader's own words for a library that is not there.
TEST(NetworkDiscoveryWithoutServices, AMissingLibraryIsNamedInTheLoadersWords) {
  posix::TDynamicLibrary missing("libvornex-nonesuch.so.9");
  EXPECT_FALSE(missing.Loaded());
  EXPECT_NE(missing.Failure().find("libvornex-nonesuch.so.9: cannot open shared object file"), std::string::npos)
      << missing.Failure();
  posix::TDynamicLibrary c("libc.so.6");
  void (*fn)() = nullptr;
  EXPECT_FALSE(c.Bind(fn, "vornex_nonesuch"));
  EXPECT_NE(c.Failure().find("vornex_nonesuch"), std::string::npos) << c.Failure();
}

// Announced names are the network's to choose: whatever they hold is shown
// as text on the terminal and in the window's list, never obeyed.
TEST_F(NetworkDiscovery, NamesFromTheNetworkAreShownNotObeyed) {
  const std::string tag = std::to_string(::getpid());
  const std::vector<std::string> names = {"Csi\xc2\x9b" "2J " + tag, "Nel\xc2\x85" "x " + tag,
                                          "Line\xe2\x80\xa8" "sep " + tag, "\xe2\x80\xae" "fdp.exe " + tag};
  std::vector<std::string> args{VORNEX_ANNOUNCER, "21000"};
  args.insert(args.end(), names.begin(), names.end());
  TBackground announcer(args);
  ASSERT_TRUE(announcer.WaitForOutput("Established", 15000)) << announcer.Output();
  TRun list;
  ASSERT_TRUE(WaitFor(
      [&] {
        list = RunProgram({VORNEX_SEND, "--list-ports"});
        return std::count(list.Out.begin(), list.Out.end(), '\n') > 0 &&
               list.Out.find("fdp.exe " + tag) != std::string::npos && list.Out.find("sep " + tag) != std::string::npos &&
               list.Out.find("2J " + tag) != std::string::npos && list.Out.find("x " + tag) != std::string::npos;
      },
      20000))
      << list.Out << announcer.Output();
  for (const char* shown : {"(Csi\\u009b2J ", "(Nel\\u0085x ", "(Line\\u2028sep ", "(\\u202efdp.exe "})
    EXPECT_NE(list.Out.find(shown + tag + ")\n"), std::string::npos) << shown << "\n" << list.Out;
  for (const std::string& raw : {std::string("\xc2\x9b"), std::string("\xc2\x85"), std::string("\xe2\x80\xa8"),
                                 std::string("\xe2\x80\xae")})
    EXPECT_EQ(list.Out.find(raw), std::string::npos);

  THeadlessHost host;
  TPosixPlatform platform;
  TMainForm form(host, platform);
  host.Attach(form);
  std::vector<std::string> ours;
  ASSERT_TRUE(WaitFor(
      [&] {
        form.ComboBox1.DropDown();
        ours.clear();
        for (const auto& item : form.ComboBox1.Items())
          if (item.find(" " + tag + ")") != std::string::npos) ours.push_back(item);
        return ours.size() == names.size();
      },
      15000))
      << ::testing::PrintToString(form.ComboBox1.Items());
  for (const auto& item : ours) {
    EXPECT_EQ(item.find('\n'), std::string::npos);
    EXPECT_EQ(item.find("\xe2\x80\xa8"), std::string::npos) << "one line each";
  }
}

// Many printers: each is resolved in parallel with the others, and a list
// shows what has been resolved when it is asked for, the rest at the next.
TEST_F(NetworkDiscovery, ManyPrintersAreListedAsTheyAreResolved) {
  const int count = 500;
  const std::string prefix = "Many " + std::to_string(::getpid());
  TBackground announcer({VORNEX_ANNOUNCER, "22000", "--count", std::to_string(count), prefix});
  ASSERT_TRUE(announcer.WaitForOutput("Established", 60000)) << announcer.Output();
  auto ours = [&](const std::vector<std::string>& items) {
    return static_cast<int>(std::count_if(items.begin(), items.end(), [&](const std::string& item) {
      return item.find("(" + prefix + " ") != std::string::npos;
    }));
  };

  // The window's drop-downs, each waiting a fifth of a second: the list
  // grows as the search goes on, rather than staying empty until it is over.
  TPosixPlatform platform;
  std::vector<int> seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while ((seen.empty() || seen.back() < count) && std::chrono::steady_clock::now() < deadline) {
    TNetworkSearch found;
    ASSERT_TRUE(platform.Discovery().EnumNetworkPrinters(found, 200));
    std::vector<std::string> names;
    for (const auto& p : found.Printers) names.push_back("(" + p.Name + ")");
    seen.push_back(ours(names));
  }
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), count) << ::testing::PrintToString(seen);
  EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [&](int n) { return n > 0 && n < count; }))
      << "a list while the search went on: " << ::testing::PrintToString(seen);

  // vornex-send waits for the search: all of them, in one run (a machine
  // busy with other work may slow the daemon down for a run or two).
  std::vector<int> listed;
  for (int run = 0; run < 5 && (listed.empty() || listed.back() < count); ++run) {
    const TRun list = RunProgram({VORNEX_SEND, "--list-ports"});
    EXPECT_EQ(list.Status, 0) << list.Err;
    listed.push_back(ours(Lines(list.Out)));
  }
  EXPECT_EQ(listed.back(), count) << ::testing::PrintToString(listed);

  // A platform that goes while its searches are inside the libraries
  // interrupts them and waits for their threads: none is left behind.
  const auto threads = [] {
    return std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator());
  };
  const auto before = threads();
  for (int round = 0; round < 3; ++round) {
    auto ending = std::make_unique<TPosixPlatform>();
    TNetworkSearch found;
    ASSERT_TRUE(ending->Discovery().EnumNetworkPrinters(found, 50));
    const auto start = std::chrono::steady_clock::now();
    ending.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "interrupted, not waited out";
    EXPECT_EQ(threads(), before);
  }
}

}  // namespace
}  // namespace vornex::test
