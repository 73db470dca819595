// A scripted platform: devices, registry, spooler, network and the maker's
// library are set up per test, every call is recorded, and any call can be
// made to fail with any code. The roles it hands out (FakeRoles.h) work on
// the state scripted here.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "os/HandleTable.h"
#include "os/Platform.h"

namespace vornex::test {

class TFakeDevices;
class TFakeRegistry;
class TFakeSockets;
class TFakeDiscovery;
class TFakeVendorUsb;
class TFakeSpooler;

// A device (or file) that CreateFileA can open by its Windows name.
struct TFakeDevice {
  DWORD FileType = FILE_TYPE_CHAR;
  DWORD OpenError = ERROR_SUCCESS;  // non-zero: CreateFileA fails with it
  DWORD ShareMode = MAXDWORD;       // as last opened
  // Everything written, in order.
  std::vector<std::uint8_t> Written;
  std::vector<std::size_t> WriteSizes;
  // Writes block until ReleaseWrites (or an abort event, or CancelIo).
  bool HoldWrites = false;
  // Each write takes at most this many bytes (a short write).
  DWORD TakePerWrite = MAXDWORD;
  // This many next writes fail with WriteError, once WritesBeforeFailing
  // more have gone through.
  int FailingWrites = 0;
  int WritesBeforeFailing = 0;
  DWORD WriteError = ERROR_GEN_FAILURE;
  // Bytes waiting to be read.
  std::deque<std::uint8_t> Incoming;

  // Comm state.
  bool IsComm = true;
  DCB State;
  COMMTIMEOUTS Timeouts;
  DWORD Mask = 0;
  DWORD ModemStatus = 0;
  bool ModemStatusFails = false;
  COMSTAT Stat;
  DWORD CommErrors = 0;
  DWORD InQueue = 0, OutQueue = 0;
  // A new event mask ends a wait in progress, as Windows documents; some
  // drivers keep waiting until the handle closes.
  bool MaskChangeEndsWait = true;
  // After each write the port reports its transmit buffer empty.
  bool TxEmptyAfterWrite = true;
  std::deque<DWORD> PendingEvents;
  std::vector<DWORD> Escapes;
  std::vector<DWORD> Purges;
  int OpenHandles = 0;
};

struct TFakeKey {
  std::vector<std::string> SubKeys;                           // enumeration order
  std::vector<std::pair<std::string, std::string>> Values;    // name, text data
  std::set<std::string> DwordValues;                          // names whose data is a DWORD, in decimal
};

// A printer on the scripted network, reached at one address and port.
struct TFakePeer {
  // Non-zero: a connection is refused with it.
  DWORD ConnectError = ERROR_SUCCESS;
  // Connecting waits until the time limit or the abort event ends it.
  bool HoldConnect = false;
  // Sends wait until released (or aborted).
  bool HoldSends = false;
  // Bytes past this many are refused and the connection is reset.
  std::size_t ResetAfter = SIZE_MAX;
  // Once our side is shut, the printer closes its own.
  bool ClosesAfterShutdown = true;
  // Its system acknowledges at most this many bytes of a connection.
  std::size_t Acknowledges = SIZE_MAX;
  // Bytes the printer sends back, taken by recv in order.
  std::deque<std::uint8_t> Replies;
  // It never stops sending this back.
  std::string Floods;

  // What happened.
  std::vector<std::uint8_t> Received;
  std::vector<std::size_t> SendSizes;
  int Connections = 0;
  bool ShutdownSeen = false;
};

// A print queue of the scripted spooler.
struct TFakeQueue {
  std::string DriverName;
  std::string Comment;
  // Data types StartDocPrinterA refuses with ERROR_INVALID_DATATYPE.
  std::set<std::string> RefusedDatatypes;
  // Writes wait until released (ReleaseAll), a cancel cannot end them.
  bool HoldWrites = false;
  // Each write takes at most this many bytes.
  DWORD TakePerWrite = MAXDWORD;
  // A write that would bring the document past this many bytes fails.
  std::size_t FailAfter = SIZE_MAX;
  DWORD WriteError = ERROR_GEN_FAILURE;
  // What GetJobA answers, one a call, the last one kept; JobId is filled
  // in. Status JobGone: the job is no longer in the queue.
  std::deque<TJobInfo> States;
  static constexpr DWORD JobGone = MAXDWORD;
  DWORD NextJobId = 42;

  // What happened.
  std::vector<std::uint8_t> Received;
  std::vector<std::size_t> WriteSizes;
  std::vector<std::string> Datatypes;  // as StartDocPrinterA was asked
  std::string DocName;
  int JobsStarted = 0;
  int JobsEnded = 0;
  std::vector<std::pair<DWORD, DWORD>> Controls;  // SetJobA: job, command
  std::vector<DWORD> OpenOptions;
};

class TFakePlatform : public TPlatform {
 public:
  TFakePlatform();
  ~TFakePlatform() override;

  // --- scripting (any thread) -------------------------------------------------
  std::shared_ptr<TFakeDevice> AddDevice(const std::string& name);
  std::shared_ptr<TFakeDevice> Device(const std::string& name);
  // A further name that opens the device (as a link would).
  void AddAlias(const std::string& alias, const std::string& deviceName);
  // Lets held writes go on (they take what they can, then return).
  void ReleaseWrites(const std::string& name);
  // Lets held vendor library writes go on.
  void ReleaseVendorWrites();
  // Lets every held write, lookup, connect and send go on: a test that
  // failed half-way still ends.
  void ReleaseAll();
  // The far end sends bytes: they wait to be read, and the port reports them.
  void Receive(const std::string& name, const std::string& bytes);
  // Raises comm events on an open port: WaitCommEvent returns them in order.
  void RaiseCommEvent(const std::string& name, DWORD mask);
  // Waits (real time) until the condition over the platform's state holds.
  // It runs under the platform's lock: it may read devices' fields, but not
  // call the platform.
  bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);
  // Registry: a key path under HKLM, created with its parents.
  TFakeKey& Key(const std::string& path);
  void SetValue(const std::string& keyPath, const std::string& name, const std::string& data);
  // Makes the named call fail with the code (once, or always), after it has
  // succeeded `after` more times.
  void FailCall(const std::string& call, DWORD code, bool always = true, int after = 0);
  void ClearFailures();
  // Every call made, by name, in order.
  std::vector<std::string> Calls();
  int CountCalls(const std::string& call);
  // The network: a printer at address:port (a host name resolves to itself
  // unless it is given addresses, or a lookup error).
  std::shared_ptr<TFakePeer> AddPeer(const std::string& address, std::uint16_t port);
  std::map<std::string, std::vector<std::string>> HostAddresses;
  std::map<std::string, DWORD> LookupErrors;
  bool HoldLookups = false;
  // The printer sends bytes back.
  void Reply(const std::shared_ptr<TFakePeer>& peer, const std::string& bytes);
  int OpenSockets();
  // What EnumNetworkPrinters answers, and how long each caller would wait.
  std::vector<TNetworkPrinter> NetworkPrinters;
  std::vector<TSourceFailure> NetworkSourceFailures;
  std::vector<DWORD> NetworkPrinterWaits;
  // The spooler: a queue under its name; EnumPrintersA lists them in the
  // order added, and fails with SpoolerListError when it is not 0.
  std::shared_ptr<TFakeQueue> AddQueue(const std::string& name);
  DWORD SpoolerListError = ERROR_SUCCESS;
  int OpenPrinters();
  // Registry: a DWORD value.
  void SetDwordValue(const std::string& keyPath, const std::string& name, DWORD data);
  // Handles currently open, by kind.
  int OpenDeviceHandles();
  int OpenKeys();
  int EventsCreated();

  // What GetDeviceKind answers for a path (NotAPath for any other), and
  // the error it leaves for NotFound.
  std::map<std::string, TDeviceKind> DeviceKinds;
  DWORD DeviceKindError = ERROR_FILE_NOT_FOUND;
  bool VersionFails = false;
  OSVERSIONINFOA Version;
  std::vector<std::string> SpoolerPorts;
  bool SpoolerFails = false;
  // Sleep returns at once and adds to this (milliseconds).
  std::int64_t SleptMs = 0;

  // The maker's library: indices that answer, and what each received.
  bool VendorLibraryPresent = false;
  std::set<std::int32_t> VendorDevices;
  std::map<std::int32_t, std::vector<std::uint8_t>> VendorReceived;
  std::vector<std::int32_t> VendorWriteSizes;
  int VendorFailingWrites = 0;
  std::vector<std::int32_t> VendorOpened;
  std::vector<std::int32_t> VendorClosed;
  bool VendorHoldWrites = false;

  // What FormatMessageA says for a code; "system error N." for any other.
  std::map<DWORD, std::string> MessageTexts;
  // VendorUsbLoadError while the library is absent.
  DWORD VendorLoadError = ERROR_MOD_NOT_FOUND;

  // --- TPlatform --------------------------------------------------------------------
  TDevices& Devices() override;
  TRegistry& Registry() override;
  TSockets& Sockets() override;
  TDiscovery& Discovery() override;
  TVendorUsb& VendorUsb() override;
  TSpooler& Spooler() override;
  DWORD GetLastError() override;
  void SetLastError(DWORD code) override;
  std::string FormatMessageA(DWORD code) override;
  bool GetVersionExA(OSVERSIONINFOA& info) override;
  bool CloseHandle(THandle handle) override;
  THandle CreateEventA(bool manualReset, bool initialState) override;
  bool SetEvent(THandle event) override;
  bool ResetEvent(THandle event) override;
  DWORD WaitForSingleObject(THandle handle, DWORD timeoutMs) override;
  void Sleep(DWORD ms) override;
  void LowerThreadPriority() override;

 private:
  // The roles work on the scripted state below, under its lock.
  friend class TFakeDevices;
  friend class TFakeRegistry;
  friend class TFakeSockets;
  friend class TFakeDiscovery;
  friend class TFakeVendorUsb;
  friend class TFakeSpooler;

  struct TOpenFile {
    std::string Name;
    std::shared_ptr<TFakeDevice> Device;
    bool Cancelled = false;   // CancelIo
    bool WaitEnded = false;   // SetCommMask during WaitCommEvent
    bool Closed = false;
  };
  struct TEvent {
    bool ManualReset = true;
    bool Signalled = false;
  };
  struct TSocketState {
    std::shared_ptr<TFakePeer> Connecting;  // while it connects
    std::shared_ptr<TFakePeer> Peer;        // once connected
    bool Reset = false;
    std::size_t Sent = 0;  // bytes its peer took
    bool Shut = false;     // our side
  };
  struct TOpenPrinter {
    std::shared_ptr<TFakeQueue> Queue;
    DWORD JobId = 0;
    bool InDocument = false;
  };
  // Records the call; true when it is to fail (last error set).
  bool Enter(const std::string& call);
  bool Fail(DWORD code);
  std::shared_ptr<TOpenFile> FileOf(THandle h);
  bool EventSignalled(THandle h);
  // CreateFileA's open, its lock held; portOnly refuses a disk file.
  THandle Open(const std::string& name, DWORD shareMode, bool portOnly);
  bool DoWrite(std::unique_lock<std::mutex>& hold, THandle file, const std::uint8_t* data,
               DWORD count, DWORD& written, THandle abortEvent, std::int64_t deadlineMs);
  // Waits on the platform's changes until ready() holds: false with the
  // error when the abort event or the deadline (-1: none) comes first.
  bool WaitFor(std::unique_lock<std::mutex>& hold, const std::function<bool()>& ready, THandle abortEvent,
               std::int64_t deadlineMs);

  std::mutex Lock;
  std::condition_variable Changed;
  std::map<std::string, std::shared_ptr<TFakeDevice>> DeviceList;
  std::map<std::string, std::string> Aliases;  // alias key to device key
  THandleNumbers Numbers{0x100};
  THandleTable<TOpenFile> Files{Numbers};
  THandleTable<TEvent> Events{Numbers};
  THandleTable<TSocketState> SocketList{Numbers};
  THandleTable<std::string> Keys{Numbers};  // the key's path
  THandleTable<TOpenPrinter> Printers{Numbers};
  std::vector<std::pair<std::string, std::shared_ptr<TFakeQueue>>> QueueList;
  std::map<std::string, std::shared_ptr<TFakePeer>> Peers;  // by address:port
  std::map<std::string, TFakeKey> RegistryKeys;
  struct TFailure {
    DWORD Code;
    bool Always;
    int After;
  };
  std::map<std::string, TFailure> Failures;
  std::vector<std::string> CallLog;
  int EventCount = 0;
  std::unique_ptr<TFakeDevices> DevicesPart;
  std::unique_ptr<TFakeRegistry> RegistryPart;
  std::unique_ptr<TFakeSockets> SocketsPart;
  std::unique_ptr<TFakeDiscovery> DiscoveryPart;
  std::unique_ptr<TFakeVendorUsb> VendorPart;
  std::unique_ptr<TFakeSpooler> SpoolerPart;
};

}  // namespace vornex::test
