// A file comes to the main window from outside it: named on the window
// program's command line, or dropped on the window from a file manager.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/WindowCommand.h"
#include "tests/support/MainFormFixture.h"

namespace vornex::test {
namespace {

TEST(WindowCommand, TakesOneFileAndAnswersHelpAndVersionBeforeAnyComplaint) {
  EXPECT_EQ(ParseWindowCommand({}).File, "");
  EXPECT_EQ(ParseWindowCommand({}).Error, "");

  const TWindowCommand one = ParseWindowCommand({"label.prn"});
  EXPECT_EQ(one.File, "label.prn");
  EXPECT_TRUE(one.Error.empty());
  EXPECT_FALSE(one.Help || one.Version);

  // After "--" a name that looks like an option is a file.
  EXPECT_EQ(ParseWindowCommand({"--", "-odd.prn"}).File, "-odd.prn");
  EXPECT_EQ(ParseWindowCommand({"--", "--help"}).File, "--help");
  EXPECT_FALSE(ParseWindowCommand({"--", "--help"}).Help);

  EXPECT_EQ(ParseWindowCommand({"a.prn", "b.prn"}).Error, "one file at a time");
  EXPECT_EQ(ParseWindowCommand({"--bogus", "a.prn"}).Error, "unknown option --bogus");

  // Beside an option only the toolkit knows, --help is still answered: it
  // is asked before the toolkit has taken its own options.
  const TWindowCommand help = ParseWindowCommand({"-platform", "offscreen", "--help"});
  EXPECT_TRUE(help.Help);
  EXPECT_TRUE(ParseWindowCommand({"--version", "a.prn", "b.prn"}).Version);
  EXPECT_TRUE(ParseWindowCommand({"-h"}).Help);
}

TEST_F(MainFormTest, ADroppedFileIsNamedInTheFileBoxAsIfTypedAndNothingStarts) {
  const std::string file = Dir.Write("label.prn", "label");
  Form->DropFiles({file});
  EXPECT_EQ(Form->EdFileName.Text(), file);
  EXPECT_FALSE(Form->Upload.Busy());
  EXPECT_FALSE(Form->Job.StartRequested);
  EXPECT_TRUE(Form->BuStart.Enabled());
  EXPECT_TRUE(Host.Messages.empty());
}

TEST_F(MainFormTest, SeveralFilesAtOnceOrADropWhereTypingCannotReachChangeNothing) {
  Form->EdFileName.SetText("typed.prn");
  // The window's renderer leaves folders out: nothing may be left.
  Form->DropFiles({});
  EXPECT_EQ(Form->EdFileName.Text(), "typed.prn");
  // One file goes at a time; which of several was meant is not guessed.
  Form->DropFiles({Dir.Write("a.prn", "a"), Dir.Write("b.prn", "b")});
  EXPECT_EQ(Form->EdFileName.Text(), "typed.prn");

  Form->GroupBox4.SetEnabled(false);
  Form->DropFiles({Dir.Write("c.prn", "c")});
  EXPECT_EQ(Form->EdFileName.Text(), "typed.prn");
  EXPECT_TRUE(Host.Messages.empty());
}

TEST(FormDrop, AFormWithoutAHandlerTakesNoDropsAndAFailingHandlerIsShown) {
  THeadlessHost host;
  TForm form(host, "Plain", "Plain", {0, 0, 100, 100});
  EXPECT_FALSE(form.AcceptsFiles());
  form.DropFiles({"/tmp/x"});  // nothing to call

  form.OnDropFiles = [](const std::vector<std::string>&) { throw std::runtime_error("Cannot take it"); };
  EXPECT_TRUE(form.AcceptsFiles());
  form.DropFiles({"/tmp/x"});
  EXPECT_EQ(host.LastMessage(), "Cannot take it");
}

}  // namespace
}  // namespace vornex::test
