#include "tests/support/FakePlatform.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace vornex::test {

namespace {

thread_local DWORD LastError = 0;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Windows device names are case-blind and may carry the \\.\ prefix.
std::string DeviceKey(const std::string& name) {
  std::string n = name;
  if (n.rfind("\\\\.\\", 0) == 0) n = n.substr(4);
  return Upper(n);
}

}  // namespace

TFakePlatform::TFakePlatform() {
  Version.dwPlatformId = VER_PLATFORM_WIN32_NT;
  Version.dwMajorVersion = 5;
  Version.dwMinorVersion = 1;
}

TFakePlatform::~TFakePlatform() = default;

// --- scripting -------------------------------------------------------------------

std::shared_ptr<TFakeDevice> TFakePlatform::AddDevice(const std::string& name) {
  std::lock_guard<std::mutex> hold(Lock);
  auto device = std::make_shared<TFakeDevice>();
  Devices[DeviceKey(name)] = device;
  return device;
}

std::shared_ptr<TFakeDevice> TFakePlatform::Device(const std::string& name) {
  std::lock_guard<std::mutex> hold(Lock);
  auto it = Devices.find(DeviceKey(name));
  return it == Devices.end() ? nullptr : it->second;
}

void TFakePlatform::ReleaseWrites(const std::string& name) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    auto it = Devices.find(DeviceKey(name));
    if (it != Devices.end()) it->second->HoldWrites = false;
  }
  Changed.notify_all();
}

void TFakePlatform::ReleaseVendorWrites() {
  {
    std::lock_guard<std::mutex> hold(Lock);
    VendorHoldWrites = false;
  }
  Changed.notify_all();
}

void TFakePlatform::ReleaseAll() {
  {
    std::lock_guard<std::mutex> hold(Lock);
    for (auto& device : Devices) device.second->HoldWrites = false;
    VendorHoldWrites = false;
    HoldLookups = false;
    for (auto& peer : Peers) peer.second->HoldConnect = peer.second->HoldSends = false;
  }
  Changed.notify_all();
}

void TFakePlatform::Receive(const std::string& name, const std::string& bytes) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    auto it = Devices.find(DeviceKey(name));
    if (it == Devices.end()) return;
    it->second->Incoming.insert(it->second->Incoming.end(), bytes.begin(), bytes.end());
    it->second->PendingEvents.push_back(EV_RXCHAR);
  }
  Changed.notify_all();
}

void TFakePlatform::RaiseCommEvent(const std::string& name, DWORD mask) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    auto it = Devices.find(DeviceKey(name));
    if (it != Devices.end()) it->second->PendingEvents.push_back(mask);
  }
  Changed.notify_all();
}

bool TFakePlatform::WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  std::unique_lock<std::mutex> hold(Lock);
  return Changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), condition);
}

TFakeKey& TFakePlatform::Key(const std::string& path) {
  std::lock_guard<std::mutex> hold(Lock);
  // Create each parent and list the child under it once.
  std::string p = path;
  while (!p.empty() && p.back() == '\\') p.pop_back();
  std::size_t start = 0;
  std::string parent;
  for (;;) {
    std::size_t slash = p.find('\\', start);
    std::string part = p.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    std::string full = parent.empty() ? part : parent + "\\" + part;
    if (!parent.empty()) {
      auto& subs = Registry[Upper(parent)].SubKeys;
      if (std::find(subs.begin(), subs.end(), part) == subs.end()) subs.push_back(part);
    }
    Registry[Upper(full)];
    parent = full;
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return Registry[Upper(p)];
}

void TFakePlatform::SetValue(const std::string& keyPath, const std::string& name,
                             const std::string& data) {
  TFakeKey& key = Key(keyPath);
  std::lock_guard<std::mutex> hold(Lock);
  for (auto& v : key.Values)
    if (v.first == name) {
      v.second = data;
      return;
    }
  key.Values.emplace_back(name, data);
}

void TFakePlatform::SetDwordValue(const std::string& keyPath, const std::string& name, DWORD data) {
  SetValue(keyPath, name, std::to_string(data));
  TFakeKey& key = Key(keyPath);
  std::lock_guard<std::mutex> hold(Lock);
  key.DwordValues.insert(name);
}

std::shared_ptr<TFakePeer> TFakePlatform::AddPeer(const std::string& address, std::uint16_t port) {
  std::lock_guard<std::mutex> hold(Lock);
  auto peer = std::make_shared<TFakePeer>();
  Peers[address + ":" + std::to_string(port)] = peer;
  return peer;
}

void TFakePlatform::Reply(const std::shared_ptr<TFakePeer>& peer, const std::string& bytes) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    peer->Replies.insert(peer->Replies.end(), bytes.begin(), bytes.end());
  }
  Changed.notify_all();
}

int TFakePlatform::OpenSockets() {
  std::lock_guard<std::mutex> hold(Lock);
  return static_cast<int>(Sockets.size());
}

void TFakePlatform::FailCall(const std::string& call, DWORD code, bool always) {
  std::lock_guard<std::mutex> hold(Lock);
  Failures[call] = {code, always};
}

void TFakePlatform::ClearFailures() {
  std::lock_guard<std::mutex> hold(Lock);
  Failures.clear();
}

std::vector<std::string> TFakePlatform::Calls() {
  std::lock_guard<std::mutex> hold(Lock);
  return CallLog;
}

int TFakePlatform::CountCalls(const std::string& call) {
  std::lock_guard<std::mutex> hold(Lock);
  return static_cast<int>(std::count(CallLog.begin(), CallLog.end(), call));
}

int TFakePlatform::OpenDeviceHandles() {
  std::lock_guard<std::mutex> hold(Lock);
  return static_cast<int>(Files.size());
}

int TFakePlatform::OpenKeys() {
  std::lock_guard<std::mutex> hold(Lock);
  return static_cast<int>(Keys.size());
}

int TFakePlatform::EventsCreated() {
  std::lock_guard<std::mutex> hold(Lock);
  return EventCount;
}

// --- helpers (Lock held) -------------------------------------------------------------

bool TFakePlatform::Enter(const std::string& call) {
  CallLog.push_back(call);
  auto it = Failures.find(call);
  if (it == Failures.end()) return false;
  LastError = it->second.first;
  if (!it->second.second) Failures.erase(it);
  return true;
}

bool TFakePlatform::Fail(DWORD code) {
  LastError = code;
  return false;
}

std::shared_ptr<TFakePlatform::TOpenFile> TFakePlatform::FileOf(THandle h) {
  auto it = Files.find(h);
  return it == Files.end() ? nullptr : it->second;
}

bool TFakePlatform::EventSignalled(THandle h) {
  auto it = Events.find(h);
  return it != Events.end() && it->second.Signalled;
}

// --- TPlatform -------------------------------------------------------------------------

DWORD TFakePlatform::GetLastError() { return LastError; }
void TFakePlatform::SetLastError(DWORD code) { LastError = code; }

bool TFakePlatform::GetVersionExA(OSVERSIONINFOA& info) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("GetVersionExA")) return false;
  if (VersionFails) return Fail(ERROR_INVALID_PARAMETER);
  info = Version;
  return true;
}

long TFakePlatform::RegOpenKeyExA(const std::string& path, DWORD, THandle& key) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("RegOpenKeyExA")) return static_cast<long>(LastError);
  std::string p = path;
  while (!p.empty() && p.back() == '\\') p.pop_back();
  if (!Registry.count(Upper(p))) return ERROR_FILE_NOT_FOUND;
  key = NextHandle++;
  Keys[key] = Upper(p);
  return ERROR_SUCCESS;
}

long TFakePlatform::RegEnumKeyExA(THandle key, DWORD index, char* name, DWORD& nameLength) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("RegEnumKeyExA")) return static_cast<long>(LastError);
  auto k = Keys.find(key);
  if (k == Keys.end()) return ERROR_INVALID_HANDLE;
  const auto& subs = Registry[k->second].SubKeys;
  if (index >= subs.size()) return ERROR_NO_MORE_ITEMS;
  const std::string& s = subs[index];
  if (s.size() + 1 > nameLength) return ERROR_MORE_DATA;
  std::memcpy(name, s.c_str(), s.size() + 1);
  nameLength = static_cast<DWORD>(s.size());
  return ERROR_SUCCESS;
}

long TFakePlatform::RegQueryValueExA(THandle key, const std::string& valueName, DWORD* type,
                                     BYTE* data, DWORD& dataLength) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("RegQueryValueExA")) return static_cast<long>(LastError);
  auto k = Keys.find(key);
  if (k == Keys.end()) return ERROR_INVALID_HANDLE;
  const TFakeKey& fk = Registry[k->second];
  for (const auto& v : fk.Values) {
    if (Upper(v.first) != Upper(valueName)) continue;
    if (fk.DwordValues.count(v.first)) {
      if (type) *type = REG_DWORD;
      const DWORD number = static_cast<DWORD>(std::stoul(v.second));
      if (!data) {
        dataLength = sizeof number;
        return ERROR_SUCCESS;
      }
      if (dataLength < sizeof number) {
        dataLength = sizeof number;
        return ERROR_MORE_DATA;
      }
      std::memcpy(data, &number, sizeof number);
      dataLength = sizeof number;
      return ERROR_SUCCESS;
    }
    if (type) *type = REG_SZ;
    DWORD need = static_cast<DWORD>(v.second.size() + 1);
    if (!data) {
      dataLength = need;
      return ERROR_SUCCESS;
    }
    if (need > dataLength) {
      dataLength = need;
      return ERROR_MORE_DATA;
    }
    std::memcpy(data, v.second.c_str(), need);
    dataLength = need;
    return ERROR_SUCCESS;
  }
  return ERROR_FILE_NOT_FOUND;
}

long TFakePlatform::RegQueryInfoKeyA(THandle key, DWORD* subKeys, DWORD* values,
                                     DWORD* maxValueNameLength, DWORD* maxValueLength) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("RegQueryInfoKeyA")) return static_cast<long>(LastError);
  auto k = Keys.find(key);
  if (k == Keys.end()) return ERROR_INVALID_HANDLE;
  const TFakeKey& fk = Registry[k->second];
  DWORD maxName = 0, maxData = 0;
  for (const auto& v : fk.Values) {
    maxName = std::max<DWORD>(maxName, static_cast<DWORD>(v.first.size()));
    maxData = std::max<DWORD>(maxData, static_cast<DWORD>(v.second.size() + 1));
  }
  if (subKeys) *subKeys = static_cast<DWORD>(fk.SubKeys.size());
  if (values) *values = static_cast<DWORD>(fk.Values.size());
  if (maxValueNameLength) *maxValueNameLength = maxName;
  if (maxValueLength) *maxValueLength = maxData;
  return ERROR_SUCCESS;
}

long TFakePlatform::RegEnumValueA(THandle key, DWORD index, char* name, DWORD& nameLength,
                                  DWORD* type, BYTE* data, DWORD& dataLength) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("RegEnumValueA")) return static_cast<long>(LastError);
  auto k = Keys.find(key);
  if (k == Keys.end()) return ERROR_INVALID_HANDLE;
  const auto& values = Registry[k->second].Values;
  if (index >= values.size()) return ERROR_NO_MORE_ITEMS;
  const auto& v = values[index];
  if (v.first.size() + 1 > nameLength || v.second.size() + 1 > dataLength) return ERROR_MORE_DATA;
  std::memcpy(name, v.first.c_str(), v.first.size() + 1);
  nameLength = static_cast<DWORD>(v.first.size());
  std::memcpy(data, v.second.c_str(), v.second.size() + 1);
  dataLength = static_cast<DWORD>(v.second.size() + 1);
  if (type) *type = REG_SZ;
  return ERROR_SUCCESS;
}

long TFakePlatform::RegCloseKey(THandle key) {
  std::lock_guard<std::mutex> hold(Lock);
  Enter("RegCloseKey");
  return Keys.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

bool TFakePlatform::EnumPortsA(std::vector<std::string>& portNames) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("EnumPortsA")) return false;
  if (SpoolerFails) return Fail(ERROR_INVALID_PARAMETER);
  portNames = SpoolerPorts;
  return true;
}

void TFakePlatform::AddAlias(const std::string& alias, const std::string& deviceName) {
  std::lock_guard<std::mutex> hold(Lock);
  Aliases[DeviceKey(alias)] = DeviceKey(deviceName);
}

std::string TFakePlatform::DeviceIdentity(const std::string& name) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("DeviceIdentity")) return {};
  std::string key = DeviceKey(name);
  if (auto alias = Aliases.find(key); alias != Aliases.end()) key = alias->second;
  return Devices.count(key) ? "device " + key : std::string();
}

THandle TFakePlatform::CreateFileA(const std::string& name, DWORD, DWORD shareMode, DWORD, DWORD) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("CreateFileA")) return InvalidHandle;
  return Open(name, shareMode, false);
}

THandle TFakePlatform::OpenPortA(const std::string& name, DWORD, DWORD shareMode, DWORD) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("OpenPortA")) return InvalidHandle;
  return Open(name, shareMode, true);
}

THandle TFakePlatform::Open(const std::string& name, DWORD shareMode, bool portOnly) {
  std::string key = DeviceKey(name);
  if (auto alias = Aliases.find(key); alias != Aliases.end()) key = alias->second;
  auto it = Devices.find(key);
  if (it == Devices.end()) {
    LastError = ERROR_FILE_NOT_FOUND;
    return InvalidHandle;
  }
  if (it->second->OpenError != ERROR_SUCCESS) {
    LastError = it->second->OpenError;
    return InvalidHandle;
  }
  if (portOnly && it->second->FileType != FILE_TYPE_CHAR && it->second->FileType != FILE_TYPE_PIPE) {
    LastError = ERROR_BAD_DEVICE;
    return InvalidHandle;
  }
  auto file = std::make_shared<TOpenFile>();
  file->Name = name;
  file->Device = it->second;
  it->second->ShareMode = shareMode;
  ++it->second->OpenHandles;
  THandle h = NextHandle++;
  Files[h] = file;
  return h;
}

DWORD TFakePlatform::GetFileType(THandle file) {
  std::lock_guard<std::mutex> hold(Lock);
  Enter("GetFileType");
  auto f = FileOf(file);
  return f ? f->Device->FileType : FILE_TYPE_UNKNOWN;
}

bool TFakePlatform::CloseHandle(THandle handle) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    Enter("CloseHandle");
    auto f = Files.find(handle);
    if (f != Files.end()) {
      f->second->Closed = true;
      --f->second->Device->OpenHandles;
      Files.erase(f);
    } else if (!Events.erase(handle)) {
      return Fail(ERROR_INVALID_HANDLE);
    }
  }
  Changed.notify_all();
  return true;
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

bool TFakePlatform::WriteFile(THandle file, const void* data, DWORD count, DWORD& written,
                              THandle abortEvent) {
  std::unique_lock<std::mutex> hold(Lock);
  if (Enter("WriteFile")) return false;
  bool ok = DoWrite(hold, file, static_cast<const std::uint8_t*>(data), count, written,
                    abortEvent, -1);
  hold.unlock();
  Changed.notify_all();
  return ok;
}

bool TFakePlatform::ReadFile(THandle file, void* data, DWORD count, DWORD& read) {
  std::lock_guard<std::mutex> hold(Lock);
  read = 0;
  if (Enter("ReadFile")) return false;
  auto f = FileOf(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  auto& in = f->Device->Incoming;
  auto* out = static_cast<std::uint8_t*>(data);
  while (read < count && !in.empty()) {
    out[read++] = in.front();
    in.pop_front();
  }
  return true;
}

DWORD TFakePlatform::WriteFileTimed(THandle file, const void* data, DWORD count,
                                    THandle doneEvent, DWORD timeoutMs, DWORD& written,
                                    THandle abortEvent) {
  std::unique_lock<std::mutex> hold(Lock);
  written = 0;
  if (Enter("WriteFileTimed")) return WAIT_FAILED;
  auto f = FileOf(file);
  if (!f) {
    // A failed write completes at once with nothing written.
    LastError = ERROR_INVALID_HANDLE;
    auto e = Events.find(doneEvent);
    if (e != Events.end()) e->second.Signalled = true;
    return WAIT_OBJECT_0;
  }
  bool ok = DoWrite(hold, file, static_cast<const std::uint8_t*>(data), count, written, abortEvent,
                    NowMs() + timeoutMs);
  if (!ok && LastError == ERROR_COUNTER_TIMEOUT) return WAIT_TIMEOUT;
  if (!ok && abortEvent != NoHandle && EventSignalled(abortEvent)) return WAIT_OBJECT_0 + 1;
  auto e = Events.find(doneEvent);
  if (e != Events.end()) e->second.Signalled = true;
  hold.unlock();
  Changed.notify_all();
  return WAIT_OBJECT_0;
}

bool TFakePlatform::CancelIo(THandle file) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    Enter("CancelIo");
    auto f = FileOf(file);
    if (!f) return Fail(ERROR_INVALID_HANDLE);
    f->Cancelled = true;
  }
  Changed.notify_all();
  return true;
}

THandle TFakePlatform::CreateEventA(bool manualReset, bool initialState) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("CreateEventA")) return NoHandle;
  THandle h = NextHandle++;
  Events[h] = TEvent{manualReset, initialState};
  ++EventCount;
  return h;
}

bool TFakePlatform::SetEvent(THandle event) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    auto it = Events.find(event);
    if (it == Events.end()) return Fail(ERROR_INVALID_HANDLE);
    it->second.Signalled = true;
  }
  Changed.notify_all();
  return true;
}

bool TFakePlatform::ResetEvent(THandle event) {
  std::lock_guard<std::mutex> hold(Lock);
  auto it = Events.find(event);
  if (it == Events.end()) return Fail(ERROR_INVALID_HANDLE);
  it->second.Signalled = false;
  return true;
}

DWORD TFakePlatform::WaitForSingleObject(THandle handle, DWORD timeoutMs) {
  std::unique_lock<std::mutex> hold(Lock);
  auto it = Events.find(handle);
  if (it == Events.end()) return WAIT_FAILED;
  auto ready = [&] {
    auto e = Events.find(handle);
    return e == Events.end() || e->second.Signalled;
  };
  bool got = timeoutMs == INFINITE ? (Changed.wait(hold, ready), true)
                                   : Changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), ready);
  if (!got) return WAIT_TIMEOUT;
  auto e = Events.find(handle);
  if (e == Events.end()) return WAIT_FAILED;
  if (!e->second.ManualReset) e->second.Signalled = false;
  return WAIT_OBJECT_0;
}

void TFakePlatform::Sleep(DWORD ms) {
  std::lock_guard<std::mutex> hold(Lock);
  CallLog.push_back("Sleep");
  SleptMs += ms;
}

// --- comm ---------------------------------------------------------------------------------

bool TFakePlatform::SetupComm(THandle file, DWORD inQueue, DWORD outQueue) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("SetupComm")) return false;
  auto f = FileOf(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  f->Device->InQueue = inQueue;
  f->Device->OutQueue = outQueue;
  return true;
}

bool TFakePlatform::GetCommState(THandle file, DCB& dcb) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("GetCommState")) return false;
  auto f = FileOf(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  dcb = f->Device->State;
  return true;
}

bool TFakePlatform::SetCommState(THandle file, const DCB& dcb) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("SetCommState")) return false;
  auto f = FileOf(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  f->Device->State = dcb;
  return true;
}

bool TFakePlatform::SetCommTimeouts(THandle file, const COMMTIMEOUTS& timeouts) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("SetCommTimeouts")) return false;
  auto f = FileOf(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  f->Device->Timeouts = timeouts;
  return true;
}

bool TFakePlatform::SetCommMask(THandle file, DWORD mask) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    if (Enter("SetCommMask")) return false;
    auto f = FileOf(file);
    if (!f) return Fail(ERROR_INVALID_HANDLE);
    f->Device->Mask = mask;
    if (f->Device->MaskChangeEndsWait) f->WaitEnded = true;
  }
  Changed.notify_all();
  return true;
}

bool TFakePlatform::WaitCommEvent(THandle file, DWORD& mask) {
  std::unique_lock<std::mutex> hold(Lock);
  mask = 0;
  if (Enter("WaitCommEvent")) return false;
  auto f = FileOf(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  f->WaitEnded = false;
  if (f->Device->Mask == 0) return Fail(ERROR_INVALID_PARAMETER);
  for (;;) {
    if (f->Closed) return Fail(ERROR_INVALID_HANDLE);
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
        Changed.notify_all();
        return true;
      }
    }
    Changed.wait(hold);
  }
}

bool TFakePlatform::ClearCommError(THandle file, DWORD& errors, COMSTAT& status) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("ClearCommError")) return false;
  auto f = FileOf(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  errors = f->Device->CommErrors;
  f->Device->CommErrors = 0;
  status = f->Device->Stat;
  status.cbInQue = static_cast<DWORD>(f->Device->Incoming.size());
  return true;
}

bool TFakePlatform::PurgeComm(THandle file, DWORD flags) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("PurgeComm")) return false;
  auto f = FileOf(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  f->Device->Purges.push_back(flags);
  if (flags & PURGE_RXCLEAR) f->Device->Incoming.clear();
  return true;
}

bool TFakePlatform::EscapeCommFunction(THandle file, DWORD function) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("EscapeCommFunction")) return false;
  auto f = FileOf(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  f->Device->Escapes.push_back(function);
  return true;
}

bool TFakePlatform::GetCommModemStatus(THandle file, DWORD& modemStatus) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("GetCommModemStatus")) return false;
  auto f = FileOf(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  if (f->Device->ModemStatusFails) return Fail(ERROR_NOT_SUPPORTED);
  modemStatus = f->Device->ModemStatus;
  return true;
}

// --- sockets ---------------------------------------------------------------------------------

bool TFakePlatform::WaitFor(std::unique_lock<std::mutex>& hold, const std::function<bool()>& ready,
                            THandle abortEvent, std::int64_t deadlineMs) {
  for (;;) {
    if (ready()) return true;
    if (abortEvent != NoHandle && EventSignalled(abortEvent)) return Fail(ERROR_OPERATION_ABORTED);
    if (deadlineMs >= 0 && NowMs() >= deadlineMs) return Fail(WSAETIMEDOUT);
    Changed.wait_for(hold, std::chrono::milliseconds(5));
  }
}

int TFakePlatform::getaddrinfo(const std::string& host, const std::string& port,
                               std::vector<TSocketAddress>& addresses, DWORD timeoutMs, THandle abortEvent) {
  std::unique_lock<std::mutex> hold(Lock);
  addresses.clear();
  if (Enter("getaddrinfo")) return static_cast<int>(LastError);
  if (!WaitFor(hold, [&] { return !HoldLookups; }, abortEvent, NowMs() + timeoutMs))
    return static_cast<int>(LastError);
  auto error = LookupErrors.find(host);
  if (error != LookupErrors.end()) return static_cast<int>(LastError = error->second);
  auto listed = HostAddresses.find(host);
  // The address is kept as its text: only this platform reads it back.
  for (const std::string& a : listed == HostAddresses.end() ? std::vector<std::string>{host} : listed->second) {
    const std::string text = a + ":" + port;
    TSocketAddress address;
    address.Family = a.find(':') == std::string::npos ? 2 : 23;
    address.Length = static_cast<int>(std::min(text.size(), sizeof address.Data));
    std::memcpy(address.Data, text.data(), static_cast<std::size_t>(address.Length));
    addresses.push_back(address);
  }
  return 0;
}

TSocket TFakePlatform::socket(int) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("socket")) return InvalidSocket;
  const THandle h = NextHandle++;
  Sockets[h];
  return h;
}

bool TFakePlatform::connect(TSocket s, const TSocketAddress& address, DWORD timeoutMs, THandle abortEvent) {
  std::unique_lock<std::mutex> hold(Lock);
  if (Enter("connect")) return false;
  if (!Sockets.count(s)) return Fail(WSAENOTSOCK);
  auto peer = Peers.find(std::string(reinterpret_cast<const char*>(address.Data), static_cast<std::size_t>(address.Length)));
  if (peer == Peers.end()) return Fail(WSAECONNREFUSED);
  auto p = peer->second;
  if (!WaitFor(hold, [&] { return !p->HoldConnect; }, abortEvent, NowMs() + timeoutMs)) return false;
  if (p->ConnectError != ERROR_SUCCESS) return Fail(p->ConnectError);
  ++p->Connections;
  Sockets[s].Peer = p;
  return true;
}

bool TFakePlatform::send(TSocket s, const void* data, DWORD count, DWORD& sent, THandle abortEvent) {
  std::unique_lock<std::mutex> hold(Lock);
  sent = 0;
  if (Enter("send")) return false;
  auto it = Sockets.find(s);
  if (it == Sockets.end() || !it->second.Peer) return Fail(WSAENOTCONN);
  auto peer = it->second.Peer;
  if (!WaitFor(hold, [&] { return !peer->HoldSends || !Sockets.count(s); }, abortEvent, -1)) return false;
  if (!Sockets.count(s)) return Fail(WSAENOTSOCK);
  peer->SendSizes.push_back(count);
  const std::size_t room = peer->ResetAfter - std::min(peer->ResetAfter, peer->Received.size());
  sent = static_cast<DWORD>(std::min<std::size_t>(count, room));
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  peer->Received.insert(peer->Received.end(), bytes, bytes + sent);
  if (sent < count) {
    Sockets[s].Reset = true;
    return Fail(WSAECONNRESET);
  }
  return true;
}

bool TFakePlatform::recv(TSocket s, void* data, DWORD count, DWORD& received, DWORD timeoutMs,
                         THandle abortEvent) {
  std::unique_lock<std::mutex> hold(Lock);
  received = 0;
  if (Enter("recv")) return false;
  auto it = Sockets.find(s);
  if (it == Sockets.end() || !it->second.Peer) return Fail(WSAENOTCONN);
  auto peer = it->second.Peer;
  auto reset = [&] {
    auto own = Sockets.find(s);
    return own == Sockets.end() || own->second.Reset || peer->Received.size() >= peer->ResetAfter;
  };
  auto closed = [&] { return peer->ShutdownSeen && peer->ClosesAfterShutdown; };
  if (!WaitFor(hold, [&] { return !peer->Replies.empty() || reset() || closed(); }, abortEvent,
               NowMs() + timeoutMs))
    return false;
  if (reset()) return Fail(WSAECONNRESET);
  auto* out = static_cast<std::uint8_t*>(data);
  while (received < count && !peer->Replies.empty()) {
    out[received++] = peer->Replies.front();
    peer->Replies.pop_front();
  }
  return true;
}

bool TFakePlatform::shutdown(TSocket s, int how) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    if (Enter("shutdown")) return false;
    auto it = Sockets.find(s);
    if (it == Sockets.end() || !it->second.Peer) return Fail(WSAENOTCONN);
    if (how == SD_SEND || how == SD_BOTH) it->second.Peer->ShutdownSeen = true;
  }
  Changed.notify_all();
  return true;
}

bool TFakePlatform::GetUnacknowledged(TSocket s, DWORD& bytes) {
  std::lock_guard<std::mutex> hold(Lock);
  bytes = 0;
  if (Enter("GetUnacknowledged")) return false;
  auto it = Sockets.find(s);
  if (it == Sockets.end() || !it->second.Peer) return Fail(WSAENOTCONN);
  if (it->second.Peer->Unacknowledged < 0) return Fail(WSAEOPNOTSUPP);
  bytes = static_cast<DWORD>(it->second.Peer->Unacknowledged);
  return true;
}

void TFakePlatform::SetUnacknowledged(const std::shared_ptr<TFakePeer>& peer, std::int64_t bytes) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    peer->Unacknowledged = bytes;
  }
  Changed.notify_all();
}

bool TFakePlatform::closesocket(TSocket s) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    Enter("closesocket");
    if (!Sockets.erase(s)) return Fail(WSAENOTSOCK);
  }
  Changed.notify_all();
  return true;
}

std::string TFakePlatform::FormatMessageA(DWORD code) { return "system error " + std::to_string(code) + "."; }

bool TFakePlatform::EnumNetworkPrinters(std::vector<TNetworkPrinter>& printers, DWORD waitMs) {
  std::lock_guard<std::mutex> hold(Lock);
  CallLog.push_back("EnumNetworkPrinters");
  NetworkPrinterWaits.push_back(waitMs);
  printers = NetworkPrinters;
  return true;
}

// --- the maker's library -------------------------------------------------------------------

bool TFakePlatform::VendorUsbAvailable() {
  std::lock_guard<std::mutex> hold(Lock);
  return VendorLibraryPresent;
}

std::int32_t TFakePlatform::VendorUsbOpen(std::int32_t deviceIndex) {
  std::lock_guard<std::mutex> hold(Lock);
  CallLog.push_back("VendorUsbOpen");
  VendorOpened.push_back(deviceIndex);
  if (!VendorLibraryPresent || !VendorDevices.count(deviceIndex)) return -1;
  return 1000 + deviceIndex;
}

std::int32_t TFakePlatform::VendorUsbWrite(std::int32_t device, const void* data,
                                           std::int32_t count) {
  std::unique_lock<std::mutex> hold(Lock);
  CallLog.push_back("VendorUsbWrite");
  Changed.wait(hold, [&] { return !VendorHoldWrites; });
  VendorWriteSizes.push_back(count);
  if (VendorFailingWrites > 0) {
    --VendorFailingWrites;
    return -5;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  auto& into = VendorReceived[device - 1000];
  into.insert(into.end(), bytes, bytes + count);
  return count;
}

std::int32_t TFakePlatform::VendorUsbClose(std::int32_t device) {
  std::lock_guard<std::mutex> hold(Lock);
  CallLog.push_back("VendorUsbClose");
  VendorClosed.push_back(device - 1000);
  return 0;
}

}  // namespace vornex::test
