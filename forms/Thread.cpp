#include "forms/Thread.h"

#include <cassert>

namespace vornex {

TThread::TThread(THost& host) : Queue(host.SyncQueue()) {}

TThread::~TThread() {
  // The derived destructor must have ended the thread already. One left
  // running would go on in a destroyed object: it is told to stop and
  // waited for.
  assert(!Worker.joinable());
  if (Worker.joinable()) {
    StopFlag = true;
    Worker.join();
  }
}

void TThread::Start() {
  if (Worker.joinable()) return;
  Worker = std::thread([this] {
    Execute();
    Done = true;
    Queue->Poke();
  });
}

void TThread::Terminate() {
  StopFlag = true;
  WakeUp();
}

void TThread::WaitFor() {
  if (!Worker.joinable()) return;
  if (Queue->OnUiThread()) {
    while (!Done) Queue->WaitAndDrain(20);
  }
  Worker.join();
}

}  // namespace vornex
