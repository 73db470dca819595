#include "tests/support/FakeRoles.h"

namespace vornex::test {

THandle TFakePlatform::Open(const std::string& name, DWORD shareMode, bool portOnly) {
  std::string key = DeviceKey(name);
  if (auto alias = Aliases.find(key); alias != Aliases.end()) key = alias->second;
  auto it = DeviceList.find(key);
  if (it == DeviceList.end()) {
    FakeLastError() = ERROR_FILE_NOT_FOUND;
    return InvalidHandle;
  }
  if (it->second->OpenError != ERROR_SUCCESS) {
    FakeLastError() = it->second->OpenError;
    return InvalidHandle;
  }
  if (portOnly && it->second->FileType != FILE_TYPE_CHAR && it->second->FileType != FILE_TYPE_PIPE) {
    FakeLastError() = ERROR_BAD_DEVICE;
    return InvalidHandle;
  }
  auto file = std::make_shared<TOpenFile>();
  file->Name = name;
  file->Device = it->second;
  it->second->ShareMode = shareMode;
  ++it->second->OpenHandles;
  return Files.Add(std::move(file));
}

bool TFakePlatform::DoWrite(std::unique_lock<std::mutex>& hold, THandle file,
                            const std::uint8_t* data, DWORD count, DWORD& written,
                            THandle abortEvent, std::int64_t deadlineMs) {
  written = 0;
  auto f = FileOf(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  auto device = f->Device;
  while (device->HoldWrites) {
    if (f->Closed) return Fail(ERROR_INVALID_HANDLE);
    if (f->Cancelled || (abortEvent != NoHandle && EventSignalled(abortEvent)))
      return Fail(ERROR_OPERATION_ABORTED);
    if (deadlineMs >= 0 && NowMs() >= deadlineMs) return Fail(ERROR_COUNTER_TIMEOUT);
    Changed.wait_for(hold, std::chrono::milliseconds(5));
  }
  if (device->FailingWrites > 0) {
    if (device->WritesBeforeFailing > 0) {
      --device->WritesBeforeFailing;
    } else {
      --device->FailingWrites;
      return Fail(device->WriteError);
    }
  }
  DWORD take = std::min(count, device->TakePerWrite);
  device->Written.insert(device->Written.end(), data, data + take);
  device->WriteSizes.push_back(take);
  written = take;
  if (device->IsComm && device->TxEmptyAfterWrite) device->PendingEvents.push_back(EV_TXEMPTY);
  return true;
}

THandle TFakeDevices::CreateFileA(const std::string& name, DWORD, DWORD shareMode, DWORD, DWORD) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("CreateFileA")) return InvalidHandle;
  return P.Open(name, shareMode, false);
}

THandle TFakeDevices::OpenPortA(const std::string& name, DWORD, DWORD shareMode, DWORD) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("OpenPortA")) return InvalidHandle;
  return P.Open(name, shareMode, true);
}

std::string TFakeDevices::DeviceIdentity(const std::string& name) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("DeviceIdentity")) return {};
  std::string key = DeviceKey(name);
  if (auto alias = P.Aliases.find(key); alias != P.Aliases.end()) key = alias->second;
  return P.DeviceList.count(key) ? "device " + key : std::string();
}

DWORD TFakeDevices::GetFileType(THandle file) {
  std::lock_guard<std::mutex> hold(P.Lock);
  P.Enter("GetFileType");
  auto f = P.FileOf(file);
  return f ? f->Device->FileType : FILE_TYPE_UNKNOWN;
}

TDeviceKind TFakeDevices::GetDeviceKind(const std::string& path) {
  std::lock_guard<std::mutex> hold(P.Lock);
  P.Enter("GetDeviceKind");
  auto it = P.DeviceKinds.find(path);
  if (it == P.DeviceKinds.end()) return TDeviceKind::NotAPath;
  if (it->second == TDeviceKind::NotFound) FakeLastError() = P.DeviceKindError;
  return it->second;
}

bool TFakeDevices::WriteFile(THandle file, const void* data, DWORD count, DWORD& written,
                             THandle abortEvent) {
  std::unique_lock<std::mutex> hold(P.Lock);
  if (P.Enter("WriteFile")) return false;
  bool ok = P.DoWrite(hold, file, static_cast<const std::uint8_t*>(data), count, written,
                    abortEvent, -1);
  hold.unlock();
  P.Changed.notify_all();
  return ok;
}

bool TFakeDevices::ReadFile(THandle file, void* data, DWORD count, DWORD& read) {
  std::lock_guard<std::mutex> hold(P.Lock);
  read = 0;
  if (P.Enter("ReadFile")) return false;
  auto f = P.FileOf(file);
  if (!f) return P.Fail(ERROR_INVALID_HANDLE);
  auto& in = f->Device->Incoming;
  auto* out = static_cast<std::uint8_t*>(data);
  while (read < count && !in.empty()) {
    out[read++] = in.front();
    in.pop_front();
  }
  return true;
}

DWORD TFakeDevices::WriteFileTimed(THandle file, const void* data, DWORD count,
                                   THandle doneEvent, DWORD timeoutMs, DWORD& written,
                                   THandle abortEvent) {
  std::unique_lock<std::mutex> hold(P.Lock);
  written = 0;
  if (P.Enter("WriteFileTimed")) return WAIT_FAILED;
  auto f = P.FileOf(file);
  if (!f) {
    // A failed write completes at once with nothing written.
    FakeLastError() = ERROR_INVALID_HANDLE;
    if (auto e = P.Events.Find(doneEvent)) e->Signalled = true;
    return WAIT_OBJECT_0;
  }
  bool ok = P.DoWrite(hold, file, static_cast<const std::uint8_t*>(data), count, written, abortEvent,
                    NowMs() + timeoutMs);
  if (!ok && FakeLastError() == ERROR_COUNTER_TIMEOUT) return WAIT_TIMEOUT;
  if (!ok && abortEvent != NoHandle && P.EventSignalled(abortEvent)) return WAIT_OBJECT_0 + 1;
  if (auto e = P.Events.Find(doneEvent)) e->Signalled = true;
  hold.unlock();
  P.Changed.notify_all();
  return WAIT_OBJECT_0;
}

bool TFakeDevices::CancelIo(THandle file) {
  {
    std::lock_guard<std::mutex> hold(P.Lock);
    P.Enter("CancelIo");
    auto f = P.FileOf(file);
    if (!f) return P.Fail(ERROR_INVALID_HANDLE);
    f->Cancelled = true;
  }
  P.Changed.notify_all();
  return true;
}

}  // namespace vornex::test
