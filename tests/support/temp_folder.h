#pragma once
// A temporary folder for one test, removed with everything in it when the test ends.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/vandrel-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data())) FPath = std::string(buf.data()) + "/";
  }
  ~TempFolder() {
    if (FPath.empty()) return;
    // Give back permissions a test took away, so that everything can be removed.
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(
             FPath, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0700);
    }
    std::filesystem::remove_all(FPath, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder, ending with '/'.
  const std::string& Path() const { return FPath; }
  std::string operator/(const std::string& rel) const { return FPath + rel; }

  // Creates a file (and its folders) holding the given bytes; returns its path.
  std::string Write(const std::string& rel, const std::string& bytes = "x") const {
    std::string path = FPath + rel;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string Mkdir(const std::string& rel) const {
    std::filesystem::create_directories(FPath + rel);
    return FPath + rel;
  }

 private:
  std::string FPath;
};

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    names.push_back(e.path().filename().string());
  }
  return names;
}
