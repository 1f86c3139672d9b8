#pragma once
// Keeps a shell combo box and a shell file list on one folder: choosing a folder in the box
// makes the list show it, opening a folder in the list makes the box select it.

#include <QObject>
#include <string>

class TOrvikShellCombo;
class TOrvikShellList;

class TOrvikShellLink : public QObject {
  Q_OBJECT

 public:
  explicit TOrvikShellLink(QObject* parent = nullptr);
  ~TOrvikShellLink() override;

  // Called by the controls when they join or leave the link.
  void AttachCombo(TOrvikShellCombo* combo);
  void DetachCombo(TOrvikShellCombo* combo);
  void AttachList(TOrvikShellList* list);
  void DetachList(TOrvikShellList* list);

  TOrvikShellCombo* Combo() const { return FCombo; }
  TOrvikShellList* List() const { return FList; }

  // The box now shows path (empty for a folder without a file-system path).
  void ComboChanged(TOrvikShellCombo* sender, const std::string& path);
  // The list now shows path.
  void ListChanged(TOrvikShellList* sender, const std::string& path);

 private:
  TOrvikShellCombo* FCombo = nullptr;
  TOrvikShellList* FList = nullptr;
  bool FBusy = false;  // set while passing a change on, so it does not come back
};
