// A stand-in for the maker's USB transfer library, for tests and demos. It
// answers only while VORNEX_USBAPI_OUT names a file, and appends every byte
// written to any device to that file.
//   VORNEX_USBAPI_DEVICES   device indices that answer, comma separated (default 0)
//   VORNEX_USBAPI_FAIL_OPEN 1: every open fails
//   VORNEX_USBAPI_FAIL_WRITES N: write N after an open (counted from 1) fails;
//                           with VORNEX_USBAPI_FAIL_COUNT C, C writes from there
//   VORNEX_USBAPI_LOG       a file that gets one line per call
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#ifdef _WIN32
// Exported by ordinal only, through UsbApi.def: no name is exported.
#define USBAPI_EXPORT extern "C"
#define USBAPI_CALL __stdcall
#else
#define USBAPI_EXPORT extern "C" __attribute__((visibility("default")))
#define USBAPI_CALL
#endif

namespace {

std::mutex Lock;
long WritesSeen = 0;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

void Log(const char* what, long a, long b) {
  std::string path = Env("VORNEX_USBAPI_LOG");
  if (path.empty()) return;
  if (FILE* f = std::fopen(path.c_str(), "a")) {
    std::fprintf(f, "%s %ld %ld\n", what, a, b);
    std::fclose(f);
  }
}

bool Answers(std::int32_t index) {
  if (Env("VORNEX_USBAPI_OUT").empty() || Env("VORNEX_USBAPI_FAIL_OPEN") == "1") return false;
  std::string list = Env("VORNEX_USBAPI_DEVICES");
  if (list.empty()) list = "0";
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t comma = list.find(',', start);
    std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!item.empty() && std::atoi(item.c_str()) == index && item.find_first_not_of("0123456789") == std::string::npos)
      return true;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return false;
}

}  // namespace

USBAPI_EXPORT std::int32_t USBAPI_CALL VendorUsbOpen(std::int32_t index) {
  std::lock_guard<std::mutex> hold(Lock);
  bool ok = Answers(index);
  if (ok) WritesSeen = 0;
  Log("open", index, ok ? 0x100 + index : -1);
  return ok ? 0x100 + index : -1;
}

USBAPI_EXPORT std::int32_t USBAPI_CALL VendorUsbWrite(std::int32_t device, const void* data, std::int32_t count) {
  std::lock_guard<std::mutex> hold(Lock);
  ++WritesSeen;
  long failFrom = std::atol(Env("VORNEX_USBAPI_FAIL_WRITES").c_str());
  long failCount = Env("VORNEX_USBAPI_FAIL_COUNT").empty() ? 1 : std::atol(Env("VORNEX_USBAPI_FAIL_COUNT").c_str());
  if (failFrom > 0 && WritesSeen >= failFrom && WritesSeen < failFrom + failCount) {
    Log("write-failed", device, count);
    return -1;
  }
  Log("write", device, count);
  FILE* f = std::fopen(Env("VORNEX_USBAPI_OUT").c_str(), "ab");
  if (!f) return -2;
  std::size_t n = count > 0 ? std::fwrite(data, 1, static_cast<std::size_t>(count), f) : 0;
  std::fclose(f);
  return static_cast<std::int32_t>(n);
}

USBAPI_EXPORT std::int32_t USBAPI_CALL VendorUsbClose(std::int32_t device) {
  std::lock_guard<std::mutex> hold(Lock);
  Log("close", device, 0);
  return 0;
}
