#pragma once
// User-interface services that code below the window toolkit needs: servicing the message
// queue once, modal message boxes and opening a folder in the desktop shell. The Qt glue
// installs the real ones; tests install their own to capture messages.

#include <functional>
#include <string>

namespace platform {

struct UiHooks {
  std::function<void()> ProcessMessages;
  std::function<void(const std::string& text)> ShowMessage;
  std::function<void(const std::string& path)> OpenFolder;
};

// Installs hooks; returns the previous ones. Unset members fall back to the defaults:
// processing does nothing, messages go to standard output, folders are not opened.
UiHooks SetUiHooks(UiHooks hooks);
const UiHooks& CurrentUiHooks();

void ProcessMessages();
void ShowMessage(const std::string& text);
void OpenFolder(const std::string& path);

}  // namespace platform
