#include "shell/shell_paths.h"

#include <filesystem>
#include <system_error>

namespace shellpaths {

std::string Normalized(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

bool SamePath(const std::string& a, const std::string& b) { return Normalized(a) == Normalized(b); }

bool IsAncestor(const std::string& ancestor, const std::string& target) {
  const std::string a = Normalized(ancestor);
  const std::string t = Normalized(target);
  if (a == t) return true;
  if (a == "/") return !t.empty() && t.front() == '/';
  return t.size() > a.size() && t.compare(0, a.size(), a) == 0 && t[a.size()] == '/';
}

std::vector<std::string> ComponentsBelow(const std::string& ancestor, const std::string& target) {
  std::vector<std::string> parts;
  if (!IsAncestor(ancestor, target)) return parts;
  const std::string a = Normalized(ancestor);
  const std::string t = Normalized(target);
  size_t pos = a == "/" ? 1 : a.size() + 1;
  while (pos < t.size()) {
    size_t slash = t.find('/', pos);
    if (slash == std::string::npos) slash = t.size();
    if (slash > pos) parts.push_back(t.substr(pos, slash - pos));
    pos = slash + 1;
  }
  return parts;
}

std::string Join(const std::string& folder, const std::string& name) {
  const std::string f = Normalized(folder);
  return f == "/" ? "/" + name : f + "/" + name;
}

std::string Parent(const std::string& path) {
  const std::string p = Normalized(path);
  if (p == "/" || p.empty()) return {};
  const size_t slash = p.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? "/" : p.substr(0, slash);
}

std::string AbsoluteFolder(const std::string& path) {
  if (path.empty()) return {};
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  if (ec || !std::filesystem::is_directory(p, ec) || ec) return {};
  std::string cleaned = p.lexically_normal().string();
  return Normalized(cleaned);
}

}  // namespace shellpaths
