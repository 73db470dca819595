// The worker thread: carries out each job that Start arms.
#pragma once

#include "forms/Thread.h"
#include "os/Platform.h"
#include "upload/UploadEngine.h"

namespace vornex {

class RsThread : public TThread {
 public:
  // Starts running at once, one step below normal priority.
  RsThread(THost& host, TUploadEngine& engine, TPlatform& platform);
  ~RsThread() override;

 protected:
  void Execute() override;
  void WakeUp() override { Engine.WakeWorker(); }

 private:
  TUploadEngine& Engine;
  TPlatform& Platform;
};

}  // namespace vornex
