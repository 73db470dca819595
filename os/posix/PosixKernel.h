// What the roles of the Linux platform share: the objects behind handles
// and the reasons kept as text. Internal to os/posix.
#pragma once

#include <memory>

#include "os/HandleTable.h"
#include "os/ReasonTexts.h"
#include "os/posix/PosixObjects.h"

namespace vornex::posix {

struct TKernel {
  THandleNumbers Numbers;
  // Devices, files and sockets.
  THandleTable<TFileObject> Files{Numbers};
  THandleTable<TEventObject> Events{Numbers};
  TReasonTexts Reasons;

  std::shared_ptr<TEventObject> Event(THandle h) const { return h == NoHandle ? nullptr : Events.Find(h); }
  // Calls still blocked on the file return; its descriptor closes with the
  // last of them. False when it was no file.
  bool CloseFile(THandle h) {
    auto file = Files.Remove(h);
    if (!file) return false;
    file->Closed.Set();
    return true;
  }
};

}  // namespace vornex::posix
