#pragma once
// A sandbox for the shell tests: a temporary folder holding a home folder (HOME, with XDG
// config and data folders of its own and a desktop folder), a drive of a fixed drive table,
// captured opens, the process's own clipboard, the fallback formatter and a manual event pump.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/drives.h"
#include "shell/shell_event_pump.h"
#include "shell/shell_services.h"
#include "tests/support/temp_folder.h"

class ShellSandbox {
 public:
  explicit ShellSandbox(bool desktop = true) {
    Home = Dir.Mkdir("home");
    Drive = Dir.Mkdir("drive") + "/";
    Desktop = Home + "/Desktop";
    if (desktop) Dir.Mkdir("home/Desktop");
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
      const char* value = std::getenv(name);
      FSaved.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
    }
    setenv("HOME", Home.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DATA_HOME");
    platform::SetDriveTable(std::make_shared<platform::FixedDriveTable>(
        std::vector<platform::FixedDriveTable::Drive>{{Drive, "PHOTOS"}}));
    TShellHooks hooks;
    hooks.Open = [this](const std::string& path) {
      Opened.push_back(path);
      return true;
    };
    FOldHooks = SetShellHooks(std::move(hooks));
    shell::SetClipboard({});
    Pump = std::make_shared<TManualEventPump>();
    FOldPump = SetShellEventPump(Pump);
  }
  ~ShellSandbox() {
    SetShellEventPump(FOldPump);
    SetShellHooks(FOldHooks);
    platform::SetDriveTable(nullptr);
    for (const auto& [name, value] : FSaved) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
  }

  // Runs the pump until pred holds or the time is up.
  bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
      if (std::chrono::steady_clock::now() > end) return false;
      Pump->ProcessEvents(20);
    }
    return true;
  }
  // Runs the pump for a while, for checking that nothing (more) arrives.
  void Settle(int ms = 100) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) Pump->ProcessEvents(10);
  }

  TempFolder Dir;
  std::string Home;     // without a trailing '/'
  std::string Drive;    // a drive root, with its '/'
  std::string Desktop;  // the XDG desktop folder (HOME/Desktop)
  std::vector<std::string> Opened;
  std::shared_ptr<TManualEventPump> Pump;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> FSaved;
  TShellHooks FOldHooks;
  std::shared_ptr<TShellEventPump> FOldPump;
};
