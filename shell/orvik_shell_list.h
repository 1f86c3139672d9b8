#pragma once
// A report-style list of one folder's contents: its subfolders and the files that match the
// filter masks, with the columns Name, Size, Type and Changed, and an entry ".." for the
// parent folder. Opening a folder entry navigates into it. A list with an empty path shows
// the drives. This list covers what the copy window needs; the full shell list comes later
// and keeps this interface.

#include <QTreeWidget>
#include <string>

#include "shell/orvik_shell_link.h"

class QFileSystemWatcher;

class TOrvikShellList : public QTreeWidget, public IOrvikShellControl {
  Q_OBJECT

 public:
  explicit TOrvikShellList(QWidget* parent = nullptr);
  ~TOrvikShellList() override;

  std::string Path() const { return FPath; }
  // Shows the folder (refilling when enabled) and tells the link.
  void SetPath(const std::string& path);
  // Called by the link: show this folder without telling the link back.
  void ShowFolderFromLink(const std::string& path);

  // Masks separated by ';', for example "*.jpg;*.tif". Empty lists every file.
  std::string Filter() const { return FFilter; }
  void SetFilter(const std::string& filter);
  bool ShowParentFolder() const { return FShowParentFolder; }
  void SetShowParentFolder(bool value);
  bool NoFillOnStartup() const { return FNoFillOnStartup; }
  void SetNoFillOnStartup(bool value) { FNoFillOnStartup = value; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { FReadOnly = value; }
  bool RowSelect() const { return FRowSelect; }
  void SetRowSelect(bool value);
  bool ShellContextMenu() const { return FShellContextMenu; }
  void SetShellContextMenu(bool value) { FShellContextMenu = value; }
  TOrvikShellLink* ShellLink() const { return FShellLink; }
  void SetShellLink(TOrvikShellLink* link) override;

  // What the link asks of the list.
  TOrvikShellLink* GetShellLink() const override { return FShellLink; }
  void ShowFolder(const TIDList& absolute) override;
  void ShowFolderObject(const TIDList& folder, const TIDList& object) override;
  void SelectAll() override { selectAll(); }
  void Repopulate() override { Refill(); }
  void UpdateContents() override { Refill(); }
  bool GoToParent() override;

  // Rebuilds the entries from the folder. A disabled list does nothing.
  void Refill();
  // Opens the parent folder, if there is one.
  void OpenParent();

  // Item data roles of the entries.
  static constexpr int kPathRole = Qt::UserRole;
  static constexpr int kFolderRole = Qt::UserRole + 1;
  static constexpr int kParentRole = Qt::UserRole + 2;

 signals:
  // After every fill.
  void Populated();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Navigate(const std::string& path, bool tellLink);
  void OnItemActivated(QTreeWidgetItem* item);
  void OnFolderChanged();
  bool MatchesFilter(const std::string& name) const;
  void AddFolderItem(const std::string& name, const std::string& path, bool parent);
  void AddFileItem(const std::string& name, const std::string& path, uint64_t size);

  std::string FPath;
  std::string FFilter;
  bool FShowParentFolder = false;
  bool FNoFillOnStartup = false;
  bool FReadOnly = false;
  bool FRowSelect = false;
  bool FShellContextMenu = true;
  bool FFilled = false;
  TOrvikShellLink* FShellLink = nullptr;
  QFileSystemWatcher* FWatcher = nullptr;
};
