// One file to many ports over the scripted platform: what each port text
// names, the workers and their limit, one device by two names, the stall
// rule, retries, copies and Cancel.
#include <gtest/gtest.h>

#include <memory>

#include "tests/support/FakePlatform.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/TempDir.h"
#include "upload/FleetRunner.h"
#include "upload/RxLog.h"
#include "upload/ShownText.h"

namespace vornex::test {
namespace {

TEST(FleetPorts, EachTextNamesItsOwnDeviceOrIsRefused) {
  TFakePlatform platform;
  platform.AddDevice("\\\\.\\COM1");
  platform.AddAlias("\\\\.\\COM:ttyS0", "\\\\.\\COM1");
  platform.AddDevice("LPT1");
  // Paths are taken for what is there, whatever letters they hold.
  platform.DeviceKinds["/dev/usb/lp1"] = TDeviceKind::UsbPrinter;
  platform.DeviceKinds["/dev/serial/by-id/usb-LPT-COM-adapter"] = TDeviceKind::Terminal;
  platform.DeviceKinds["/dev/lp0"] = TDeviceKind::ParallelPort;
  platform.DeviceKinds["/dev/usb/lp7"] = TDeviceKind::NotFound;
  platform.DeviceKinds["/home/me/label.prn"] = TDeviceKind::Other;
  const std::vector<TUsbPrinterEntry> usb{{"Common USB-2", "\\\\?\\usb#a"}, {"Common USB-3", "\\\\?\\usb#b"},
                                          {"Common USB-3", "\\\\?\\usb#c"}};
  auto plan = [&](const std::string& text, TFleetPort& port) {
    std::string error;
    return PlanFleetPort(platform, text, usb, port, error) ? std::string() : error;
  };
  struct TCase {
    const char* Text;
    std::int32_t Mode;  // 0: refused
    const char* Path;
  } cases[] = {
      {"TCP:10.0.0.7", tmNetwork, ""},           {"COM1", tmSerial, ""},
      {"COM:ttyS0", tmSerial, ""},               {"LPT1", tmParallel, ""},
      {"Common USB-2", tmUsbPrinter, "\\\\?\\usb#a"}, {"/dev/usb/lp1", tmUsbPrinter, "/dev/usb/lp1"},
      {"ZUV USB1", tmVendorUsb, ""},             {"TCP:10.0.0.7:99999", 0, ""},
      {"Common USB-3", 0, ""},                   {"Common USB-9", 0, ""},
      {"ZUV USB", 0, ""},                        {"PRN", 0, ""},
      {"", 0, ""},                               {"PRINTER:Labels Dock 3", tmPrintQueue, ""},
      {"/dev/serial/by-id/usb-LPT-COM-adapter", tmSerial, ""}, {"/dev/lp0", tmParallel, ""},
      {"/dev/usb/lp7", tmParallel, ""},          {"/home/me/label.prn", 0, ""},
  };
  for (const auto& c : cases) {
    TFleetPort port;
    const std::string error = plan(c.Text, port);
    EXPECT_EQ(error.empty(), c.Mode != 0) << c.Text << ": " << error;
    if (c.Mode == 0) continue;
    EXPECT_EQ(port.Mode, c.Mode) << c.Text;
    EXPECT_EQ(port.UsbPrinterPath, c.Path) << c.Text;
  }
  // Two names of one line share the device; the same printer by two
  // spellings of its address too; others do not.
  TFleetPort a, b, c, d, e;
  plan("COM1", a), plan("COM:ttyS0", b), plan("LPT1", c), plan("TCP:PRINTER.example", d), plan("TCP:printer.example:9100", e);
  EXPECT_EQ(a.Identity, b.Identity);
  EXPECT_NE(a.Identity, c.Identity);
  EXPECT_EQ(d.Identity, e.Identity);
  TFleetPort serialPath;
  plan("/dev/serial/by-id/usb-LPT-COM-adapter", serialPath);
  EXPECT_EQ(serialPath.DevicePath, "/dev/serial/by-id/usb-LPT-COM-adapter") << "opened as it stands";
  TFleetPort other;
  EXPECT_EQ(plan("Common USB-3", other), "2 USB printers are listed as \"Common USB-3\": name each by its device path");
}

TEST(FleetReplies, TheFirstLineIsKeptAndShownPrintable) {
  TFirstLine line;
  const std::string bytes = std::string("\r\n\0O", 4) + "K\x1b[2J\\;second;";
  line.Add(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  EXPECT_EQ(line.Text(), "OK\x1b[2J\\");
  EXPECT_EQ(ShownLine(line.Text()), "OK\\x1b[2J\\");
  EXPECT_EQ(ShownLine("caf\xc3\xa9\x7f\xe2\x80\xae"), "caf\xc3\xa9\\x7f\\u202e");
}

class FleetTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Platform.ReleaseAll();
    Runner.reset();
  }
  void Start(const std::vector<std::string>& texts, const std::vector<std::uint8_t>& data) {
    std::vector<TFleetPort> ports;
    for (const auto& text : texts) {
      TFleetPort port;
      std::string error;
      ASSERT_TRUE(PlanFleetPort(Platform, text, {}, port, error)) << error;
      ports.push_back(port);
    }
    Runner = std::make_unique<TFleetRunner>(Host, Platform, Options);
    Runner->Start(ports, std::make_shared<const std::vector<std::uint8_t>>(data));
  }
  bool Finish(int timeoutMs = 10000) {
    return Host.WaitUntil([&] { return Runner->Finished(); }, timeoutMs);
  }
  // The monitor's ticks, a second each.
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) Runner->TiCheckTimer();
  }
  std::shared_ptr<TFakeDevice> HeldDevice(const std::string& name) {
    auto device = Platform.AddDevice(name);
    device->HoldWrites = true;
    return device;
  }
  // Until this many ports are open at once.
  bool WaitOpen(int handles) {
    return Host.WaitUntil([&] { return Platform.OpenDeviceHandles() == handles; });
  }

  THeadlessHost Host;
  TFakePlatform Platform;
  TFleetOptions Options;
  std::map<std::string, std::shared_ptr<TFakeDevice>> Devices;
  std::unique_ptr<TFleetRunner> Runner;
};

TEST_F(FleetTest, AtMostJobsPrintersReceiveAtOnceAndEachGetsTheWholeFile) {
  Options.Jobs = 2;
  for (const auto& name : {"LPT1", "LPT2", "LPT3", "LPT4", "LPT5"}) Devices[name] = HeldDevice(name);
  const auto data = RandomBytes(3000, 1);
  Start({"LPT1", "LPT2", "LPT3", "LPT4", "LPT5"}, data);
  ASSERT_TRUE(WaitOpen(2));
  EXPECT_FALSE(Host.WaitUntil([&] { return Platform.OpenDeviceHandles() > 2; }, 200))
      << "no third port opens while two are held";
  Platform.ReleaseAll();
  ASSERT_TRUE(Finish());
  for (const auto& r : Runner->Results()) {
    EXPECT_EQ(r.Outcome, TFleetOutcome::Completed) << r.Port << ": " << r.Reason;
    EXPECT_EQ(r.BytesSent, 3000);
    EXPECT_EQ(r.Tries, 1);
  }
  for (const auto& [name, device] : Devices) EXPECT_EQ(device->Written, data) << name;
}

TEST_F(FleetTest, TwoNamesOfOneDeviceAreSentToOneAfterTheOther) {
  Options.Jobs = 3;
  Devices["LPT1"] = HeldDevice("LPT1");
  Platform.AddAlias("LPT7", "LPT1");
  Devices["LPT2"] = Platform.AddDevice("LPT2");
  const auto data = RandomBytes(2000, 2);
  Start({"LPT1", "LPT7", "LPT2"}, data);
  // The other port is done while the device's first name still holds it,
  // and its second name has not opened it.
  ASSERT_TRUE(Host.WaitUntil([&] { return Runner->Result(2).Outcome == TFleetOutcome::Completed; }));
  EXPECT_EQ(Platform.CountCalls("OpenPortA"), 2);
  EXPECT_EQ(Runner->Result(1).Tries, 0);
  Platform.ReleaseAll();
  ASSERT_TRUE(Finish());
  std::vector<std::uint8_t> twice = data;
  twice.insert(twice.end(), data.begin(), data.end());
  EXPECT_EQ(Devices["LPT1"]->Written, twice) << "two whole files, not mixed";
  for (const auto& r : Runner->Results()) EXPECT_EQ(r.Outcome, TFleetOutcome::Completed) << r.Port;
}

TEST_F(FleetTest, APortThatTakesNothingTimesOutAtTheStallLimitAndTheOthersComplete) {
  Options.StallLimit = 2;
  Devices["LPT1"] = HeldDevice("LPT1");
  Devices["LPT2"] = Platform.AddDevice("LPT2");
  const auto data = RandomBytes(5000, 3);
  Start({"LPT1", "LPT2"}, data);
  ASSERT_TRUE(Host.WaitUntil([&] { return Runner->Result(1).Outcome == TFleetOutcome::Completed; }));
  ASSERT_TRUE(WaitOpen(1));
  Ticks(2);
  EXPECT_FALSE(Runner->Finished()) << "the limit is not yet passed";
  Ticks(1);
  ASSERT_TRUE(Finish(3000)) << "the held write was not ended";
  const TFleetResult r = Runner->Result(0);
  EXPECT_EQ(r.Outcome, TFleetOutcome::TimedOut);
  EXPECT_EQ(r.Reason, "Time Out: no progress for more than 2 s");
  EXPECT_EQ(r.BytesSent, 0);
  EXPECT_EQ(Devices["LPT2"]->Written, data);
}

TEST_F(FleetTest, AnUnreachablePrinterIsTriedAgainButOneThatTookBytesIsNot) {
  Options.Retries = 3;
  Options.RetryDelay = 0.05;
  Options.ConnectLimitMs = 300;
  auto refusing = Platform.AddPeer("10.0.0.1", 9100);
  refusing->ConnectError = WSAECONNREFUSED;
  auto resetting = Platform.AddPeer("10.0.0.2", 9100);
  resetting->ResetAfter = 1000;
  const auto data = RandomBytes(4000, 4);
  Start({"TCP:10.0.0.1", "TCP:10.0.0.2"}, data);
  // The first try is refused; the printer then comes up.
  std::vector<TFleetEvent> events;
  ASSERT_TRUE(Host.WaitUntil([&] {
    for (const auto& e : Runner->TakeEvents()) events.push_back(e);
    return std::any_of(events.begin(), events.end(), [](const auto& e) { return e.Kind == TFleetEvent::Retrying; });
  }));
  Platform.WaitUntil([&] {
    refusing->ConnectError = ERROR_SUCCESS;
    return true;
  });
  ASSERT_TRUE(Finish());
  const TFleetResult reached = Runner->Result(0);
  EXPECT_EQ(reached.Outcome, TFleetOutcome::Completed) << reached.Reason;
  EXPECT_GE(reached.Tries, 2);
  EXPECT_EQ(reached.Reason.rfind("reached on try ", 0), 0u) << reached.Reason;
  EXPECT_EQ(refusing->Received, data);
  const TFleetResult cut = Runner->Result(1);
  EXPECT_EQ(cut.Outcome, TFleetOutcome::Failed);
  EXPECT_EQ(cut.Tries, 1);
  EXPECT_NE(cut.Reason.find("; not sent again: 1000 bytes had gone to the printer"), std::string::npos) << cut.Reason;
  EXPECT_EQ(resetting->Connections, 1);
}

TEST_F(FleetTest, EachPrinterGetsItsCopiesAndCancelStopsTheRunningAndTheWaiting) {
  Options.Repeats = 2;
  Options.Delay = 0;
  Devices["LPT1"] = Platform.AddDevice("LPT1");
  const auto data = RandomBytes(700, 5);
  Start({"LPT1"}, data);
  ASSERT_TRUE(Finish());
  EXPECT_EQ(Devices["LPT1"]->Written.size(), 3 * data.size());
  EXPECT_EQ(Runner->Result(0).Outcome, TFleetOutcome::Completed);
  EXPECT_EQ(Runner->Result(0).BytesTotal, 2100);

  Options.Repeats = 0;
  Options.Jobs = 1;
  Options.Retries = 2;
  Options.RetryDelay = 60;
  Platform.AddPeer("10.0.0.3", 9100)->ConnectError = WSAECONNREFUSED;
  Devices["LPT2"] = HeldDevice("LPT2");
  Devices["LPT3"] = Platform.AddDevice("LPT3");
  Start({"TCP:10.0.0.3", "LPT2", "LPT3"}, RandomBytes(100000, 6));
  ASSERT_TRUE(WaitOpen(1));
  Runner->Cancel();
  ASSERT_TRUE(Finish(3000));
  const auto results = Runner->Results();
  EXPECT_EQ(results[0].Outcome, TFleetOutcome::Cancelled);
  EXPECT_EQ(results[0].Reason.rfind("cancelled while waiting to try again; the last try: Cannot connect", 0), 0u)
      << results[0].Reason;
  EXPECT_EQ(results[1].Outcome, TFleetOutcome::Cancelled);
  EXPECT_EQ(results[2].Outcome, TFleetOutcome::NotStarted);
  EXPECT_TRUE(Devices["LPT3"]->Written.empty());
}

}  // namespace
}  // namespace vornex::test
