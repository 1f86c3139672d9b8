#pragma once
// TOrvikShellLink keeps any number of shell controls (combo boxes and file lists) on one
// folder: when one of them moves to another folder or selects an object, the link tells all
// the others. While it passes a change on it is switched off, so the receivers' own change
// logic cannot send the change back.

#include <string>
#include <vector>

#include "shell/orvik_base_component.h"
#include "shell/shell_id_list.h"

class TOrvikShellLink;

// What the link asks of a control. A control that is given a link calls AddControl on it, and
// RemoveControl when it leaves it (for another link, or when it is destroyed).
class IOrvikShellControl {
 public:
  virtual void SetShellLink(TOrvikShellLink* Link) = 0;
  virtual TOrvikShellLink* GetShellLink() const = 0;
  // Show that folder (absolute ID list).
  virtual void ShowFolder(const TIDList& Absolute) = 0;
  // Show that folder and select the object (relative ID list) in it.
  virtual void ShowFolderObject(const TIDList& Folder, const TIDList& Object) = 0;
  virtual void SelectAll() = 0;
  // Refill from scratch.
  virtual void Repopulate() = 0;
  // Refresh in place.
  virtual void UpdateContents() = 0;
  // Open the parent folder; false when the control cannot.
  virtual bool GoToParent() = 0;

 protected:
  ~IOrvikShellControl() = default;
};

class TOrvikShellLink : public TOrvikBaseComponent {
 public:
  explicit TOrvikShellLink(TComponent* Owner = nullptr);
  // Every linked control, from the last to the first, is told to forget the link.
  ~TOrvikShellLink() override;
  TOrvikShellLink(const TOrvikShellLink&) = delete;
  TOrvikShellLink& operator=(const TOrvikShellLink&) = delete;

  // A control appears at most once.
  void AddControl(IOrvikShellControl* Control);
  void RemoveControl(IOrvikShellControl* Control);
  const std::vector<IOrvikShellControl*>& Controls() const { return FControls; }

  // Sender now shows that folder: every other control is told to show it, then OnChange
  // fires. Nothing happens while the link is switched off.
  void FolderChanged(IOrvikShellControl* Sender, const TIDList& Absolute);
  // Sender selected an object in a folder: every other control is told to show it.
  void ObjectSelected(IOrvikShellControl* Sender, const TIDList& Folder, const TIDList& Object);
  // The other controls refill, or refresh in place (after file operations that changed
  // other folders).
  void RepopulateOthers(IOrvikShellControl* Sender);
  void UpdateOthers(IOrvikShellControl* Sender);

  // Consulted by file lists before they add a parent entry or go up.
  bool AllowGoingUp() const { return FAllowGoingUp; }
  void SetAllowGoingUp(bool Value) { FAllowGoingUp = Value; }
  // Paths marked by lists with check boxes.
  std::vector<std::string>& SelectionList() { return FSelectionList; }

  TNotifyEvent OnChange;
  std::string Version() const { return "TOrvikShellLink V4.2"; }

 private:
  template <typename F>
  void PassOn(IOrvikShellControl* Sender, F&& call, bool fireChange);
  bool Linked(IOrvikShellControl* Control) const;

  std::vector<IOrvikShellControl*> FControls;
  std::vector<std::string> FSelectionList;
  bool FAllowGoingUp = true;
};
