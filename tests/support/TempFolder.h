#pragma once
// A fresh folder under the system's temporary folder, removed with its contents
// when the test ends. Path() ends in "/", like the program folder. ReadFile gives a
// file's bytes (empty when it cannot be read).

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "base/WideText.h"

namespace zendra::test {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class TempFolder {
 public:
  TempFolder() {
    // A name no other folder has: create_directory says whether it made it.
    std::random_device random;
    const std::filesystem::path temp = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::filesystem::path folder =
          temp / ("zendra-config-" + std::to_string(random()) + std::to_string(random() % 1000));
      std::error_code ec;
      if (std::filesystem::create_directory(folder, ec)) {
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, ec);
        path_ = Utf8Path(folder) + "/";
        return;
      }
    }
    std::abort();
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(PathFromUtf8(path_), ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }

  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(PathFromUtf8(path_ + name), std::ios::binary) << bytes;
    return path_ + name;
  }

 private:
  std::string path_;
};

}  // namespace zendra::test
