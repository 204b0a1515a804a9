// Tests only: a fresh folder below the system's temporary folder, removed with its contents when
// the object goes. Paths are UTF-8 with the platform's separator.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace corvid::testing {

class TempFolder {
 public:
  TempFolder() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("corvid-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The UTF-8 path of `name` inside the folder (the folder itself for an empty name).
  std::string Path(const std::string& name = "") const {
    const std::u8string u8 = (name.empty() ? path_ : Native(name)).u8string();
    return std::string(u8.begin(), u8.end());
  }

  // Writes `bytes` as the whole content of `name` and returns its path.
  std::string WriteFile(const std::string& name, const std::string& bytes) const {
    std::ofstream out(Native(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return Path(name);
  }

  // The whole content of `name`; empty when it cannot be read.
  std::string ReadFile(const std::string& name) const {
    std::ifstream in(Native(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  bool Exists(const std::string& name) const { return std::filesystem::exists(Native(name)); }

 private:
  std::filesystem::path Native(const std::string& name) const {
    return path_ / std::filesystem::path(std::u8string(name.begin(), name.end()));
  }

  std::filesystem::path path_;
};

}  // namespace corvid::testing
