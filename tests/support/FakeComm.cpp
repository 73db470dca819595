#include "tests/support/FakeRoles.h"

namespace vornex::test {

bool TFakeDevices::SetupComm(THandle file, DWORD inQueue, DWORD outQueue) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("SetupComm")) return false;
  auto f = P.FileOf(file);
  if (!f) return P.Fail(ERROR_INVALID_HANDLE);
  f->Device->InQueue = inQueue;
  f->Device->OutQueue = outQueue;
  return true;
}

bool TFakeDevices::GetCommState(THandle file, DCB& dcb) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("GetCommState")) return false;
  auto f = P.FileOf(file);
  if (!f) return P.Fail(ERROR_INVALID_HANDLE);
  dcb = f->Device->State;
  return true;
}

bool TFakeDevices::SetCommState(THandle file, const DCB& dcb) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("SetCommState")) return false;
  auto f = P.FileOf(file);
  if (!f) return P.Fail(ERROR_INVALID_HANDLE);
  f->Device->State = dcb;
  return true;
}

bool TFakeDevices::SetCommTimeouts(THandle file, const COMMTIMEOUTS& timeouts) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("SetCommTimeouts")) return false;
  auto f = P.FileOf(file);
  if (!f) return P.Fail(ERROR_INVALID_HANDLE);
  f->Device->Timeouts = timeouts;
  return true;
}

bool TFakeDevices::SetCommMask(THandle file, DWORD mask) {
  {
    std::lock_guard<std::mutex> hold(P.Lock);
    if (P.Enter("SetCommMask")) return false;
    auto f = P.FileOf(file);
    if (!f) return P.Fail(ERROR_INVALID_HANDLE);
    f->Device->Mask = mask;
    if (f->Device->MaskChangeEndsWait) f->WaitEnded = true;
  }
  P.Changed.notify_all();
  return true;
}

bool TFakeDevices::WaitCommEvent(THandle file, DWORD& mask) {
  std::unique_lock<std::mutex> hold(P.Lock);
  mask = 0;
  if (P.Enter("WaitCommEvent")) return false;
  auto f = P.FileOf(file);
  if (!f) return P.Fail(ERROR_INVALID_HANDLE);
  f->WaitEnded = false;
  if (f->Device->Mask == 0) return P.Fail(ERROR_INVALID_PARAMETER);
  for (;;) {
    if (f->Closed) return P.Fail(ERROR_INVALID_HANDLE);
    if (f->WaitEnded) {
      f->WaitEnded = false;
      return true;
    }
    auto& events = f->Device->PendingEvents;
    while (!events.empty()) {
      DWORD got = events.front() & f->Device->Mask;
      events.pop_front();
      if (got) {
        mask = got;
        hold.unlock();
        P.Changed.notify_all();
        return true;
      }
    }
    P.Changed.wait(hold);
  }
}

bool TFakeDevices::ClearCommError(THandle file, DWORD& errors, COMSTAT& status) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("ClearCommError")) return false;
  auto f = P.FileOf(file);
  if (!f) return P.Fail(ERROR_INVALID_HANDLE);
  errors = f->Device->CommErrors;
  f->Device->CommErrors = 0;
  status = f->Device->Stat;
  status.cbInQue = static_cast<DWORD>(f->Device->Incoming.size());
  return true;
}

bool TFakeDevices::PurgeComm(THandle file, DWORD flags) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("PurgeComm")) return false;
  auto f = P.FileOf(file);
  if (!f) return P.Fail(ERROR_INVALID_HANDLE);
  f->Device->Purges.push_back(flags);
  if (flags & PURGE_RXCLEAR) f->Device->Incoming.clear();
  return true;
}

bool TFakeDevices::EscapeCommFunction(THandle file, DWORD function) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("EscapeCommFunction")) return false;
  auto f = P.FileOf(file);
  if (!f) return P.Fail(ERROR_INVALID_HANDLE);
  f->Device->Escapes.push_back(function);
  return true;
}

bool TFakeDevices::GetCommModemStatus(THandle file, DWORD& modemStatus) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("GetCommModemStatus")) return false;
  auto f = P.FileOf(file);
  if (!f) return P.Fail(ERROR_INVALID_HANDLE);
  if (f->Device->ModemStatusFails) return P.Fail(ERROR_NOT_SUPPORTED);
  modemStatus = f->Device->ModemStatus;
  return true;
}

}  // namespace vornex::test
