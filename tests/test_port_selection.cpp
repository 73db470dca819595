// What the port box's text means: the transfer mode, Port setup, and the
// probe of a COM port's modem lines.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/MainFormFixture.h"
#include "ports/UsbDeviceKey.h"
#include "tests/support/UsbPrinters.h"

namespace vornex::test {
namespace {

class SelectionTest : public MainFormTest {
 protected:
  std::shared_ptr<TFakeDevice> AddComPort(const std::string& name, DWORD modemStatus) {
    auto port = Platform.AddDevice(name);
    port->ModemStatus = modemStatus;
    return port;
  }
  std::vector<std::string> Lines() const {
    return {Form->LaRTS.Caption(), Form->LaCTS.Caption(), Form->LaRing.Caption(),
            Form->LaRlsd.Caption()};
  }
  int Probes() { return Platform.CountCalls("GetCommModemStatus"); }
  // Types the text, and lets it stand still long enough to be probed.
  void TypeAndWait(const std::string& text) {
    Form->ComboBox1.TypeText(text);
    Host.Advance(TPortSelection::ProbeDelayMs);
  }
};

TEST_F(SelectionTest, TheTextDecidesTheModeAndOnlyACOMPortIsProbed) {
  AddComPort("COM1", MS_DSR_ON);
  struct TCase {
    std::string Text;
    std::int32_t Mode;
    bool PortSetup;
  } cases[] = {
      {"LPT1", tmParallel, false},     {"ZUV USB2", tmVendorUsb, false},
      {"COM1", tmSerial, true},        {"Common USB-2", tmVendorUsb, false},
      {"com1", tmVendorUsb, false},    // lower case matches nothing: no change
      {"PRN", tmVendorUsb, false},
  };
  for (const auto& c : cases) {
    const int probesBefore = Probes();
    TypeAndWait(c.Text);
    EXPECT_EQ(Form->Job.TransferMode, c.Mode) << c.Text;
    EXPECT_EQ(Form->BuSetupCom.Enabled(), c.PortSetup) << c.Text;
    EXPECT_EQ(Probes() - probesBefore, c.Mode == tmSerial ? 4 : 0) << c.Text;
  }
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_FALSE(Form->Comm1.Enabled()) << "the probe closes the port";
  EXPECT_EQ(Platform.OpenDeviceHandles(), 0);
}

TEST_F(SelectionTest, AUSBPrinterFoundMakesEveryTextModeFourWithoutAProbe) {
  AddComPort("COM1", MS_DSR_ON);
  AddUsbPrinter(Platform, std::string("VID_") + MakerVendorId + "&PID_0002", "A");
  Form->ComboBox1.DropDown();
  for (const char* text : {"COM1", "LPT1", "ZUV USB0", "anything"}) {
    Form->ComboBox1.TypeText(text);
    EXPECT_EQ(Form->Job.TransferMode, tmUsbPrinter) << text;
    EXPECT_FALSE(Form->BuSetupCom.Enabled()) << text;
  }
  EXPECT_EQ(Platform.CountCalls("OpenPortA"), 1) << "only discovery's test-open";
  EXPECT_EQ(Platform.CountCalls("CreateFileA"), 0);
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(SelectionTest, TheProbeShowsEachLineAndWarnsWhenNoneIsOn) {
  struct TCase {
    DWORD Status;
    std::vector<std::string> Lines;
  } cases[] = {
      {MS_DSR_ON, {"1", "0", "0", "0"}},
      {MS_CTS_ON, {"0", "1", "0", "0"}},
      {MS_RING_ON, {"0", "0", "1", "0"}},
      {MS_RLSD_ON | MS_DSR_ON, {"1", "0", "0", "1"}},
  };
  for (const auto& c : cases) {
    AddComPort("COM1", c.Status);
    TypeAndWait("COM1");
    EXPECT_EQ(Lines(), c.Lines) << c.Status;
  }
  EXPECT_TRUE(Host.Messages.empty());

  AddComPort("COM1", 0);
  Host.WhileMessageShown = [&](const std::string&) {
    EXPECT_TRUE(Form->Comm1.Enabled()) << "the port is closed once the message is dismissed";
  };
  TypeAndWait("COM1");
  EXPECT_EQ(Lines(), (std::vector<std::string>{"0", "0", "0", "0"}));
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"Device not found"});
  EXPECT_FALSE(Form->Comm1.Enabled());
  EXPECT_EQ(Form->Job.TransferMode, tmSerial) << "a failed probe keeps mode 1";
  EXPECT_EQ(Form->Comm1.DeviceName(), "\\\\.\\COM1");
}

// A message box that comes up while the user types takes the next
// keystroke. The mode follows every keystroke; the probe waits until the
// text has stood still.
TEST_F(SelectionTest, TypingProbesOnceTheTextStandsStillAndPickingProbesAtOnce) {
  AddComPort("COM1", MS_CTS_ON);
  for (const char* text : {"C", "CO", "COM", "COM1"}) {
    Form->ComboBox1.TypeText(text);
    Host.Advance(TPortSelection::ProbeDelayMs - 1);
  }
  EXPECT_EQ(Form->Job.TransferMode, tmSerial) << "the mode as soon as the text names a COM port";
  EXPECT_TRUE(Form->BuSetupCom.Enabled());
  EXPECT_EQ(Probes(), 0);
  EXPECT_EQ(Platform.CountCalls("CreateFileA"), 0);
  Host.Advance(1);
  EXPECT_EQ(Probes(), 4) << "one probe, of COM1";
  EXPECT_EQ(Form->LaCTS.Caption(), "1");
  Host.Advance(10 * TPortSelection::ProbeDelayMs);
  EXPECT_EQ(Probes(), 4) << "and no more while the text stands";

  // A text that names no COM port any more: the waiting probe goes too.
  Form->ComboBox1.TypeText("COM12");
  Form->ComboBox1.TypeText("LPT1");
  Host.Advance(10 * TPortSelection::ProbeDelayMs);
  EXPECT_EQ(Probes(), 4);
  EXPECT_TRUE(Host.Messages.empty());

  // Picked from the list: at once, with its message.
  Platform.SetValue(SerialCommKeyPath, "\\Device\\Serial9", "COM9");
  Form->ComboBox1.DropDown();
  const auto& items = Form->ComboBox1.Items();
  const auto com9 = std::find(items.begin(), items.end(), "COM9");
  ASSERT_NE(com9, items.end());
  Form->ComboBox1.Pick(static_cast<int>(com9 - items.begin()));
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"Port can't Open"});
  Host.Advance(10 * TPortSelection::ProbeDelayMs);
  EXPECT_EQ(Host.Messages.size(), 1u);
}

// What the message box lets through while it is up (a timer's tick, a pick
// from the list) starts no second probe, so no second box stacks on the first.
TEST_F(SelectionTest, AProbesMessageIsNeverJoinedByASecondBox) {
  Platform.SetValue(SerialCommKeyPath, "\\Device\\Serial9", "COM9");
  Form->ComboBox1.DropDown();
  const auto& items = Form->ComboBox1.Items();
  const int com9 = static_cast<int>(std::find(items.begin(), items.end(), "COM9") - items.begin());
  ASSERT_LT(com9, static_cast<int>(items.size()));
  int shown = 0, most = 0;
  Host.WhileMessageShown = [&](const std::string&) {
    most = std::max(most, ++shown);
    Form->ComboBox1.Pick(com9);
    Host.Advance(10 * TPortSelection::ProbeDelayMs);
    --shown;
  };
  TypeAndWait("COM7");
  EXPECT_EQ(most, 1);
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"Port can't Open"});
  // Once it is closed, the next probe shows its own.
  Host.WhileMessageShown = nullptr;
  Form->ComboBox1.Pick(com9);
  EXPECT_EQ(Host.Messages.size(), 2u);
}

// Start does not wait for the text to stand still: it probes at once, and
// the probe that was waiting does not come afterwards.
TEST_F(SelectionTest, StartProbesATypedCOMPortAtOnce) {
  auto com1 = AddComPort("COM1", MS_DSR_ON);
  Form->ComboBox1.TypeText("COM1");
  Form->EdFileName.SetText(Dir.Write("job.bin", RandomBytes(20)));
  ASSERT_TRUE(Host.Click(Form->BuStart));
  EXPECT_EQ(Probes(), 4);
  ASSERT_TRUE(WaitIdle());
  Host.Advance(10 * TPortSelection::ProbeDelayMs);
  EXPECT_EQ(Probes(), 4);
  EXPECT_EQ(com1->Written.size(), 20u);
}

// A port that opens but refuses its settings is closed again by Open: it
// cannot be used, and the probe says so.
TEST_F(SelectionTest, APortThatOpensButRefusesItsSettingsCannotBeOpened) {
  AddComPort("COM1", MS_DSR_ON);
  Platform.FailCall("SetCommTimeouts", ERROR_GEN_FAILURE);
  TypeAndWait("COM1");
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"Port can't Open"}) << "the failure of Open is swallowed";
  EXPECT_FALSE(Form->Comm1.Enabled());
  EXPECT_EQ(Platform.OpenDeviceHandles(), 0);
}

// A change of the port box while a transfer runs leaves the transfer and its
// port alone and takes effect when the transfer is over.
TEST_F(SelectionTest, AChangeDuringATransferWaitsUntilItEnds) {
  auto com1 = AddComPort("COM1", MS_DSR_ON);
  AddComPort("COM2", MS_DSR_ON);
  com1->HoldWrites = true;
  const auto data = RandomBytes(40);
  Form->EdFileName.SetText(Dir.Write("job.bin", data));
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_TRUE(Host.WaitUntil([&] { return Platform.CountCalls("WriteFile") > 0; }));
  ASSERT_TRUE(Form->Comm1.Enabled());
  const int opens = Platform.CountCalls("CreateFileA");
  const int probes = Probes();
  const int closes = Platform.CountCalls("CloseHandle");

  Form->ComboBox1.TypeText("COM2");
  Form->ComboBox1.TypeText("LPT1");
  EXPECT_EQ(Form->Job.TransferMode, tmSerial);
  EXPECT_EQ(Platform.CountCalls("CreateFileA"), opens);
  EXPECT_EQ(Probes(), probes);
  EXPECT_EQ(Platform.CountCalls("CloseHandle"), closes);
  EXPECT_TRUE(Form->Comm1.Enabled());
  EXPECT_EQ(Form->Comm1.DeviceName(), "\\\\.\\COM1");
  EXPECT_TRUE(Form->Selection.ChangePending());

  Platform.ReleaseWrites("COM1");
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(com1->Written, data);
  EXPECT_EQ(Form->Job.TransferMode, tmParallel) << "the last change applies at the end";
  EXPECT_FALSE(Form->BuSetupCom.Enabled());
  EXPECT_FALSE(Form->Selection.ChangePending());
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(SelectionTest, EveryStartProbesTheCOMPortAndAWarningDoesNotStopIt) {
  auto com1 = AddComPort("COM1", 0);
  const auto data = RandomBytes(20);
  Form->EdFileName.SetText(Dir.Write("job.bin", data));
  ASSERT_TRUE(Host.Click(Form->BuStart));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Host.Messages, std::vector<std::string>{"Device not found"});
  EXPECT_EQ(com1->Written, data);
}

// On Linux a port typed as a path is the device behind it, whatever letters
// the path holds, and even beside a USB printer; anything else is refused at
// Start, and nothing is said while typing.
TEST_F(SelectionTest, ADevicePathIsTakenForWhatTheDeviceIsEvenBesideAUsbPrinter) {
  auto printer = AddUsbPrinter(Platform, std::string("VID_") + MakerVendorId + "&PID_0002", "A");
  Form->ComboBox1.DropDown();
  ASSERT_EQ(Form->Ports.UsbPrinterPaths().size(), 1u);
  auto adapter = AddComPort("/dev/ttyUSB0", MS_DSR_ON);
  auto named = Platform.AddDevice("/dev/usb/lp1");
  named->IsComm = false;
  auto fifo = Platform.AddDevice("/run/label-fifo");
  fifo->FileType = FILE_TYPE_PIPE;
  fifo->IsComm = false;
  Platform.DeviceKinds = {{"/dev/ttyUSB0", TDeviceKind::Terminal},
                          {"/dev/usb/lp1", TDeviceKind::UsbPrinter},
                          {"/run/label-fifo", TDeviceKind::Fifo},
                          {"/dev/null", TDeviceKind::Other},
                          {"/dev/ttyUSB9", TDeviceKind::NotFound}};
  struct TCase {
    std::string Text;
    std::int32_t Mode;
    bool PortSetup;
    std::shared_ptr<TFakeDevice> Device;
  } cases[] = {
      {"/dev/ttyUSB0", tmSerial, true, adapter},
      {"/dev/usb/lp1", tmUsbPrinter, false, named},
      {"/run/label-fifo", tmParallel, false, fifo},
  };
  for (const auto& c : cases) {
    const int probesBefore = Probes();
    TypeAndWait(c.Text);
    EXPECT_EQ(Form->Job.TransferMode, c.Mode) << c.Text;
    EXPECT_EQ(Form->BuSetupCom.Enabled(), c.PortSetup) << c.Text;
    EXPECT_EQ(Probes() - probesBefore, c.Mode == tmSerial ? 4 : 0) << c.Text;
    const auto data = RandomBytes(1000, static_cast<unsigned>(c.Text.size()));
    SendFile(data);
    EXPECT_TRUE(Form->Job.TransferDone) << c.Text;
    EXPECT_EQ(c.Device->Written, data) << c.Text << " gets the file";
  }
  EXPECT_TRUE(printer->Written.empty()) << "not the USB printer found";
  EXPECT_TRUE(Host.Messages.empty()) << Host.LastMessage();

  const std::pair<std::string, std::string> refused[] = {
      {"/dev/null", "Port /dev/null can't be opened: it is a file or a folder, not a port."},
      {"/dev/ttyUSB9", "Port /dev/ttyUSB9 can't be opened: there is no such port."},
  };
  for (const auto& [text, message] : refused) {
    TypeAndWait(text);
    EXPECT_TRUE(Host.Messages.empty()) << "nothing said while typing: " << Host.LastMessage();
    EXPECT_FALSE(Form->BuSetupCom.Enabled());
    StartWith(RandomBytes(10));
    EXPECT_EQ(Host.Messages, std::vector<std::string>{message});
    EXPECT_FALSE(Form->Upload.Busy()) << "nothing started";
    EXPECT_TRUE(Form->BuStart.Enabled());
    Host.Messages.clear();
  }
  EXPECT_TRUE(printer->Written.empty());
}

}  // namespace
}  // namespace vornex::test
