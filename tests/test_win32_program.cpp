// The shipped program as Windows sees it before running it: its version
// resource, its manifest and its icon, read back from vornex.exe with
// Windows' own calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Version.h"
#include "os/win32/WinApi.h"

namespace {

// vornex.exe stands beside the test programs.
std::string ProgramPath() {
  char self[MAX_PATH];
  const ::DWORD n = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self, n);
  return path.substr(0, path.find_last_of("\\/") + 1) + "vornex.exe";
}

std::string StringValue(std::vector<char>& info, const std::string& name) {
  void* value = nullptr;
  UINT length = 0;
  const std::string key = "\\StringFileInfo\\040904E4\\" + name;
  if (!::VerQueryValueA(info.data(), key.c_str(), &value, &length) || length == 0) return "(none)";
  return static_cast<const char*>(value);
}

TEST(Win32Program, TheVersionResourceCarriesTheOneVersionNumber) {
  const std::string program = ProgramPath();
  ::DWORD ignored = 0;
  const ::DWORD size = ::GetFileVersionInfoSizeA(program.c_str(), &ignored);
  ASSERT_GT(size, 0u) << program << ": no version resource (" << ::GetLastError() << ")";
  std::vector<char> info(size);
  ASSERT_TRUE(::GetFileVersionInfoA(program.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "%u.%u.%u.%u", unsigned{HIWORD(fixed->dwFileVersionMS)},
                unsigned{LOWORD(fixed->dwFileVersionMS)}, unsigned{HIWORD(fixed->dwFileVersionLS)},
                unsigned{LOWORD(fixed->dwFileVersionLS)});
  EXPECT_STREQ(numbers, VORNEX_VERSION_QUAD);
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  EXPECT_EQ(fixed->dwFileType, static_cast<::DWORD>(VFT_APP));

  EXPECT_EQ(StringValue(info, "ProductName"), "ZUV Vornex");
  EXPECT_EQ(StringValue(info, "ProductVersion"), vornex::ProductVersion);
  EXPECT_EQ(StringValue(info, "FileVersion"), vornex::ProductVersion);
  EXPECT_EQ(StringValue(info, "OriginalFilename"), "vornex.exe");
  EXPECT_NE(StringValue(info, "FileDescription").find("printer"), std::string::npos);
}

class Win32ProgramResources : public ::testing::Test {
 protected:
  void SetUp() override {
    Module = ::LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(Module, nullptr) << ProgramPath() << " (" << ::GetLastError() << ")";
  }
  void TearDown() override {
    if (Module) ::FreeLibrary(Module);
  }
  HMODULE Module = nullptr;
};

TEST_F(Win32ProgramResources, TheManifestAsksForVisualStylesTheUsersRightsAndNamesTheWindowsVersions) {
  HRSRC found = ::FindResourceA(Module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  ASSERT_NE(found, nullptr) << "no manifest embedded";
  const auto* bytes = static_cast<const char*>(::LockResource(::LoadResource(Module, found)));
  const std::string manifest(bytes, ::SizeofResource(Module, found));

  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos)
      << manifest;
  EXPECT_NE(manifest.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos);
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find("version=\"" VORNEX_VERSION_QUAD "\""), std::string::npos) << "the program's own identity";
  // Vista, 7, 8, 8.1, and 10 with 11.
  for (const char* id : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                         "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                         "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
    EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"{") + id + "}\"/>"), std::string::npos) << id;
}

TEST_F(Win32ProgramResources, TheIconComesInTheSizesWindowsShows) {
  // The window takes it by the name the application gives its host.
  HRSRC found = ::FindResourceA(Module, "VORNEX", MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
  ASSERT_NE(found, nullptr) << "no icon named VORNEX";
  // The group's directory: a 6-byte header, then 14 bytes an image, the
  // width first (0 for 256).
  const auto* group = static_cast<const unsigned char*>(::LockResource(::LoadResource(Module, found)));
  const ::DWORD size = ::SizeofResource(Module, found);
  ASSERT_GE(size, 6u);
  const unsigned count = group[4] | (group[5] << 8);
  ASSERT_EQ(size, 6u + 14u * count);
  std::vector<int> widths;
  for (unsigned i = 0; i < count; ++i) widths.push_back(group[6 + 14 * i] ? group[6 + 14 * i] : 256);
  for (int wanted : {16, 24, 32, 48, 256})
    EXPECT_NE(std::find(widths.begin(), widths.end(), wanted), widths.end()) << wanted << " pixels";

  HANDLE icon = ::LoadImageA(Module, "VORNEX", IMAGE_ICON, 32, 32, 0);
  EXPECT_NE(icon, nullptr) << "Windows can read it";
  if (icon) ::DestroyIcon(static_cast<HICON>(icon));
}

}  // namespace
