// The port settings dialog: the chosen items and typed values reach Comm1
// on Ok only.
#include <gtest/gtest.h>

#include "dialogs/ComSetupForm.h"
#include "tests/support/MainFormFixture.h"

namespace vornex::test {
namespace {

class PortSetupTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    Host.Attach(Dialog);
    Form->ComSetupForm = &Dialog;
    Form->ComboBox1.SetText("TEST");
  }
  // Opens the dialog with Port setup; the user does `act` in it.
  void Setup(std::function<void(TComSetupForm&)> act) {
    Host.ModalScripts.push_back([act](TForm& f) { act(static_cast<TComSetupForm&>(f)); });
    ASSERT_TRUE(Host.Click(Form->BuSetupCom));
  }
  void Ok(TComSetupForm& d) { ASSERT_TRUE(Host.Click(d.Button1)); }
  void Cancel(TComSetupForm& d) { ASSERT_TRUE(Host.Click(d.Button2)); }

  struct TSettings {
    TBaudRate Baud;
    TDataBits Data;
    TParity Parity;
    TStopBits Stop;
    TFlowControl Flow;
    bool operator==(const TSettings& o) const {
      return Baud == o.Baud && Data == o.Data && Parity == o.Parity && Stop == o.Stop && Flow == o.Flow;
    }
  };
  TSettings Settings() const {
    const TComm& c = Form->Comm1;
    return {c.BaudRate(), c.DataBits(), c.Parity(), c.StopBits(), c.FlowControl()};
  }
  TComSetupForm Dialog{Host};
};

TEST_F(PortSetupTest, OkWithoutTouchingABoxChangesNothing) {
  const TSettings before = Settings();
  ASSERT_EQ(before, (TSettings{br9600, da8, paNone, sb10, fcCTS}));
  Setup([&](TComSetupForm& d) {
    EXPECT_TRUE(d.Visible());
    Ok(d);
  });
  EXPECT_EQ(Settings(), before);
  EXPECT_FALSE(Form->Comm1.FlowControlChosen()) << "the device's own handshake stays";
  EXPECT_FALSE(Dialog.Visible());
  EXPECT_TRUE(Host.Messages.empty());
}

// A typed text counts as choosing the value it names, any rate of the
// component's list among them; picking from the list afterwards wins.
TEST_F(PortSetupTest, ATypedTextAppliesTheValueItNames) {
  Setup([&](TComSetupForm& d) {
    d.CBBaudRate.TypeText("115200");
    d.CBDataBits.TypeText("7");
    d.CBParity.TypeText("odd");
    d.CBStopBits.TypeText("2");
    d.CBFlowControl.TypeText("XON/XOFF");
    Ok(d);
  });
  EXPECT_EQ(Settings(), (TSettings{br115200, da7, paOdd, sb20, fcSoftware}));
  EXPECT_TRUE(Form->Comm1.FlowControlChosen());
  EXPECT_TRUE(Host.Messages.empty());
  EXPECT_EQ(Dialog.CBBaudRate.Text(), "115200") << "the box keeps what was typed";

  const std::pair<const char*, TBaudRate> rates[] = {{"110", br110}, {"14400", br14400}, {" 256000 ", br256000}};
  for (const auto& [text, rate] : rates) {
    Setup([&](TComSetupForm& d) {
      d.CBBaudRate.TypeText(text);
      Ok(d);
    });
    EXPECT_EQ(Form->Comm1.BaudRate(), rate) << text;
  }
  for (const auto& [text, flow] : {std::pair<const char*, TFlowControl>{"Software", fcSoftware}, {"DTR/DSR", fcDTR},
                                   {"none", fcNone}, {"Hardware", fcCTS}}) {
    Setup([&](TComSetupForm& d) {
      d.CBFlowControl.TypeText(text);
      Ok(d);
    });
    EXPECT_EQ(Form->Comm1.FlowControl(), flow) << text;
  }
  Setup([&](TComSetupForm& d) {
    d.CBBaudRate.TypeText("4800");
    d.CBBaudRate.Pick(1);
    d.CBParity.Pick(0);
    d.CBParity.TypeText("Space");
    Ok(d);
  });
  EXPECT_EQ(Form->Comm1.BaudRate(), br19200) << "the pick came last";
  EXPECT_EQ(Form->Comm1.Parity(), paSpace) << "the typing came last";
}

// A text that names no value says which ones its box takes and applies
// nothing from that box; the other boxes apply.
TEST_F(PortSetupTest, ATypedTextThatNamesNoValueIsToldAndAppliesNothing) {
  Setup([&](TComSetupForm& d) {
    d.CBBaudRate.TypeText("12345");
    d.CBDataBits.TypeText("9");
    d.CBParity.TypeText("Odd");
    d.CBFlowControl.TypeText("sometimes");
    Ok(d);
  });
  EXPECT_EQ(Settings(), (TSettings{br9600, da8, paOdd, sb10, fcCTS}));
  EXPECT_FALSE(Form->Comm1.FlowControlChosen());
  ASSERT_EQ(Host.Messages.size(), 1u);
  const std::string& m = Host.Messages[0];
  EXPECT_NE(m.find("Baud rate \"12345\" is not one of 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, "
                   "38400, 56000, 57600, 115200, 128000, 256000"),
            std::string::npos)
      << m;
  EXPECT_NE(m.find("Data bits \"9\" is not one of 4, 5, 6, 7, 8"), std::string::npos) << m;
  EXPECT_NE(m.find("Flow control \"sometimes\" is not one of None, Hardware, XON/XOFF, DTR/DSR"), std::string::npos)
      << m;
  EXPECT_EQ(m.find("Parity"), std::string::npos) << m;
}

TEST_F(PortSetupTest, EachItemStandsForItsSetting) {
  const TBaudRate bauds[] = {br9600, br19200, br57600};
  const TDataBits data[] = {da4, da5, da6, da7, da8};
  const TParity parities[] = {paEven, paMark, paNone, paOdd, paSpace};
  const TStopBits stops[] = {sb10, sb15, sb20};
  const TFlowControl flows[] = {fcCTS, fcNone};
  for (int i = 4; i >= 0; --i) {
    Setup([&](TComSetupForm& d) {
      d.CBBaudRate.Pick(i % 3);
      d.CBDataBits.Pick(i);
      d.CBParity.Pick(i);
      d.CBStopBits.Pick(i % 3);
      d.CBFlowControl.Pick(i % 2);
      Ok(d);
    });
    EXPECT_EQ(Settings(), (TSettings{bauds[i % 3], data[i], parities[i], stops[i % 3], flows[i % 2]}))
        << "index " << i;
    EXPECT_EQ(Dialog.CBParity.Text(), Dialog.CBParity.Items()[static_cast<std::size_t>(i)]);
  }
}

TEST_F(PortSetupTest, CancelAndEscapeKeepTheBoxesButChangeNothing) {
  Setup([&](TComSetupForm& d) {
    d.CBBaudRate.Pick(1);
    Cancel(d);
  });
  EXPECT_EQ(Form->Comm1.BaudRate(), br9600);
  Setup([&](TComSetupForm& d) {
    EXPECT_EQ(d.CBBaudRate.Text(), "19200") << "the last choice is still shown";
    d.CBFlowControl.Pick(1);
    d.PressEscape();
  });
  EXPECT_EQ(Form->Comm1.BaudRate(), br9600);
  EXPECT_EQ(Form->Comm1.FlowControl(), fcCTS);
  Setup([&](TComSetupForm& d) { Ok(d); });
  EXPECT_EQ(Form->Comm1.BaudRate(), br19200) << "Ok applies what the boxes still hold";
  EXPECT_EQ(Form->Comm1.FlowControl(), fcNone);
}

}  // namespace
}  // namespace vornex::test
