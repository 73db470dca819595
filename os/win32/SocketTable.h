// The sockets the Windows platform made, each with the event its network
// events signal; Winsock started and stopped with the table. Internal to
// os/win32.
#pragma once

#include <map>
#include <mutex>

#include "os/win32/WinApi.h"
#include <winsock2.h>

namespace vornex::win32 {

class TSocketTable {
 public:
  TSocketTable() {
    WSADATA data;
    Started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~TSocketTable() {
    for (auto& [s, event] : Events) {
      ::closesocket(s);
      ::WSACloseEvent(event);
    }
    if (Started) ::WSACleanup();
  }
  // Without Winsock every socket call fails.
  bool Started = false;

  void Add(SOCKET s, WSAEVENT event) {
    std::lock_guard<std::mutex> hold(Lock);
    Events[s] = event;
  }
  WSAEVENT Find(SOCKET s) {
    std::lock_guard<std::mutex> hold(Lock);
    auto it = Events.find(s);
    return it == Events.end() ? WSA_INVALID_EVENT : it->second;
  }
  WSAEVENT Remove(SOCKET s) {
    std::lock_guard<std::mutex> hold(Lock);
    auto it = Events.find(s);
    if (it == Events.end()) return WSA_INVALID_EVENT;
    WSAEVENT event = it->second;
    Events.erase(it);
    return event;
  }

 private:
  std::mutex Lock;
  std::map<SOCKET, WSAEVENT> Events;
};

}  // namespace vornex::win32
