#pragma once
// The drop-down box of the shell namespace as an indented tree of folders: the desktop, its
// folders, the computer's drives (shown by their volume labels) and folders, and below them
// the chain of folders that leads to a chosen deeper folder. The entry strings (Items) are
// the navigator's object names: a drive's root path, a folder's name. The entries themselves
// live in TShellComboEntries; this widget shows them, draws them with their indentation and
// icons, and runs the change logic (text field, link, Changed).

#include <QComboBox>
#include <memory>
#include <string>
#include <vector>

#include "shell/orvik_shell_link.h"
#include "shell/shell_combo_entries.h"

class QCompleter;

class TOrvikShellCombo : public QComboBox, public IOrvikShellControl {
  Q_OBJECT

 public:
  static constexpr int kIndentStep = 10;

  explicit TOrvikShellCombo(QWidget* parent = nullptr);
  ~TOrvikShellCombo() override;

  // The entry strings, in order.
  std::vector<std::string> Items() const;
  const TShellComboEntries& Entries() const { return *FEntries; }
  int ItemIndex() const { return currentIndex(); }
  // Selects an entry and runs the change logic; a negative index or the current one does
  // nothing.
  void SetItemIndex(int index);

  // The file-system path of the selected entry; empty when nothing is selected or the entry
  // has no file-system path (the computer).
  std::string Path() const;
  // Selects the entry showing that folder, inserting the chain of folders leading to it
  // when no entry holds it. A folder that cannot be opened leaves the selection unchanged
  // (its error is shown with ShowErrorMessages).
  void SetPath(const std::string& path);
  // Selects the folder an absolute ID list names and runs the change logic.
  void SelectIDList(const TIDList& list);

  bool FileSystemOnly() const;
  void SetFileSystemOnly(bool value);  // refills
  // The option word (bits of shell_object_filter.h); changing it refills once filled.
  uint32_t Options() const { return FEntries->Options(); }
  void SetOptions(uint32_t value);
  bool ShowErrorMessages() const { return Options() & soShowErrorMessages; }
  bool Editable() const { return FEditable; }
  void SetEditable(bool value);
  bool AutoComplete() const { return FAutoComplete; }
  void SetAutoComplete(bool value);
  // Height in pixels of each entry in the dropped-down list; 0: the larger of the font's
  // height plus 5 and the icons' height.
  int ItemHeight() const;
  void SetItemHeight(int value) { FItemHeight = value < 0 ? 0 : value; }
  bool ShowFullPath() const { return FShowFullPath; }
  void SetShowFullPath(bool value);
  TOrvikShellLink* ShellLink() const { return FShellLink; }
  // Leaves the old link and joins the new one.
  void SetShellLink(TOrvikShellLink* link) override;
  std::string Version() const { return "TOrvikShellCombo V4.2"; }
  // A right click shows the shell context menu of the selected folder.
  bool ShowContextMenu() const { return FShowContextMenu; }
  void SetShowContextMenu(bool value) { FShowContextMenu = value; }
  // The verbs that menu offers (none without a selected folder).
  std::vector<std::string> ContextMenuVerbs();
  // Carries out a verb on the selected folder as the menu does; returns whether it was done.
  bool RunContextMenuVerb(const std::string& verb);

  // What the link asks of the box: show a folder; refill. The other requests do nothing here.
  TOrvikShellLink* GetShellLink() const override { return FShellLink; }
  void ShowFolder(const TIDList& absolute) override;
  void ShowFolderObject(const TIDList&, const TIDList&) override {}
  void SelectAll() override;
  void Repopulate() override { Fill(); }
  void UpdateContents() override {}
  bool GoToParent() override { return false; }

  // Rebuilds the permanent entries, keeping the selected folder when it can still be shown.
  void Fill();

  // Refills the box before dropping down when drives came or went since the last fill, so a
  // disc inserted after start-up can be chosen.
  void showPopup() override;

 signals:
  // After every selection change that reached the change logic with an entry selected.
  void Changed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // Shows the entries of FEntries in the box, with FEntries' selection.
  void Sync();
  void ChangeLogic();
  void ApplyEditText();
  QString EditPortionText() const;
  void OnEditReturn();
  void OnIndexChanged(int index);

  std::unique_ptr<TNautex> FNav;
  std::unique_ptr<TShellComboEntries> FEntries;
  QCompleter* FCompleter = nullptr;
  bool FEditable = true;
  bool FAutoComplete = true;
  bool FShowFullPath = false;
  bool FShowContextMenu = true;
  int FItemHeight = 0;
  bool FSyncing = false;
  bool FFilled = false;
  TOrvikShellLink* FShellLink = nullptr;
};
