// What a form needs from its host: a message loop, rendering, modal boxes and
// dialogs, and handing a call from another thread to the UI thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vornex {

class TForm;
class TOpenDialog;

// Calls waiting to run on the UI thread. Threads keep it alive through a
// shared pointer, so one that hands over a call after the host has gone finds
// it closed instead of freed.
class TSyncQueue {
 public:
  explicit TSyncQueue(std::thread::id uiThread) : UiThread(uiThread) {}

  bool OnUiThread() const { return std::this_thread::get_id() == UiThread; }
  // Runs call on the UI thread and waits for it; a failure it raises is
  // raised here. False when the queue was closed and the call did not run.
  bool Run(const std::function<void()>& call);
  // The same, for a caller that can be withdrawn: once `withdrawn` is set
  // and Withdraw called, the call no longer starts and Run returns false.
  // A call already running on the UI thread is waited for.
  bool Run(const std::function<void()>& call, const std::atomic<bool>& withdrawn);
  // Releases, unrun, every waiting caller whose flag is set (set it first).
  void Withdraw();
  // Calls waiting for the UI thread; for tests.
  std::size_t Waiting();
  // How to get the UI thread's attention when a call is queued. Called with
  // the queue's lock held, so Close waits for it; it must not call back.
  void SetWaker(std::function<void()> waker);
  // UI thread: runs every waiting call. True when there was one.
  bool Drain();
  // UI thread: waits up to timeoutMs for a call (or a Poke) and drains.
  void WaitAndDrain(int timeoutMs);
  // Wakes WaitAndDrain, for example when a thread has finished.
  void Poke();
  // Releases every waiting caller unrun; later calls do not run either.
  void Close();

 private:
  // A caller waits on its own request, so that the UI thread finishing one
  // and the queue's other users never contend for the caller's wake-up.
  struct TRequest {
    std::function<void()> Call;
    const std::atomic<bool>* Withdrawn = nullptr;
    std::mutex DoneLock;
    std::condition_variable DoneChanged;
    bool Done = false;
    bool Ran = false;
    std::exception_ptr Failure;
    void Finish();
  };
  const std::thread::id UiThread;
  std::mutex Lock;
  // Wakes the UI thread: a call queued, a Poke, the queue closed.
  std::condition_variable Changed;
  std::deque<std::shared_ptr<TRequest>> Pending;
  std::function<void()> Waker;
  bool Closed = false;
  bool Poked = false;
};

class THost {
 public:
  THost();
  THost(const THost&) = delete;
  THost& operator=(const THost&) = delete;
  virtual ~THost();

  // Creates what shows the form and its controls, and starts observing them.
  virtual void Attach(TForm& form) = 0;
  virtual void ShowForm(TForm& form, bool visible) = 0;
  // Modal showing; returns the form's modal result.
  virtual int ShowModal(TForm& form) = 0;
  // A modal message box with one button; returns when it is dismissed.
  virtual void ShowMessage(const std::string& text) = 0;
  virtual bool ExecuteOpenDialog(TOpenDialog& dialog) = 0;
  // The message loop, until Terminate.
  virtual int Run() = 0;
  virtual void Terminate() = 0;

  // The caption of the message boxes.
  std::string Title;
  // The windows' icon, by name: the icon theme's on Linux, the program's
  // icon resource on Windows. Empty: the toolkit's own. Set before Attach.
  std::string Icon;
  // The first form created; closing it ends the application.
  TForm* MainForm = nullptr;

  // A failure that escaped an event handler: shown, and the loop goes on.
  void HandleException(std::exception_ptr failure);

  // Runs call on the UI thread (at once when already there) and waits.
  bool Synchronize(const std::function<void()>& call) { return Queue->Run(call); }
  // UI thread: runs the calls that other threads are waiting on.
  void CheckSynchronize() { Queue->Drain(); }
  const std::shared_ptr<TSyncQueue>& SyncQueue() const { return Queue; }
  bool OnUiThread() const { return Queue->OnUiThread(); }

 protected:
  // Renderers install how a queued call gets the UI thread to run
  // CheckSynchronize (SyncQueue()->SetWaker).

 private:
  std::shared_ptr<TSyncQueue> Queue;
};

}  // namespace vornex
