// The sockets the Windows platform made, each with the event its network
// events signal; Winsock started and stopped with the table. Internal to
// os/win32.
#pragma once

#include "os/HandleTable.h"
#include "os/win32/WinApi.h"
#include <winsock2.h>

namespace vornex::win32 {

struct TSocketEntry {
  WSAEVENT Event = WSA_INVALID_EVENT;
};

class TSocketTable {
 public:
  TSocketTable() {
    WSADATA data;
    Started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~TSocketTable() {
    for (auto& [s, entry] : Sockets.RemoveAll()) {
      ::closesocket(static_cast<SOCKET>(s));
      ::WSACloseEvent(entry->Event);
    }
    if (Started) ::WSACleanup();
  }
  TSocketTable(const TSocketTable&) = delete;
  TSocketTable& operator=(const TSocketTable&) = delete;

  // Without Winsock every socket call fails.
  bool Started = false;

  void Add(SOCKET s, WSAEVENT event) {
    auto entry = std::make_shared<TSocketEntry>();
    entry->Event = event;
    Sockets.Insert(static_cast<THandle>(s), std::move(entry));
  }
  WSAEVENT Find(SOCKET s) const {
    auto entry = Sockets.Find(static_cast<THandle>(s));
    return entry ? entry->Event : WSA_INVALID_EVENT;
  }
  WSAEVENT Remove(SOCKET s) {
    auto entry = Sockets.Remove(static_cast<THandle>(s));
    return entry ? entry->Event : WSA_INVALID_EVENT;
  }

 private:
  THandleTable<TSocketEntry> Sockets;
};

}  // namespace vornex::win32
