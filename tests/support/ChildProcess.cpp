#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

namespace vornex::test {

namespace {

// The argument vector, built before the fork: the child of a process with
// threads may only make async-signal-safe calls, and allocating is not one.
std::vector<char*> Arguments(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  return args;
}

// Forks and runs args with its output going to out and err (or to the
// file stdoutPath), in the folder cwd when one is given; -1 on failure.
pid_t Spawn(std::vector<char*>& args, int out, int err, const char* cwd = nullptr,
            const char* stdoutPath = nullptr) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    // As a shell starts it: the program sets its own policy for them.
    ::signal(SIGPIPE, SIG_DFL);
    ::dup2(out, 1);
    if (stdoutPath) ::dup2(::open(stdoutPath, O_WRONLY), 1);
    ::dup2(err, 2);
    if (cwd && ::chdir(cwd) != 0) ::_exit(126);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  return pid;
}

void Drain(int fd, const std::function<void(const char*, std::size_t)>& into) {
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) into(buffer, static_cast<std::size_t>(n));
  ::close(fd);
}

int ExitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

}  // namespace

TRun RunProgram(const std::vector<std::string>& argv, const TRunOptions& options) {
  using Clock = std::chrono::steady_clock;
  std::vector<char*> args = Arguments(argv);
  int out[2], err[2];
  if (argv.empty() || ::pipe2(out, O_CLOEXEC) != 0) return {};
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return {};
  }
  const pid_t pid = Spawn(args, out[1], err[1], options.Cwd.empty() ? nullptr : options.Cwd.c_str(),
                          options.StdoutPath.empty() ? nullptr : options.StdoutPath.c_str());
  ::close(out[1]);
  ::close(err[1]);
  TRun run;
  if (pid < 0) {
    ::close(out[0]);
    ::close(err[0]);
    return run;
  }
  std::atomic<bool> ended{false};
  Clock::time_point signalled{};
  std::thread watcher([&] {
    const auto start = Clock::now();
    bool sent = !options.SignalWhen;
    while (!ended) {
      const auto now = Clock::now();
      if (!sent && (options.SignalWhen() || now - start > std::chrono::seconds(30))) {
        signalled = Clock::now();
        ::kill(pid, options.Signal);
        sent = true;
      }
      if (options.KillAfterMs > 0 && now - start > std::chrono::milliseconds(options.KillAfterMs)) {
        ::kill(pid, SIGKILL);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  std::thread errReader([&] { Drain(err[0], [&](const char* b, std::size_t n) { run.Err.append(b, n); }); });
  Drain(out[0], [&](const char* b, std::size_t n) { run.Out.append(b, n); });
  errReader.join();
  int status = 0;
  ::waitpid(pid, &status, 0);
  const auto end = Clock::now();
  ended = true;
  watcher.join();
  run.Status = ExitStatus(status);
  if (signalled != Clock::time_point{})
    run.SignalToEndMs = std::chrono::duration<double, std::milli>(end - signalled).count();
  return run;
}

TBackground::TBackground(const std::vector<std::string>& argv) {
  std::vector<char*> args = Arguments(argv);
  int out[2];
  if (argv.empty() || ::pipe2(out, O_CLOEXEC) != 0) return;
  Pid = Spawn(args, out[1], out[1]);
  ::close(out[1]);
  OutFd = out[0];
  if (Pid < 0) {
    ::close(OutFd);
    return;
  }
  Reader = std::thread([this] {
    Drain(OutFd, [this](const char* b, std::size_t n) {
      std::lock_guard<std::mutex> hold(Lock);
      Printed.append(b, n);
    });
  });
}

bool TBackground::WaitForOutput(const std::string& text, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Output().find(text) != std::string::npos) return true;
    if (Pid <= 0 || ::waitpid(Pid, &Status, WNOHANG) == Pid) {
      Pid = -1;
      return Output().find(text) != std::string::npos;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

std::string TBackground::Output() {
  std::lock_guard<std::mutex> hold(Lock);
  return Printed;
}

int TBackground::WaitForExit(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Pid > 0 && ::waitpid(Pid, &Status, WNOHANG) != Pid) {
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Pid = -1;
  return Stop();
}

int TBackground::Stop() {
  if (Pid > 0) {
    ::kill(Pid, SIGTERM);
    ::waitpid(Pid, &Status, 0);
    Pid = -1;
  }
  if (Reader.joinable()) Reader.join();
  return Status < 0 ? Status : ExitStatus(Status);
}

bool Connectable(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  path.copy(a.sun_path, sizeof a.sun_path - 1);
  const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  if (fd >= 0) ::close(fd);
  return ok;
}

bool WaitFor(const std::function<bool()>& ready, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!ready()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

}  // namespace vornex::test
