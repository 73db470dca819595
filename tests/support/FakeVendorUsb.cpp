#include "tests/support/FakeRoles.h"

namespace vornex::test {

bool TFakeVendorUsb::VendorUsbAvailable() {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("VendorUsbAvailable")) return false;
  return P.VendorLibraryPresent;
}

DWORD TFakeVendorUsb::VendorUsbLoadError() {
  std::lock_guard<std::mutex> hold(P.Lock);
  return P.VendorLibraryPresent ? ERROR_SUCCESS : P.VendorLoadError;
}

std::int32_t TFakeVendorUsb::VendorUsbOpen(std::int32_t deviceIndex) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("VendorUsbOpen")) return -1;
  P.VendorOpened.push_back(deviceIndex);
  if (!P.VendorLibraryPresent) {
    FakeLastError() = P.VendorLoadError;
    return -1;
  }
  if (!P.VendorDevices.count(deviceIndex)) return -1;
  return 1000 + deviceIndex;
}

std::int32_t TFakeVendorUsb::VendorUsbWrite(std::int32_t device, const void* data,
                                            std::int32_t count) {
  std::unique_lock<std::mutex> hold(P.Lock);
  if (P.Enter("VendorUsbWrite")) return -1;
  P.Changed.wait(hold, [&] { return !P.VendorHoldWrites; });
  P.VendorWriteSizes.push_back(count);
  if (P.VendorFailingWrites > 0) {
    --P.VendorFailingWrites;
    return -5;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  auto& into = P.VendorReceived[device - 1000];
  into.insert(into.end(), bytes, bytes + count);
  return count;
}

std::int32_t TFakeVendorUsb::VendorUsbClose(std::int32_t device) {
  std::lock_guard<std::mutex> hold(P.Lock);
  if (P.Enter("VendorUsbClose")) return -1;
  P.VendorClosed.push_back(device - 1000);
  return 0;
}

}  // namespace vornex::test
