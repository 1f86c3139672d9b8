#include "shell/orvik_shell_link.h"

#include "shell/orvik_shell_combo.h"
#include "shell/orvik_shell_list.h"

TOrvikShellLink::TOrvikShellLink(QObject* parent) : QObject(parent) {}

TOrvikShellLink::~TOrvikShellLink() {
  // The controls may outlive the link; make them forget it.
  if (FCombo) FCombo->SetShellLink(nullptr);
  if (FList) FList->SetShellLink(nullptr);
}

void TOrvikShellLink::AttachCombo(TOrvikShellCombo* combo) {
  if (FCombo == combo) return;
  TOrvikShellCombo* old = FCombo;
  FCombo = combo;
  if (old) old->SetShellLink(nullptr);
}

void TOrvikShellLink::DetachCombo(TOrvikShellCombo* combo) {
  if (FCombo == combo) FCombo = nullptr;
}

void TOrvikShellLink::AttachList(TOrvikShellList* list) {
  if (FList == list) return;
  TOrvikShellList* old = FList;
  FList = list;
  if (old) old->SetShellLink(nullptr);
}

void TOrvikShellLink::DetachList(TOrvikShellList* list) {
  if (FList == list) FList = nullptr;
}

void TOrvikShellLink::ComboChanged(TOrvikShellCombo* sender, const std::string& path) {
  if (FBusy || sender != FCombo || !FList) return;
  FBusy = true;
  FList->ShowFolderFromLink(path);
  FBusy = false;
}

void TOrvikShellLink::ListChanged(TOrvikShellList* sender, const std::string& path) {
  if (FBusy || sender != FList || !FCombo) return;
  FBusy = true;
  FCombo->ShowFolderFromLink(path);
  FBusy = false;
}
