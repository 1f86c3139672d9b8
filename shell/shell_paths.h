#pragma once
// Small path helpers shared by the shell controls: comparing folders, walking from an
// ancestor folder down to a descendant. Paths use '/'; a drive root keeps its trailing '/'.

#include <string>
#include <vector>

namespace shellpaths {

// The path without trailing '/' characters, except that "/" stays "/".
std::string Normalized(const std::string& path);
bool SamePath(const std::string& a, const std::string& b);
// True when ancestor is target or a folder above it (compared by whole components).
bool IsAncestor(const std::string& ancestor, const std::string& target);
// The components of target below ancestor, in order.
std::vector<std::string> ComponentsBelow(const std::string& ancestor, const std::string& target);
std::string Join(const std::string& folder, const std::string& name);
// The parent folder of a normalized path; empty for "/".
std::string Parent(const std::string& path);
// The absolute, lexically cleaned form of path when it names an existing folder; empty
// otherwise.
std::string AbsoluteFolder(const std::string& path);

}  // namespace shellpaths
