// A folder of its own for each test, removed afterwards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace vornex::test {

class TTempDir {
 public:
  TTempDir() {
    std::random_device rd;
    Root = std::filesystem::temp_directory_path() /
           ("vornex-test-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(Root);
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(Root, ec);
  }
  std::string Path(const std::string& name) const { return (Root / name).string(); }
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    std::string p = Path(name);
    std::filesystem::create_directories(std::filesystem::path(p).parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return p;
  }
  std::string Write(const std::string& name, const std::string& text) const {
    return Write(name, std::vector<std::uint8_t>(text.begin(), text.end()));
  }
  std::filesystem::path Root;
};

inline std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed = 7) {
  std::mt19937 gen(seed);
  std::vector<std::uint8_t> out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(gen());
  return out;
}

inline std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace vornex::test
