// The port settings dialog: the chosen items reach Comm1 on Ok only.
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

TEST_F(PortSetupTest, OkWithoutChoosingChangesNothingNorATypedText) {
  const TSettings before = Settings();
  ASSERT_EQ(before, (TSettings{br9600, da8, paNone, sb10, fcCTS}));
  Setup([&](TComSetupForm& d) {
    EXPECT_TRUE(d.Visible());
    d.CBBaudRate.TypeText("115200");
    d.CBParity.TypeText("Odd");
    Ok(d);
  });
  EXPECT_EQ(Settings(), before);
  EXPECT_FALSE(Dialog.Visible());
  EXPECT_EQ(Dialog.CBBaudRate.Text(), "115200") << "the box keeps what was typed";
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
