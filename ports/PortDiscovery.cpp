#include "ports/PortDiscovery.h"

#include <algorithm>

#include "forms/Convert.h"
#include "ports/RegKey.h"
#include "ports/UsbDeviceKey.h"
#include "upload/Job.h"
#include "upload/NetworkAddress.h"
#include "upload/PrintQueueName.h"
#include "upload/UsbPrinterTransport.h"

namespace vornex {

namespace {

// Bounds for the serial-port map's buffers, whatever the key claims: a
// claim beyond them makes that value unreadable, not a huge allocation.
constexpr DWORD LongestValueName = 16383;
constexpr DWORD LongestValueData = 65535;

// The subkey name at index, or false at the end of the subkeys (any error).
// A name too long for the buffer is passed over rather than ending the walk.
bool NextSubKey(TPlatform& platform, THandle key, DWORD& index, std::string& name) {
  for (;; ++index) {
    char buffer[RegistryNameBuffer];
    DWORD length = RegistryNameBuffer;
    const long r = platform.Registry().RegEnumKeyExA(key, index, buffer, length);
    if (r == ERROR_MORE_DATA) continue;
    if (r != ERROR_SUCCESS) return false;
    name = TextOfData(buffer, std::min(length, RegistryNameBuffer - 1));
    return true;
  }
}

}  // namespace

TPortDiscovery::TPortDiscovery(TPlatform& platform, TComboBox& comboBox1)
    : Platform(platform), ComboBox1(comboBox1) {}

void TPortDiscovery::DetermineWindowsLevel() {
  OSVERSIONINFOA info;
  if (!Platform.GetVersionExA(info)) return;
  Level = info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 5 ? 2000 : 1998;
}

void TPortDiscovery::RefreshPortList() {
  ComboBox1.ClearItems();
  FindUsbPrinters();
  if (Level == 2000) AddSerialCommPorts();
  AddSpoolerPorts();
  AddVendorUsbDevices();
  AddNetworkPrinters();
  AddPrintQueues();
}

// --- USB printers -------------------------------------------------------------------

void TPortDiscovery::FindUsbPrinters() {
  Paths.clear();
  PathLabels.clear();
  TRegKey usb(Platform, UsbEnumKeyPath);
  if (!usb.Open()) return;
  std::string name;
  for (DWORD index = 0; NextSubKey(Platform, usb.Get(), index, name); ++index) {
    const auto productId = MakerProductId(name);
    if (!productId || *productId < 2) continue;
    if (!AddUsbPrinterInstances(UsbEnumKeyPath + name + "\\", *productId)) return;
  }
}

bool TPortDiscovery::AddUsbPrinterInstances(const std::string& devicePath, std::int32_t productId) {
  TRegKey device(Platform, devicePath);
  if (!device.Open()) return false;
  std::string instanceName;
  for (DWORD index = 0; NextSubKey(Platform, device.Get(), index, instanceName); ++index) {
    const std::string instancePath = devicePath + instanceName + "\\";
    std::string path;
    {
      TRegKey instance(Platform, instancePath);
      if (!instance.Open()) return false;
      std::string service;
      if (!instance.ReadText("Service", RegistryNameBuffer, service) || service != UsbPrinterService)
        continue;
      TRegKey parameters(Platform, instancePath + "Device Parameters");
      if (!parameters.ReadText("SymbolicName", RegistryNameBuffer, path)) continue;
      // \??\USB#... is the kernel's form; \\?\USB#... is what opens.
      if (path.size() < 2) continue;
      path[1] = '\\';
    }
    if (!CanOpenDevice(path)) continue;
    Paths.push_back(path);
    PathLabels.push_back(UsbPrinterLabel + IntToHex(static_cast<std::uint32_t>(productId)));
    ComboBox1.AddItem(PathLabels.back());
  }
  return true;
}

std::string TPortDiscovery::UsbPrinterPathOf(const std::string& label) const {
  for (std::size_t i = 0; i < Paths.size(); ++i)
    if (PathLabels[i] == label) return Paths[i];
  return {};
}

bool TPortDiscovery::CanOpenDevice(const std::string& path) {
  const TInUse use = CurrentUse();
  if (use.TransferMode == tmUsbPrinter && !use.UsbPrinterPath.empty() && path == use.UsbPrinterPath)
    return true;
  // Shared: a printer another program holds is still there.
  const DWORD shared = FILE_SHARE_READ | FILE_SHARE_WRITE;
  return TPlatformHandle(Platform, OpenUsbPrinter(Platform, path, shared)).Valid();
}

// --- the serial-port map, the spooler and the maker's library ------------------------

void TPortDiscovery::AddSerialCommPorts() {
  TRegKey map(Platform, SerialCommKeyPath);
  if (!map.Open()) return;
  DWORD values = 0, longestName = 0, longestData = 0;
  if (Platform.Registry().RegQueryInfoKeyA(map.Get(), nullptr, &values, &longestName, &longestData) !=
      ERROR_SUCCESS)
    return;
  std::vector<char> name(std::min(longestName, LongestValueName) + 1);
  std::vector<char> data(std::min(longestData, LongestValueData) + 1);
  for (DWORD index = 0; index < values; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataLength = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (Platform.Registry().RegEnumValueA(map.Get(), index, name.data(), nameLength, &type,
                                          reinterpret_cast<BYTE*>(data.data()), dataLength) != ERROR_SUCCESS)
      continue;
    ComboBox1.AddItem(TextOfData(data.data(), std::min(dataLength, static_cast<DWORD>(data.size()))));
  }
}

void TPortDiscovery::AddSpoolerPorts() {
  std::vector<std::string> ports;
  if (!Platform.Discovery().EnumPortsA(ports)) return;
  for (std::string name : ports) {
    // The spooler's names end in a colon: COM1: is listed as COM1.
    if (!name.empty()) name.pop_back();
    const std::string upper = UpperCase(name);
    if (Level == 1998 && Contains(upper, "COM")) ComboBox1.AddItem(name);
    if (Contains(upper, "LPT")) ComboBox1.AddItem(name);
  }
}

void TPortDiscovery::AddVendorUsbDevices() {
  if (CurrentUse().TransferMode != tmVendorUsb) {
    VendorLabels.clear();
    for (std::int32_t index = 0; index < VendorUsbDevices; ++index) {
      const std::int32_t device = Platform.VendorUsb().VendorUsbOpen(index);
      if (device == -1) continue;
      VendorLabels.push_back(VendorUsbLabel + std::to_string(index));
      Platform.VendorUsb().VendorUsbClose(device);
    }
  }
  for (const auto& label : VendorLabels) ComboBox1.AddItem(label);
}

// --- printers on the network -----------------------------------------------------------

void TPortDiscovery::AddNetworkPrinters() {
  std::vector<std::string> listed;
  auto add = [&](const TNetworkAddress& address, const std::string& name) {
    const std::string plain = NetworkPortText(address);
    if (std::find(listed.begin(), listed.end(), plain) != listed.end()) return;
    listed.push_back(plain);
    ComboBox1.AddItem(NetworkPortText(address, name));
  };
  TRegKey ports(Platform, TcpIpPortsKeyPath);
  std::string name;
  for (DWORD index = 0; ports.Open() && NextSubKey(Platform, ports.Get(), index, name); ++index) {
    TRegKey port(Platform, std::string(TcpIpPortsKeyPath) + "\\" + name);
    DWORD protocol = 0, number = DefaultPrinterPort;
    // LPR ports speak another protocol; only raw ones take the file as it is.
    if (!port.ReadNumber("Protocol", protocol) || protocol != TcpIpRawProtocol) continue;
    std::string host;
    if (!port.ReadText("HostName", RegistryNameBuffer, host) || host.empty())
      port.ReadText("IPAddress", RegistryNameBuffer, host);
    TNetworkAddress address;
    if (!ParseNetworkAddress(host, address)) continue;
    if (port.ReadNumber("PortNumber", number) && (number < 1 || number > 65535)) continue;
    address.Port = static_cast<std::uint16_t>(number);
    add(address, name);
  }
  TNetworkSearch found;
  NetworkFailures.clear();
  if (!Platform.Discovery().EnumNetworkPrinters(found, NetworkWaitMs)) return;
  NetworkFailures = found.Failures;
  for (const TNetworkPrinter& printer : found.Printers) {
    TNetworkAddress address;
    if (ParseNetworkAddress(printer.Address, address)) add(address, printer.Name);
  }
}

// --- the system's print queues ---------------------------------------------------------

void TPortDiscovery::AddPrintQueues() {
  std::vector<TPrinterInfo> queues;
  if (!Platform.Spooler().EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, queues)) return;
  for (const TPrinterInfo& q : queues) {
    if (q.PrinterName.empty()) continue;
    // CUPS makes a queue's description its name when none was written.
    const bool described = !q.Comment.empty() && q.Comment != q.PrinterName;
    ComboBox1.AddItem(PrintQueuePortText(q.PrinterName, described ? q.Comment : q.DriverName));
  }
}

}  // namespace vornex
