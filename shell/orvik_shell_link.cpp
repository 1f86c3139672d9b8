#include "shell/orvik_shell_link.h"

#include <algorithm>

TOrvikShellLink::TOrvikShellLink(TComponent* Owner) : TOrvikBaseComponent(Owner) {}

TOrvikShellLink::~TOrvikShellLink() {
  while (!FControls.empty()) {
    IOrvikShellControl* control = FControls.back();
    FControls.pop_back();
    // The control leaves through RemoveControl, which finds it gone already.
    if (control->GetShellLink() == this) control->SetShellLink(nullptr);
  }
}

bool TOrvikShellLink::Linked(IOrvikShellControl* Control) const {
  return std::find(FControls.begin(), FControls.end(), Control) != FControls.end();
}

void TOrvikShellLink::AddControl(IOrvikShellControl* Control) {
  if (Control && !Linked(Control)) FControls.push_back(Control);
}

void TOrvikShellLink::RemoveControl(IOrvikShellControl* Control) {
  std::erase(FControls, Control);
}

template <typename F>
void TOrvikShellLink::PassOn(IOrvikShellControl* Sender, F&& call, bool fireChange) {
  if (!Enabled()) return;
  if (fireChange) SetEnabled(false);
  struct TRestore {
    TOrvikShellLink* Link;
    bool Active;
    ~TRestore() {
      if (Active) Link->SetEnabled(true);
    }
  } restore{this, fireChange};
  // A control may leave the link while another one is being told; it is then skipped.
  const std::vector<IOrvikShellControl*> controls = FControls;
  for (IOrvikShellControl* control : controls) {
    if (control != Sender && Linked(control)) call(control);
  }
  if (fireChange) {
    SetEnabled(true);
    restore.Active = false;
    if (OnChange) OnChange(this);
  }
}

void TOrvikShellLink::FolderChanged(IOrvikShellControl* Sender, const TIDList& Absolute) {
  PassOn(Sender, [&](IOrvikShellControl* c) { c->ShowFolder(Absolute); }, true);
}

void TOrvikShellLink::ObjectSelected(IOrvikShellControl* Sender, const TIDList& Folder,
                                     const TIDList& Object) {
  PassOn(Sender, [&](IOrvikShellControl* c) { c->ShowFolderObject(Folder, Object); }, true);
}

void TOrvikShellLink::RepopulateOthers(IOrvikShellControl* Sender) {
  PassOn(Sender, [](IOrvikShellControl* c) { c->Repopulate(); }, false);
}

void TOrvikShellLink::UpdateOthers(IOrvikShellControl* Sender) {
  PassOn(Sender, [](IOrvikShellControl* c) { c->UpdateContents(); }, false);
}
