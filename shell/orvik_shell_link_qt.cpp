#include "shell/orvik_shell_link.h"

#include "shell/orvik_shell_combo.h"
#include "shell/orvik_shell_list.h"

namespace {

// Puts a control into its place on the link; the one it replaces leaves the link.
template <typename TControl>
void Replace(TControl*& place, TControl* control) {
  if (place == control) return;
  TControl* old = place;
  place = control;
  if (old) old->SetShellLink(nullptr);
}

}  // namespace

TOrvikShellLink::TOrvikShellLink(QObject* parent) : QObject(parent) {}

TOrvikShellLink::~TOrvikShellLink() {
  // The controls may outlive the link; make them forget it.
  if (FCombo) FCombo->SetShellLink(nullptr);
  if (FList) FList->SetShellLink(nullptr);
}

void TOrvikShellLink::AttachCombo(TOrvikShellCombo* combo) { Replace(FCombo, combo); }

void TOrvikShellLink::DetachCombo(TOrvikShellCombo* combo) {
  if (FCombo == combo) FCombo = nullptr;
}

void TOrvikShellLink::AttachList(TOrvikShellList* list) { Replace(FList, list); }

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
