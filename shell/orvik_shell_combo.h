#pragma once
// The drop-down box of folders: the desktop, the computer with its drives, the home folder,
// and below them the chain of folders that leads to a chosen deeper folder. Each entry is
// an entry string (a drive's root path, otherwise a folder's name) with the file-system
// path it stands for. This box lists folders only; the full shell namespace browser comes
// later and keeps this interface.

#include <QComboBox>
#include <string>
#include <vector>

#include "shell/orvik_shell_link.h"

class TOrvikShellCombo : public QComboBox, public IOrvikShellControl {
  Q_OBJECT

 public:
  explicit TOrvikShellCombo(QWidget* parent = nullptr);
  ~TOrvikShellCombo() override;

  // The entry strings, in order.
  std::vector<std::string> Items() const;
  int ItemIndex() const { return currentIndex(); }
  // Selects an entry and runs the change logic; a negative index or the current one does
  // nothing.
  void SetItemIndex(int index);

  // The file-system path of the selected entry; empty when nothing is selected or the entry
  // has no file-system path (the computer).
  std::string Path() const;
  // Selects the entry showing that folder, inserting the chain of folders leading to it
  // when no entry holds it. A folder that does not exist leaves the selection unchanged.
  void SetPath(const std::string& path);

  bool FileSystemOnly() const { return FFileSystemOnly; }
  void SetFileSystemOnly(bool value);  // refills
  bool Editable() const { return FEditable; }
  void SetEditable(bool value);
  // Height in pixels of each entry in the dropped-down list; 0 takes the style's.
  int ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int value) { FItemHeight = value < 0 ? 0 : value; }
  bool ShowFullPath() const { return FShowFullPath; }
  void SetShowFullPath(bool value);
  TOrvikShellLink* ShellLink() const { return FShellLink; }
  // Leaves the old link and joins the new one.
  void SetShellLink(TOrvikShellLink* link) override;

  // What the link asks of the box: show a folder; refill. The other requests do nothing here.
  TOrvikShellLink* GetShellLink() const override { return FShellLink; }
  void ShowFolder(const TIDList& absolute) override;
  void ShowFolderObject(const TIDList&, const TIDList&) override {}
  void SelectAll() override;
  void Repopulate() override { Fill(); }
  void UpdateContents() override {}
  bool GoToParent() override { return false; }

  // Rebuilds the permanent entries, keeping the selected folder when it is still there.
  void Fill();

  // Called by the link: show this folder without telling the link back.
  void ShowFolderFromLink(const std::string& path);

  // Refills the box before dropping down when drives came or went since the last fill, so a
  // disc inserted after start-up can be chosen.
  void showPopup() override;

 signals:
  // After every selection change that reached the change logic with an entry selected.
  void Changed();

 private:
  void AddEntry(int row, const std::string& text, const std::string& path, int level,
                bool permanent);
  void RemoveChainEntries();
  void RemoveChainEntriesBelow(int row);
  int FindEntryByPath(const std::string& path) const;
  void SelectFolder(const std::string& path);
  void ChangeLogic();
  void ApplyEditText();

 private slots:
  void OnEditReturn();

 private:

  bool FFileSystemOnly = false;
  bool FEditable = true;
  bool FShowFullPath = false;
  int FItemHeight = 0;
  std::vector<std::string> FDriveRoots;  // the drives of the last fill
  bool FFilling = false;
  bool FFromLink = false;
  TOrvikShellLink* FShellLink = nullptr;
};
