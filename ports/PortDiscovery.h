// The list of ports the user can choose from, and the USB printers found:
// USB printers of the maker from the registry, the serial-port map, the
// spooler's ports, the maker's USB library, printers on the network and the
// system's print queues, in that order. Runs on the UI thread and never shows a message.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "forms/Controls.h"
#include "os/Platform.h"

namespace vornex {

inline constexpr char UsbEnumKeyPath[] = "SYSTEM\\CurrentControlSet\\Enum\\USB\\";
inline constexpr char SerialCommKeyPath[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
inline constexpr char UsbPrinterService[] = "usbprint";
inline constexpr char UsbPrinterLabel[] = "Common USB-";
// Seven characters: the device digit stands eighth.
inline constexpr char VendorUsbLabel[] = "ZUV USB";
inline constexpr std::int32_t VendorUsbDevices = 4;
// Key names and the two text values are read into buffers of this size.
inline constexpr DWORD RegistryNameBuffer = 256;
// The spooler's Standard TCP/IP Port monitor: a key per port, Protocol 1
// for raw printing.
inline constexpr char TcpIpPortsKeyPath[] =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports";
inline constexpr DWORD TcpIpRawProtocol = 1;

class TPortDiscovery {
 public:
  TPortDiscovery(TPlatform& platform, TComboBox& comboBox1);

  // The device a running transfer holds, so that a rebuild meanwhile neither
  // test-opens it (Linux's usblp lets one open at a time) nor disturbs it.
  struct TInUse {
    std::int32_t TransferMode = 0;  // 0: no transfer runs
    std::string UsbPrinterPath;
  };
  std::function<TInUse()> InUse;

  // 2000 for the NT platform from major version 5, 1998 for any other, 0
  // when the version cannot be had (then no COM port is listed).
  void DetermineWindowsLevel();
  std::int32_t WindowsLevel() const { return Level; }
  // Openable USB printers found by the last search, in the order found.
  const std::vector<std::string>& UsbPrinterPaths() const { return Paths; }
  // The path a USB printer transfer sends to, taken when it starts.
  std::string FirstUsbPrinterPath() const { return Paths.empty() ? std::string() : Paths.front(); }
  // The first USB printer listed by that label (Common USB-2), or empty.
  std::string UsbPrinterPathOf(const std::string& label) const;

  void ComboBox1DropDown() { RefreshPortList(); }
  // Searches the USB printers alone; their labels go after what is listed.
  void Button1Click() { FindUsbPrinters(); }

  // Rebuilds the list; the text in the box stays as it was.
  void RefreshPortList();
  void FindUsbPrinters();
  void AddSerialCommPorts();
  void AddSpoolerPorts();
  void AddVendorUsbDevices();
  // The spooler's raw TCP/IP ports and the printers the system finds on the
  // network, each address once, as TCP:HOST:PORT (NAME).
  void AddNetworkPrinters();
  // The spooler's print queues, local and connected, as PRINTER:NAME
  // (description, else make and model).
  void AddPrintQueues();
  bool CanOpenDevice(const std::string& path);

  // The sources of printers on the network that failed in the last
  // rebuild's search, and why: the window says nothing of them, but a
  // command line does.
  const std::vector<TSourceFailure>& NetworkSearchFailures() const { return NetworkFailures; }

  // How long a rebuild waits for the network search; a search that takes
  // longer shows its printers at a later rebuild.
  DWORD NetworkWaitMs = DefaultNetworkWaitMs;
  static constexpr DWORD DefaultNetworkWaitMs = 200;

 private:
  // The instances of one device key; false when one cannot be opened,
  // which ends the search.
  bool AddUsbPrinterInstances(const std::string& devicePath, std::int32_t productId);
  TInUse CurrentUse() const { return InUse ? InUse() : TInUse{}; }

  TPlatform& Platform;
  TComboBox& ComboBox1;
  std::int32_t Level = 0;
  std::vector<std::string> Paths;
  // The label each of Paths is listed by.
  std::vector<std::string> PathLabels;
  // The library's devices as last found, listed again while a transfer
  // through the library runs rather than opening its device a second time.
  std::vector<std::string> VendorLabels;
  std::vector<TSourceFailure> NetworkFailures;
};

}  // namespace vornex
