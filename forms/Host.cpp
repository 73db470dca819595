#include "forms/Host.h"

#include <chrono>
#include <vector>

namespace vornex {

bool TSyncQueue::Run(const std::function<void()>& call) {
  static const std::atomic<bool> never{false};
  return Run(call, never);
}

bool TSyncQueue::Run(const std::function<void()>& call, const std::atomic<bool>& withdrawn) {
  if (OnUiThread()) {
    if (withdrawn) return false;
    call();
    return true;
  }
  auto request = std::make_shared<TRequest>();
  request->Call = call;
  request->Withdrawn = &withdrawn;
  {
    std::lock_guard<std::mutex> hold(Lock);
    // Checked under the lock Withdraw takes: a caller withdrawn before it
    // got here never queues, one queued before is taken out by Withdraw.
    if (Closed || withdrawn) return false;
    Pending.push_back(request);
    if (Waker) Waker();
  }
  // Only the UI thread waits for calls.
  Changed.notify_one();
  std::exception_ptr failure;
  bool ran = false;
  {
    std::unique_lock<std::mutex> hold(request->DoneLock);
    request->DoneChanged.wait(hold, [&] { return request->Done; });
    // The failure leaves the request here, so the thread that catches it is
    // also the one that frees it, whenever the UI thread lets go of the
    // request.
    failure = std::move(request->Failure);
    ran = request->Ran;
  }
  if (failure) std::rethrow_exception(failure);
  return ran;
}

void TSyncQueue::TRequest::Finish() {
  {
    std::lock_guard<std::mutex> hold(DoneLock);
    Done = true;
  }
  DoneChanged.notify_all();
}

bool TSyncQueue::Drain() {
  bool any = false;
  for (;;) {
    std::shared_ptr<TRequest> request;
    {
      std::lock_guard<std::mutex> hold(Lock);
      if (Pending.empty()) break;
      request = Pending.front();
      Pending.pop_front();
    }
    any = true;
    try {
      request->Call();
      request->Ran = true;
    } catch (...) {
      request->Ran = true;
      request->Failure = std::current_exception();
    }
    request->Finish();
  }
  return any;
}

void TSyncQueue::Withdraw() {
  std::vector<std::shared_ptr<TRequest>> withdrawn;
  {
    std::lock_guard<std::mutex> hold(Lock);
    for (auto it = Pending.begin(); it != Pending.end();) {
      if (*(*it)->Withdrawn) {
        withdrawn.push_back(std::move(*it));
        it = Pending.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& request : withdrawn) request->Finish();
}

std::size_t TSyncQueue::Waiting() {
  std::lock_guard<std::mutex> hold(Lock);
  return Pending.size();
}

void TSyncQueue::WaitAndDrain(int timeoutMs) {
  {
    std::unique_lock<std::mutex> hold(Lock);
    Changed.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                     [&] { return !Pending.empty() || Poked || Closed; });
    Poked = false;
  }
  Drain();
}

void TSyncQueue::Poke() {
  {
    std::lock_guard<std::mutex> hold(Lock);
    Poked = true;
  }
  Changed.notify_all();
}

void TSyncQueue::SetWaker(std::function<void()> waker) {
  std::lock_guard<std::mutex> hold(Lock);
  Waker = std::move(waker);
}

void TSyncQueue::Close() {
  std::deque<std::shared_ptr<TRequest>> released;
  {
    std::lock_guard<std::mutex> hold(Lock);
    Closed = true;
    Waker = nullptr;
    released.swap(Pending);
  }
  for (auto& request : released) request->Finish();
  Changed.notify_all();
}

THost::THost() : Queue(std::make_shared<TSyncQueue>(std::this_thread::get_id())) {}

THost::~THost() { Queue->Close(); }

void THost::HandleException(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    ShowMessage(e.what());
  } catch (...) {
    ShowMessage("Unknown failure");
  }
}

}  // namespace vornex
