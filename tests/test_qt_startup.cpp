// The window program started where there is no screen: one line that says
// so, and exit status 1, not Qt's lines and an abort.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

extern char** environ;

namespace vornex::test {
namespace {

struct TRun {
  int Status = -1;
  std::string Err;
};

// Runs the window program with the environment of this test, less the
// display settings, plus `extra` (NAME=VALUE), with args after its name
// and its standard output on stdoutPath (none when empty).
TRun RunWindow(const std::vector<std::string>& extra, std::vector<std::string> args = {},
               const std::string& stdoutPath = "") {
  std::vector<std::string> settings;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
        entry.rfind("QT_QPA_PLATFORM=", 0) == 0)
      continue;
    settings.push_back(entry);
  }
  settings.insert(settings.end(), extra.begin(), extra.end());
  // Built before the fork: the child may only make async-signal-safe calls.
  std::vector<char*> envp;
  for (auto& s : settings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<char*> argv{const_cast<char*>(VORNEX_WINDOW)};
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int out = stdoutPath.empty() ? -1 : ::open(stdoutPath.c_str(), O_WRONLY | O_CLOEXEC);
  int err[2];
  if (::pipe(err) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(err[1], 2);
    ::close(0);
    if (out >= 0) ::dup2(out, 1);
    ::execve(VORNEX_WINDOW, argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(err[1]);
  if (out >= 0) ::close(out);
  TRun run;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(err[0], buffer, sizeof buffer)) > 0) run.Err.append(buffer, static_cast<std::size_t>(n));
  ::close(err[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

// A display number no X server here answers on.
std::string UnusedDisplay() {
  for (int n = 4000 + ::getpid() % 1000;; ++n)
    if (::access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) != 0) return ":" + std::to_string(n);
}

TEST(WindowStartup, WithoutAScreenTheProgramSaysSoInOneLineAndEnds) {
  struct TCase {
    std::vector<std::string> Extra;
    std::string Says;
  } cases[] = {
      {{}, "vornex: there is no display to show the window on (DISPLAY is not set)"},
      {{"DISPLAY=" + UnusedDisplay()}, "vornex: the display \"" + UnusedDisplay() + "\" (DISPLAY) cannot be reached"},
      {{"QT_QPA_PLATFORM=nonesuch"}, "vornex: the window system \"nonesuch\" (QT_QPA_PLATFORM) could not be started"},
  };
  for (const auto& c : cases) {
    const TRun run = RunWindow(c.Extra);
    EXPECT_EQ(run.Status, 1) << c.Says << "\n" << run.Err;
    EXPECT_EQ(run.Err.rfind(c.Says, 0), 0u) << run.Err;
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
  }
}

// A wrong command line is a usage error (2) with or without a screen, and
// an answer that cannot be written is a failure (1).
TEST(WindowStartup, AWrongCommandLineIsToldBeforeTheScreenIsLookedFor) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--bogus"}, {"-platform", "offscreen", "--bogus"}, {"a.prn", "b.prn"},
        {"--style=fusion", "-x"}}) {
    const TRun run = RunWindow({}, args);
    EXPECT_EQ(run.Status, 2) << args.back() << "\n" << run.Err;
    EXPECT_EQ(run.Err.rfind("vornex: ", 0), 0u) << run.Err;
    EXPECT_NE(run.Err.find("usage: vornex"), std::string::npos) << run.Err;
  }
  // Qt's own options are no error: without a screen, that is what is said.
  const TRun qtOptions = RunWindow({}, {"-reverse", "--style", "fusion", "a.prn"});
  EXPECT_EQ(qtOptions.Status, 1) << qtOptions.Err;
  EXPECT_EQ(qtOptions.Err.rfind("vornex: there is no display", 0), 0u) << qtOptions.Err;

  for (const char* question : {"--version", "--help"}) {
    const TRun full = RunWindow({}, {question}, "/dev/full");
    EXPECT_EQ(full.Status, 1) << question;
    EXPECT_NE(full.Err.find("could not be written to standard output"), std::string::npos) << full.Err;
    EXPECT_EQ(RunWindow({}, {question}, "/dev/null").Status, 0) << question;
  }
}

}  // namespace
}  // namespace vornex::test
