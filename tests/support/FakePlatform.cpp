#include "tests/support/FakePlatform.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "tests/support/FakeRoles.h"

namespace vornex::test {

DWORD& FakeLastError() {
  thread_local DWORD code = 0;
  return code;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string DeviceKey(const std::string& name) {
  std::string n = name;
  if (n.rfind("\\\\.\\", 0) == 0) n = n.substr(4);
  return Upper(n);
}

TFakePlatform::TFakePlatform()
    : DevicesPart(std::make_unique<TFakeDevices>(*this)),
      RegistryPart(std::make_unique<TFakeRegistry>(*this)),
      SocketsPart(std::make_unique<TFakeSockets>(*this)),
      DiscoveryPart(std::make_unique<TFakeDiscovery>(*this)),
      VendorPart(std::make_unique<TFakeVendorUsb>(*this)),
      SpoolerPart(std::make_unique<TFakeSpooler>(*this)) {
  Version.dwPlatformId = VER_PLATFORM_WIN32_NT;
  Version.dwMajorVersion = 5;
  Version.dwMinorVersion = 1;
}

TFakePlatform::~TFakePlatform() = default;

TDevices& TFakePlatform::Devices() { return *DevicesPart; }
TRegistry& TFakePlatform::Registry() { return *RegistryPart; }
TSockets& TFakePlatform::Sockets() { return *SocketsPart; }
TDiscovery& TFakePlatform::Discovery() { return *DiscoveryPart; }
TVendorUsb& TFakePlatform::VendorUsb() { return *VendorPart; }
TSpooler& TFakePlatform::Spooler() { return *SpoolerPart; }

// --- scripting -------------------------------------------------------------------

std::shared_ptr<TFakeDevice> TFakePlatform::AddDevice(const std::string& name) {
  std::lock_guard<std::mutex> hold(Lock);
  auto device = std::make_shared<TFakeDevice>();
  DeviceList[DeviceKey(name)] = device;
  return device;
}

std::shared_ptr<TFakeDevice> TFakePlatform::Device(const std::string& name) {
  std::lock_guard<std::mutex> hold(Lock);
  auto it = DeviceList.find(DeviceKey(name));
  return it == DeviceList.end() ? nullptr : it->second;
}

void TFakePlatform::ReleaseWrites(const std::string& name) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    auto it = DeviceList.find(DeviceKey(name));
    if (it != DeviceList.end()) it->second->HoldWrites = false;
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
    for (auto& device : DeviceList) device.second->HoldWrites = false;
    VendorHoldWrites = false;
    HoldLookups = false;
    for (auto& peer : Peers) peer.second->HoldConnect = peer.second->HoldSends = false;
    for (auto& queue : QueueList) queue.second->HoldWrites = false;
  }
  Changed.notify_all();
}

void TFakePlatform::Receive(const std::string& name, const std::string& bytes) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    auto it = DeviceList.find(DeviceKey(name));
    if (it == DeviceList.end()) return;
    it->second->Incoming.insert(it->second->Incoming.end(), bytes.begin(), bytes.end());
    it->second->PendingEvents.push_back(EV_RXCHAR);
  }
  Changed.notify_all();
}

void TFakePlatform::RaiseCommEvent(const std::string& name, DWORD mask) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    auto it = DeviceList.find(DeviceKey(name));
    if (it != DeviceList.end()) it->second->PendingEvents.push_back(mask);
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
      auto& subs = RegistryKeys[Upper(parent)].SubKeys;
      if (std::find(subs.begin(), subs.end(), part) == subs.end()) subs.push_back(part);
    }
    RegistryKeys[Upper(full)];
    parent = full;
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return RegistryKeys[Upper(p)];
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

void TFakePlatform::AddAlias(const std::string& alias, const std::string& deviceName) {
  std::lock_guard<std::mutex> hold(Lock);
  Aliases[DeviceKey(alias)] = DeviceKey(deviceName);
}

void TFakePlatform::Reply(const std::shared_ptr<TFakePeer>& peer, const std::string& bytes) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    peer->Replies.insert(peer->Replies.end(), bytes.begin(), bytes.end());
  }
  Changed.notify_all();
}

std::shared_ptr<TFakeQueue> TFakePlatform::AddQueue(const std::string& name) {
  std::lock_guard<std::mutex> hold(Lock);
  auto queue = std::make_shared<TFakeQueue>();
  QueueList.emplace_back(name, queue);
  return queue;
}

int TFakePlatform::OpenPrinters() {
  std::lock_guard<std::mutex> hold(Lock);
  return static_cast<int>(Printers.Size());
}

int TFakePlatform::OpenSockets() {
  std::lock_guard<std::mutex> hold(Lock);
  return static_cast<int>(SocketList.Size());
}

void TFakePlatform::FailCall(const std::string& call, DWORD code, bool always, int after) {
  std::lock_guard<std::mutex> hold(Lock);
  Failures[call] = {code, always, after};
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
  return static_cast<int>(Files.Size());
}

int TFakePlatform::OpenKeys() {
  std::lock_guard<std::mutex> hold(Lock);
  return static_cast<int>(Keys.Size());
}

int TFakePlatform::EventsCreated() {
  std::lock_guard<std::mutex> hold(Lock);
  return EventCount;
}

bool TFakePlatform::Enter(const std::string& call) {
  CallLog.push_back(call);
  auto it = Failures.find(call);
  if (it == Failures.end()) return false;
  if (it->second.After > 0) {
    --it->second.After;
    return false;
  }
  FakeLastError() = it->second.Code;
  if (!it->second.Always) Failures.erase(it);
  return true;
}

bool TFakePlatform::Fail(DWORD code) {
  FakeLastError() = code;
  return false;
}

std::shared_ptr<TFakePlatform::TOpenFile> TFakePlatform::FileOf(THandle h) {
  return Files.Find(h);
}

bool TFakePlatform::EventSignalled(THandle h) {
  auto e = Events.Find(h);
  return e && e->Signalled;
}

DWORD TFakePlatform::GetLastError() { return FakeLastError(); }
void TFakePlatform::SetLastError(DWORD code) { FakeLastError() = code; }

std::string TFakePlatform::FormatMessageA(DWORD code) {
  std::lock_guard<std::mutex> hold(Lock);
  auto text = MessageTexts.find(code);
  return text != MessageTexts.end() ? text->second : "system error " + std::to_string(code) + ".";
}

bool TFakePlatform::GetVersionExA(OSVERSIONINFOA& info) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("GetVersionExA")) return false;
  if (VersionFails) return Fail(ERROR_INVALID_PARAMETER);
  info = Version;
  return true;
}

bool TFakePlatform::CloseHandle(THandle handle) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    Enter("CloseHandle");
    if (auto file = Files.Remove(handle)) {
      file->Closed = true;
      --file->Device->OpenHandles;
    } else if (!Events.Remove(handle)) {
      return Fail(ERROR_INVALID_HANDLE);
    }
  }
  Changed.notify_all();
  return true;
}

THandle TFakePlatform::CreateEventA(bool manualReset, bool initialState) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("CreateEventA")) return NoHandle;
  ++EventCount;
  return Events.Add(std::make_shared<TEvent>(TEvent{manualReset, initialState}));
}

bool TFakePlatform::SetEvent(THandle event) {
  {
    std::lock_guard<std::mutex> hold(Lock);
    if (Enter("SetEvent")) return false;
    auto e = Events.Find(event);
    if (!e) return Fail(ERROR_INVALID_HANDLE);
    e->Signalled = true;
  }
  Changed.notify_all();
  return true;
}

bool TFakePlatform::ResetEvent(THandle event) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Enter("ResetEvent")) return false;
  auto e = Events.Find(event);
  if (!e) return Fail(ERROR_INVALID_HANDLE);
  e->Signalled = false;
  return true;
}

DWORD TFakePlatform::WaitForSingleObject(THandle handle, DWORD timeoutMs) {
  std::unique_lock<std::mutex> hold(Lock);
  if (Enter("WaitForSingleObject")) return WAIT_FAILED;
  auto e = Events.Find(handle);
  if (!e) {
    Fail(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  // Closing the event under the wait ends it with a failure.
  auto ready = [&] { return e->Signalled || !Events.Find(handle); };
  const bool got = timeoutMs == INFINITE ? (Changed.wait(hold, ready), true)
                                         : Changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), ready);
  if (!got) return WAIT_TIMEOUT;
  if (!Events.Find(handle)) return WAIT_FAILED;
  if (!e->ManualReset) e->Signalled = false;
  return WAIT_OBJECT_0;
}

void TFakePlatform::Sleep(DWORD ms) {
  std::lock_guard<std::mutex> hold(Lock);
  CallLog.push_back("Sleep");
  SleptMs += ms;
}

void TFakePlatform::LowerThreadPriority() {
  std::lock_guard<std::mutex> hold(Lock);
  CallLog.push_back("LowerThreadPriority");
}

}  // namespace vornex::test
