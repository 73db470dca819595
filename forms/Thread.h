// A thread object that can hand calls to the UI thread and wait for them.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "forms/Host.h"

namespace vornex {

class TThread {
 public:
  explicit TThread(THost& host);
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  // A derived class ends its thread in its own destructor (Terminate and
  // WaitFor), while its members still exist; this one only checks.
  virtual ~TThread();

  void Start();
  // Sets the stop flag and wakes whatever the body waits on.
  void Terminate();
  bool Terminated() const { return StopFlag.load(); }
  bool Finished() const { return Done.load(); }
  // Waits for the body to return. On the UI thread it goes on running the
  // calls the thread hands over meanwhile, so the two cannot block each other.
  void WaitFor();

 protected:
  virtual void Execute() = 0;
  // Called by Terminate: wake the body if it sleeps.
  virtual void WakeUp() {}
  // Runs call on the UI thread and waits; false when the host is gone.
  bool Synchronize(const std::function<void()>& call) { return Queue->Run(call); }

 private:
  std::shared_ptr<TSyncQueue> Queue;
  std::thread Worker;
  std::atomic<bool> StopFlag{false};
  std::atomic<bool> Done{false};
};

}  // namespace vornex
