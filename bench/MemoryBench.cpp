// Peak memory of vornex-send while it sends a large file: the file is held
// whole in memory, and nothing else should add much to it.
//   memory_bench VORNEX_SEND [MiB]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: memory_bench VORNEX_SEND [MiB]\n");
    return 2;
  }
  const std::string send = argv[1];
  const long mib = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 100;
  char pattern[] = "/tmp/vornex-memory-XXXXXX";
  const std::string dir = ::mkdtemp(pattern);
  const std::string file = dir + "/big.prn", fifo = dir + "/lp0";
  {
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131);
    FILE* f = std::fopen(file.c_str(), "wb");
    for (long i = 0; i < mib; ++i) std::fwrite(block.data(), 1, block.size(), f);
    std::fclose(f);
  }
  ::mkfifo(fifo.c_str(), 0600);
  // The printer: a reader that takes everything as fast as it comes.
  pid_t reader = ::fork();
  if (reader == 0) {
    ::execlp("sh", "sh", "-c", ("cat '" + fifo + "' > /dev/null").c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::usleep(200000);
  ::setenv("VORNEX_DEVICE_MAP", ("LPT1=" + fifo).c_str(), 1);
  pid_t sender = ::fork();
  if (sender == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execl(send.c_str(), send.c_str(), "--port", "LPT1", file.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(sender, &status, 0, &usage);
  ::waitpid(reader, nullptr, 0);
  const double peak = double(usage.ru_maxrss) / 1024.0;  // KiB to MiB
  std::printf("| peak memory of vornex-send sending a %ld MiB file (parallel port to a FIFO) "
              "| %.1f MiB, the file + %.1f MiB%s | target: the file + 20 MiB |\n",
              mib, peak, peak - double(mib), WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : " (the send failed)");
  std::remove(file.c_str());
  std::remove(fifo.c_str());
  ::rmdir(dir.c_str());
  return 0;
}
