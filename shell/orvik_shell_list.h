#pragma once
// A report-style list of one shell folder's contents with the columns Name, Size, Type and
// Changed: sortable by column (the header shows the sort indicator), refreshed in place 200 ms
// after the folder changes, with navigation into folders and back up (the entry " .. "), the
// shell verbs from the keyboard, renaming, and dragging and dropping of files as
// text/uri-list. The entries live in TShellListEntries; icons and detail texts are worked out
// only for the rows the view draws.

#include <QPixmap>
#include <QTreeView>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "shell/orvik_shell_change_notifier.h"
#include "shell/orvik_shell_link.h"
#include "shell/shell_list_entries.h"

class QMimeData;
class TOrvikJobPool;
class QTimer;
class TShellListModel;

class TOrvikShellList : public QTreeView, public IOrvikShellControl {
  Q_OBJECT

 public:
  static constexpr int kRefreshMs = 200;

  explicit TOrvikShellList(QWidget* parent = nullptr);
  ~TOrvikShellList() override;

  // The folder's path without a trailing '/' (a drive root keeps it); empty for virtual
  // folders.
  std::string Path() const;
  // Opens the folder, tells the link and refills. A folder that cannot be opened changes
  // nothing (its error is shown with ShowErrorMessages).
  void SetPath(const std::string& path);
  TOrvikShellFolder SpecialFolder() const;
  // Opens a special folder (SF_FILESYSTEMFOLDER keeps the folder), refills and tells the link.
  void SetSpecialFolder(TOrvikShellFolder folder);

  // Masks separated by ';', for example "*.jpg;*.tif". Setting it refills.
  std::string Filter() const;
  void SetFilter(const std::string& filter);
  uint32_t Options() const { return FEntries->Options; }
  void SetOptions(uint32_t value);
  bool ShowParentFolder() const { return FEntries->ShowParentFolder; }
  void SetShowParentFolder(bool value);
  bool NoFillOnStartup() const { return FOptionsNoFill; }
  void SetNoFillOnStartup(bool value) { FOptionsNoFill = value; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value);
  bool RowSelect() const { return FRowSelect; }
  void SetRowSelect(bool value);
  bool ShellContextMenu() const { return FShellContextMenu; }
  void SetShellContextMenu(bool value) { FShellContextMenu = value; }
  bool AutomaticRefresh() const { return FAutomaticRefresh; }
  void SetAutomaticRefresh(bool value);
  TOrvikShellLink* ShellLink() const { return FShellLink; }
  void SetShellLink(TOrvikShellLink* link) override;
  // Thumbnails instead of icons, made by our imaging library in the job pool: a placeholder
  // (the large icon in a grey frame) until the entry's job is done.
  bool Thumbnails() const { return FThumbnails; }
  void SetThumbnails(bool value);
  int ThumbnailWidth() const { return FThumbWidth; }
  int ThumbnailHeight() const { return FThumbHeight; }
  void SetThumbnailSize(int width, int height);
  // Thumbnails received for the current fill, for tests.
  int ThumbnailsDone() const { return static_cast<int>(FThumbs.size()); }
  std::string Version() const { return "TOrvikShellList V4.2"; }

  // What the link asks of the list.
  TOrvikShellLink* GetShellLink() const override { return FShellLink; }
  void ShowFolder(const TIDList& absolute) override;
  void ShowFolderObject(const TIDList& folder, const TIDList& object) override;
  void SelectAll() override;
  void Repopulate() override { FillList(); }
  void UpdateContents() override { UpdateList(); }
  bool GoToParent() override;

  // Rebuilds the entries from the folder. A disabled list does nothing.
  void FillList();
  // Brings the entries up to date in place (refills a long list, keeping the selected one).
  void UpdateList();
  // Opens the parent folder, tells the link and refills.
  void OpenParentFolder();
  // Runs a verb ("default", "open", "delete", "copy", "cut", "paste", "rename") on the
  // selected entries as the keys do.
  void InvokeVerb(const std::string& verb);
  // Copies (or moves) the files of a text/uri-list into the folder under pos (or the list's
  // folder); false when the list takes no drops (read-only, disabled, a virtual folder).
  bool DropFiles(const QMimeData* mime, const QPoint& pos, Qt::DropAction action);
  // The verbs the shell context menu offers for the selected entries (none for the parent
  // entry; a read-only list offers no delete, cut, paste or rename).
  std::vector<std::string> ContextMenuVerbs();
  // What the refresh timer does when it fires.
  void RefreshTimerFired();

  const TShellListEntries& Entries() const { return *FEntries; }
  // Rows of the selected entries, in order.
  std::vector<int> SelectedRows() const;
  void SelectRow(int row);
  bool RefreshPending() const { return FRefreshPending; }
  bool RefreshTimerActive() const;

  // After a file operation started from the list: flags, target path, the paths acted on.
  std::function<void(int Flags, const std::string& Target, const std::vector<std::string>& Paths)>
      OnOperation;

 signals:
  // After every fill.
  void Populated();
  void PathChanged();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  friend class TShellListModel;
  void TellLink();
  void OnNotify(TNotificationEvent event, const TIDList& id1);
  void OnActivated(const QModelIndex& index);
  void OnHeaderClicked(int section);
  void FitShellWidths();
  void ApplyHeader();
  void Rename(int row, const std::string& newName);
  bool AcceptsDrop(const QMimeData* mime) const;
  std::string DropTarget(const QPoint& pos) const;
  // Identity of the folder on disk when filled, so that a folder deleted and made again is
  // noticed.
  bool FolderReplaced() const;
  TListChangeSink Sink();
  // The decoration of a row with thumbnails on: the thumbnail, or a placeholder while its job
  // runs (queued on first use).
  QPixmap ThumbnailFor(int row);
  QPixmap FramedThumbnail(const QImage& image) const;

  std::unique_ptr<TNautex> FNav;
  std::unique_ptr<TShellListEntries> FEntries;
  TShellListModel* FModel = nullptr;
  std::unique_ptr<TOrvikShellChangeNotifier> FNotifier;
  QTimer* FTimer = nullptr;
  TOrvikShellLink* FShellLink = nullptr;
  bool FReadOnly = false;
  bool FRowSelect = false;
  bool FShellContextMenu = true;
  bool FAutomaticRefresh = true;
  bool FOptionsNoFill = false;
  bool FFilled = false;
  bool FPopulating = false;
  bool FBusy = false;
  bool FRefreshPending = false;
  bool FWatchLost = false;  // the watched folder itself was deleted, moved or unmounted
  bool FThumbnails = false;
  int FThumbWidth = 100;
  int FThumbHeight = 100;
  std::unique_ptr<TOrvikJobPool> FPool;
  uint64_t FGeneration = 0;  // of the last fill; results of earlier fills are dropped
  std::map<std::string, QPixmap> FThumbs;  // by the object's name
  std::map<std::string, bool> FQueued;
  uint64_t FFolderDev = 0;
  uint64_t FFolderIno = 0;
};
