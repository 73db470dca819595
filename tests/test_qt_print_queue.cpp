// The real window offscreen, over the real Linux platform and a CUPS server
// of the test's own: a print queue picked from the port box's own list,
// Start pressed, and the job's states in the log box as they change.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "app/MainForm.h"
#include "os/posix/PosixPlatform.h"
#include "printer/VirtualPrinter.h"
#include "tests/support/CupsServer.h"
#include "tests/support/Environment.h"
#include "tests/support/QtTestHost.h"
#include "tests/support/TempDir.h"
#include "upload/Sha256.h"

namespace vornex::test {
namespace {

TEST(QtPrintQueue, PickedFromTheListItPrintsAndTheLogShowsTheJobsStates) {
  TCupsServer cups;
  ASSERT_EQ(cups.Reason(), "");
  TEnvironment environment;
  environment.Set("CUPS_SERVER", cups.Socket());
  printer::TPrinterOptions options;
  options.Usb = false;
  options.Vendor = false;
  printer::TVirtualPrinter printer(options);
  ASSERT_EQ(cups.AddRawQueue("VornexQt", "socket://127.0.0.1:" + std::to_string(printer.TcpPort()), "Qt dock"), "");

  TPosixPlatform platform;
  TMainForm form(Host(), platform);
  Host().Attach(form);
  form.Show();
  TMessageBoxCloser boxes;
  auto* combo = qobject_cast<QComboBox*>(Host().WidgetOf(form.ComboBox1));
  ASSERT_NE(combo, nullptr);
  combo->showPopup();
  combo->hidePopup();
  const int index = combo->findText("PRINTER:VornexQt (Qt dock)");
  ASSERT_GE(index, 0) << form.ComboBox1.Text();
  combo->setCurrentIndex(index);
  emit combo->activated(index);
  EXPECT_EQ(form.Job.TransferMode, tmPrintQueue);
  EXPECT_FALSE(Host().WidgetOf(form.BuSetupCom)->isEnabled());

  TTempDir dir;
  const auto data = RandomBytes(300000, 12);
  form.EdFileName.SetText(dir.Write("label.prn", data));
  form.Memo1.Clear();
  QTest::mouseClick(qobject_cast<QPushButton*>(Host().WidgetOf(form.BuStart)), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Upload.Busy(); }, 30000));
  EXPECT_TRUE(form.Job.TransferDone) << (boxes.Texts.empty() ? "" : boxes.Texts.front());
  ASSERT_TRUE(printer.WaitForTransfers(1));
  EXPECT_EQ(printer.Transfers()[0].Sha256, TSha256::Of(data));
  const QString log = qobject_cast<QPlainTextEdit*>(Host().WidgetOf(form.Memo1))->toPlainText();
  EXPECT_TRUE(log.startsWith("queued as job ")) << log.toStdString();
  EXPECT_TRUE(log.endsWith("\ncompleted")) << log.toStdString();
  EXPECT_TRUE(boxes.Texts.empty()) << boxes.Texts.front();
}

}  // namespace
}  // namespace vornex::test
