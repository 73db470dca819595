#include "os/posix/VendorLibrary.h"

#include "os/posix/PosixPlatform.h"

namespace vornex::posix {

TVendorLibrary::TVendorLibrary(const std::vector<std::string>&) {}
TVendorLibrary::~TVendorLibrary() = default;
std::int32_t TVendorLibrary::Open(std::int32_t) { return -1; }
std::int32_t TVendorLibrary::Write(std::int32_t, const void*, std::int32_t) { return -1; }
std::int32_t TVendorLibrary::Close(std::int32_t) { return 0; }

}  // namespace vornex::posix

namespace vornex {

bool TPosixPlatform::VendorUsbAvailable() { return Vendor->Loaded(); }
std::int32_t TPosixPlatform::VendorUsbOpen(std::int32_t index) { return Vendor->Open(index); }
std::int32_t TPosixPlatform::VendorUsbWrite(std::int32_t device, const void* data, std::int32_t count) {
  return Vendor->Write(device, data, count);
}
std::int32_t TPosixPlatform::VendorUsbClose(std::int32_t device) { return Vendor->Close(device); }

}  // namespace vornex
