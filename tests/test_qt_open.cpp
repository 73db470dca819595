// The Qt window takes a file from outside: named on the command line, or
// dragged from a file manager and dropped on it. Anything else dragged over
// it is refused.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <QWindow>

#include "app/Application.h"
#include "app/WindowCommand.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/QtTestHost.h"
#include "tests/support/TempDir.h"

namespace vornex::test {
namespace {

QString FileBox(const TMainForm& form) {
  return qobject_cast<QLineEdit*>(Host().WidgetOf(form.EdFileName))->text();
}

// What a file manager's drag carries: the addresses, and the same as text.
std::unique_ptr<QMimeData> Urls(const QList<QUrl>& urls) {
  auto data = std::make_unique<QMimeData>();
  data->setUrls(urls);
  QStringList text;
  for (const QUrl& url : urls) text << url.toString();
  data->setText(text.join('\n'));
  return data;
}

// Drags data over a control of the window and lets go there, delivered as
// the window system delivers it: Qt picks the widget under the point.
struct TDropped {
  bool Entered;
  bool Dropped;
};
TDropped DragAndDrop(QWidget* window, QWidget* over, const QMimeData& data) {
  const QPoint where = over->mapTo(window, over->rect().center());
  QWindow* native = window->windowHandle();
  if (!native) return {false, false};
  QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(native, &enter);
  QDropEvent drop(QPointF(where), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(native, &drop);
  return {enter.isAccepted(), drop.isAccepted()};
}

class QtOpen : public ::testing::Test {
 protected:
  TFakePlatform Platform;
  TTempDir Dir;
};

TEST_F(QtOpen, AFileNamedOnTheCommandLineIsInTheFileBoxAndNothingStarts) {
  const std::string file = Dir.Write("label.prn", "^XA^FDlabel^FS^XZ");
  const TWindowCommand command = ParseWindowCommand({file});
  ASSERT_TRUE(command.Error.empty());
  TApplication application(Host(), Platform, command.File);
  application.MainForm.Show();
  QCoreApplication::processEvents();

  EXPECT_EQ(FileBox(application.MainForm).toStdString(), file);
  EXPECT_EQ(application.MainForm.EdFileName.Text(), file);
  EXPECT_FALSE(application.MainForm.Upload.Busy());
  EXPECT_FALSE(application.MainForm.Job.StartRequested);
  EXPECT_TRUE(Host().WidgetOf(application.MainForm.BuStart)->isEnabled());
  EXPECT_EQ(Host().Title, "ZUV Vornex");
  EXPECT_EQ(application.MainForm.ComSetupForm, &application.ComSetupForm);

  // Without a file the box keeps its default.
  TApplication plain(Host(), Platform);
  EXPECT_EQ(FileBox(plain.MainForm), "FileName");
}

TEST_F(QtOpen, ALocalFileDroppedOnTheWindowFillsTheFileBox) {
  TApplication application(Host(), Platform);
  application.MainForm.Show();
  QWidget* window = Host().WidgetOf(application.MainForm);
  EXPECT_TRUE(window->acceptDrops());
  const std::string file = Dir.Write("firmware.bin", "firmware");
  const auto data = Urls({QUrl::fromLocalFile(QString::fromStdString(file))});
  // Onto the file box itself, where a user lets go of it: the box must not
  // paste the file's address in as text.
  const TDropped onBox = DragAndDrop(window, Host().WidgetOf(application.MainForm.EdFileName), *data);
  EXPECT_TRUE(onBox.Entered);
  EXPECT_TRUE(onBox.Dropped);
  EXPECT_EQ(FileBox(application.MainForm).toStdString(), file);
  EXPECT_EQ(application.MainForm.EdFileName.Text(), file);
  EXPECT_FALSE(application.MainForm.Upload.Busy());

  // Anywhere else on the window does the same.
  const std::string other = Dir.Write("other.prn", "other");
  const auto otherData = Urls({QUrl::fromLocalFile(QString::fromStdString(other))});
  EXPECT_TRUE(DragAndDrop(window, Host().WidgetOf(application.MainForm.GroupBox3), *otherData).Dropped);
  EXPECT_EQ(application.MainForm.EdFileName.Text(), other);
}

TEST_F(QtOpen, TextALinkAFolderOrSeveralFilesAreRefused) {
  TApplication application(Host(), Platform);
  application.MainForm.Show();
  QWidget* window = Host().WidgetOf(application.MainForm);
  const QString a = QString::fromStdString(Dir.Write("a.prn", "a"));
  const QString b = QString::fromStdString(Dir.Write("b.prn", "b"));

  QMimeData text;
  text.setText(a);  // a file's name as text is not a file
  std::vector<std::pair<const char*, std::unique_ptr<QMimeData>>> refused;
  refused.emplace_back("a web link", Urls({QUrl("https://printers.invalid/label.prn")}));
  refused.emplace_back("a folder", Urls({QUrl::fromLocalFile(QString::fromStdString(Dir.Root.string()))}));
  refused.emplace_back("two files", Urls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)}));
  refused.emplace_back("a file that is not there", Urls({QUrl::fromLocalFile(a + ".gone")}));

  QWidget* box = Host().WidgetOf(application.MainForm.EdFileName);
  const TDropped byText = DragAndDrop(window, box, text);
  EXPECT_FALSE(byText.Entered);
  EXPECT_FALSE(byText.Dropped);
  for (const auto& [what, data] : refused) {
    const TDropped result = DragAndDrop(window, box, *data);
    EXPECT_FALSE(result.Entered) << what;
    EXPECT_FALSE(result.Dropped) << what;
  }
  EXPECT_EQ(FileBox(application.MainForm), "FileName");
  EXPECT_EQ(application.MainForm.EdFileName.Text(), "FileName");
}

}  // namespace
}  // namespace vornex::test
