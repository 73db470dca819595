#include "upload/Worker.h"

namespace vornex {

RsThread::RsThread(THost& host, TUploadEngine& engine, TPlatform& platform)
    : TThread(host), Engine(engine), Platform(platform) {
  Start();
}

RsThread::~RsThread() {
  Terminate();
  WaitFor();
}

void RsThread::Execute() {
  Platform.LowerThreadPriority();
  // Sleeps until Start arms a job rather than polling for one.
  while (!Terminated()) {
    Engine.WaitForStart([this] { return Terminated(); });
    if (Terminated()) break;
    Engine.RunTransfer();
  }
}

}  // namespace vornex
