// A printer for the Windows tests: the server end of a named pipe that
// reads whatever its clients send, one client after another (a port
// list's test-open, then a transfer). Windows tests only.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "os/win32/WinApi.h"

namespace vornex::test {

class TPipePrinter {
 public:
  // The pipe's name carries `tag` (a port text with "LPT" in it means a
  // parallel port).
  explicit TPipePrinter(const std::string& tag) {
    static std::atomic<int> count{0};
    Name = "\\\\.\\pipe\\vornex-" + tag + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(++count);
    // Two instances: a client can connect while the other one is still
    // being let go of.
    for (auto& server : Servers) {
      server.Pipe = ::CreateNamedPipeA(Name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 2, 0,
                                       1 << 16, 0, nullptr);
      server.Reader = std::thread([this, &server] { Serve(server.Pipe); });
    }
  }
  ~TPipePrinter() {
    Stop = true;
    // Each server waits for a client: one comes and goes for each.
    for (int i = 0; i < 2; ++i) {
      HANDLE h = ::CreateFileA(Name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    }
    for (auto& server : Servers) {
      if (server.Reader.joinable()) server.Reader.join();
      if (server.Pipe != INVALID_HANDLE_VALUE) ::CloseHandle(server.Pipe);
    }
  }
  TPipePrinter(const TPipePrinter&) = delete;
  TPipePrinter& operator=(const TPipePrinter&) = delete;

  std::vector<std::uint8_t> Received() {
    std::lock_guard<std::mutex> hold(Lock);
    return Bytes;
  }

  std::string Name;

 private:
  struct TServer {
    HANDLE Pipe = INVALID_HANDLE_VALUE;
    std::thread Reader;
  };
  void Serve(HANDLE pipe) {
    if (pipe == INVALID_HANDLE_VALUE) return;
    while (!Stop) {
      // A client may have come, and even gone, before the server waits for
      // one: what it sent is read all the same.
      if (!::ConnectNamedPipe(pipe, nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED &&
          ::GetLastError() != ERROR_NO_DATA)
        return;
      std::uint8_t buffer[4096];
      ::DWORD read = 0;
      while (::ReadFile(pipe, buffer, sizeof buffer, &read, nullptr)) {
        std::lock_guard<std::mutex> hold(Lock);
        Bytes.insert(Bytes.end(), buffer, buffer + read);
      }
      ::DisconnectNamedPipe(pipe);
    }
  }

  TServer Servers[2];
  std::atomic<bool> Stop{false};
  std::mutex Lock;
  std::vector<std::uint8_t> Bytes;
};

}  // namespace vornex::test
