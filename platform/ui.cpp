// Default user-interface services and the hook table that replaces them.

#include "platform/ui.h"

#include <cstdio>

namespace platform {
namespace {

UiHooks& Installed() {
  static UiHooks hooks;
  return hooks;
}

}  // namespace

UiHooks SetUiHooks(UiHooks hooks) {
  UiHooks previous = std::move(Installed());
  Installed() = std::move(hooks);
  return previous;
}

const UiHooks& CurrentUiHooks() { return Installed(); }

void ProcessMessages() {
  // Copy the hook first: a handler may install other hooks while it runs.
  auto hook = Installed().ProcessMessages;
  if (hook) hook();
}

void ShowMessage(const std::string& text) {
  auto hook = Installed().ShowMessage;
  if (hook) {
    hook(text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void OpenFolder(const std::string& path) {
  auto hook = Installed().OpenFolder;
  if (hook) hook(path);
}

}  // namespace platform
