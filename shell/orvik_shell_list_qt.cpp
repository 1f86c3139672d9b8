#include "shell/orvik_shell_list.h"
#include "shell/shell_verb_menu_qt.h"

#include <sys/stat.h>

#include <QAbstractTableModel>
#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstring>

#include "imaging/model/bitmap.h"
#include "imaging/model/pixel_conversions.h"
#include "platform/qt/ui_qt.h"
#include "shell/orvik_job_pool.h"
#include "platform/ui.h"
#include "shell/shell_services_qt.h"
#include "shell/shell_verbs.h"

// The list's entries as a table for the view. Icons and detail texts are asked for only for
// the rows being drawn, and worked out then.
class TShellListModel : public QAbstractTableModel {
 public:
  explicit TShellListModel(TOrvikShellList* list) : QAbstractTableModel(list), FList(list) {}

  TShellListEntries& Entries() const { return *FList->FEntries; }

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : Entries().Count();
  }
  int columnCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(Entries().Columns().size());
  }

  QVariant data(const QModelIndex& index, int role) const override {
    const int row = index.row(), column = index.column();
    if (!index.isValid() || row >= Entries().Count()) return {};
    switch (role) {
      case Qt::DisplayRole:
      case Qt::EditRole: {
        if (column == 0) return shellqt::DisplayText(Entries().Item(row).Caption);
        Entries().EnsureDetails(row);
        const auto& sub = Entries().Item(row).SubItems;
        return column - 1 < static_cast<int>(sub.size()) ? shellqt::DisplayText(sub[column - 1])
                                                         : QString();
      }
      case Qt::DecorationRole:
        if (column != 0) return {};
        Entries().EnsureDetails(row);
        if (FList->FThumbnails && !Entries().Item(row).IsParent) return FList->ThumbnailFor(row);
        return shellqt::ShellIcon(Entries().Item(row).ImageIndex);
      case Qt::TextAlignmentRole: {
        const auto& columns = Entries().Columns();
        if (column >= static_cast<int>(columns.size())) return {};
        const Qt::Alignment h = columns[column].Align == TShellDetails::alRight ? Qt::AlignRight
                                : columns[column].Align == TShellDetails::alCenter
                                    ? Qt::AlignHCenter
                                    : Qt::AlignLeft;
        return QVariant::fromValue(h | Qt::AlignVCenter);
      }
      case Qt::ForegroundRole:
        // Hidden and cut entries are shown ghosted.
        if (Entries().Item(row).Ghosted) {
          return FList->palette().brush(QPalette::Disabled, QPalette::Text);
        }
        return {};
      default:
        return {};
    }
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    const auto& columns = Entries().Columns();
    if (orientation != Qt::Horizontal || section >= static_cast<int>(columns.size())) return {};
    if (role == Qt::DisplayRole) return shellqt::DisplayText(columns[section].Caption);
    if (role == Qt::TextAlignmentRole && columns[section].Align == TShellDetails::alRight) {
      return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    return {};
  }

  Qt::ItemFlags flags(const QModelIndex& index) const override {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (!index.isValid()) return f;
    const TOrvikShellListItem& item = Entries().Item(index.row());
    if (!item.IsParent) f |= Qt::ItemIsDragEnabled;
    if (index.column() == 0 && !item.IsParent && !FList->FReadOnly) {
      Entries().MakeCurrent(index.row());
      if (Entries().Nav().CanRename()) f |= Qt::ItemIsEditable;
    }
    return f;
  }

  bool setData(const QModelIndex& index, const QVariant& value, int role) override {
    if (role != Qt::EditRole || index.column() != 0) return false;
    const std::string text = shellqt::RawPath(value.toString());
    if (text.empty() || text == Entries().Item(index.row()).Caption) return false;
    FList->Rename(index.row(), text);
    return true;
  }

  void Reset(const std::function<void()>& change) {
    beginResetModel();
    change();
    endResetModel();
  }

  TListChangeSink Sink() {
    TListChangeSink sink;
    sink.BeforeRemove = [this](int row) { beginRemoveRows({}, row, row); };
    sink.AfterRemove = [this](int) { endRemoveRows(); };
    sink.BeforeInsert = [this](int first, int last) { beginInsertRows({}, first, last); };
    sink.AfterInsert = [this](int, int) { endInsertRows(); };
    sink.BeforeReorder = [this] { emit layoutAboutToBeChanged(); };
    sink.AfterReorder = [this](const std::vector<int>& newRow) {
      const QModelIndexList from = persistentIndexList();
      QModelIndexList to;
      to.reserve(from.size());
      for (const QModelIndex& i : from) {
        to.push_back(i.row() < static_cast<int>(newRow.size())
                         ? index(newRow[i.row()], i.column())
                         : QModelIndex());
      }
      changePersistentIndexList(from, to);
      emit layoutChanged();
    };
    sink.RowChanged = [this](int row) {
      emit dataChanged(index(row, 0), index(row, std::max(0, columnCount({}) - 1)));
    };
    return sink;
  }

  void RowsChanged(int row) { Sink().RowChanged(row); }

 private:
  TOrvikShellList* FList;
};

namespace {

// The events the list watches its folder for.
constexpr TNotificationEvents kListEvents =
    EventBit(neFileChange) | EventBit(neFileCreate) | EventBit(neFileDelete) |
    EventBit(neFileRename) | EventBit(neDriveAdd) | EventBit(neDriveRemove) |
    EventBit(neShellDriveAdd) | EventBit(neMediaInsert) | EventBit(neMediaRemove) |
    EventBit(neFolderCreate) | EventBit(neFolderDelete) | EventBit(neFolderRename) |
    EventBit(neFolderUpdate) | EventBit(neNetShare) | EventBit(neNetUnShare);

// Operation flags reported through OnOperation.
constexpr int kOpDelete = 192;
constexpr int kOpPaste = 288;
constexpr int kOpRename = 512;
constexpr int kOpDrop = 8;

bool IsDirectory(const std::string& path, struct stat* out = nullptr) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (out) *out = st;
  return true;
}

}  // namespace

TOrvikShellList::TOrvikShellList(QWidget* parent) : QTreeView(parent) {
  shellqt::InstallQtShellServices();
  FNav = std::make_unique<TNautex>();
  FNav->SetShowErrorMessages(false);
  FEntries = std::make_unique<TShellListEntries>(*FNav);
  FModel = new TShellListModel(this);
  setModel(FModel);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setIconSize(QSize(16, 16));
  setDragEnabled(true);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDropIndicatorShown(true);
  header()->setStretchLastSection(false);
  header()->setSectionsClickable(true);
  header()->setSortIndicatorShown(true);
  header()->setSectionsMovable(false);
  connect(header(), &QHeaderView::sectionClicked, this, [this](int section) {
    platform::qt::GuardedCall([&] { OnHeaderClicked(section); });
  });
  connect(this, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
    platform::qt::GuardedCall([&] { OnActivated(index); });
  });

  // One real entry selected: the other linked controls may show it.
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (FPopulating || FBusy || !FShellLink) return;
    const std::vector<int> rows = SelectedRows();
    if (rows.size() != 1 || FEntries->Item(rows[0]).IsParent) return;
    const std::optional<TIDList> folder = FNav->FolderIDList();
    const std::optional<TIDList>& object = FEntries->Item(rows[0]).IDList;
    if (!folder || !object) return;
    platform::qt::GuardedCall([&] { FShellLink->ObjectSelected(this, *folder, *object); });
  });

  FTimer = new QTimer(this);
  FTimer->setInterval(kRefreshMs);
  connect(FTimer, &QTimer::timeout, this,
          [this] { platform::qt::GuardedCall([this] { RefreshTimerFired(); }); });

  FNotifier = std::make_unique<TOrvikShellChangeNotifier>();
  FNotifier->SetEnabled(false);
  FNotifier->SetEventFilter(kListEvents);
  FNotifier->SetRecursive(false);
  FNotifier->SetInternalCallback(
      [this](TObject*, TNotificationEvent event, const TIDList& id1, const TIDList*) {
        platform::qt::GuardedCall([&] { OnNotify(event, id1); });
      });
}

TOrvikShellList::~TOrvikShellList() {
  FBusy = true;
  FPool.reset();
  SetShellLink(nullptr);
  FNotifier->SetInternalCallback({});
  FNotifier->WatchIDList(nullptr);
}

std::string TOrvikShellList::Path() const { return shell::NormalizePath(FNav->Folder()); }

void TOrvikShellList::SetPath(const std::string& path) {
  try {
    FNav->SetFolder(path);
  } catch (const ENautexError& e) {
    if (Options() & soShowErrorMessages) platform::ShowMessage(e.what());
    return;
  }
  TellLink();
  FillList();
}

TOrvikShellFolder TOrvikShellList::SpecialFolder() const {
  const TOrvikShellFolder folder = FNav->SpecialFolder();
  return folder == SF_DRIVES && !Path().empty() ? SF_FILESYSTEMFOLDER : folder;
}

void TOrvikShellList::SetSpecialFolder(TOrvikShellFolder folder) {
  if (folder != SF_FILESYSTEMFOLDER) FNav->SetSpecialFolder(folder);
  FillList();
  TellLink();
}

std::string TOrvikShellList::Filter() const { return FNav->Filter(); }

void TOrvikShellList::SetFilter(const std::string& filter) {
  FNav->SetFilter(filter);
  if (FFilled || !FOptionsNoFill) FillList();
}

void TOrvikShellList::SetOptions(uint32_t value) {
  FEntries->Options = value;
  FNav->SetShowErrorMessages(value & soShowErrorMessages);
  if (FFilled || !(value & soNoFillOnStartup)) FillList();
}

void TOrvikShellList::SetShowParentFolder(bool value) {
  FEntries->ShowParentFolder = value;
  if (FFilled || !FOptionsNoFill) FillList();
}

void TOrvikShellList::SetReadOnly(bool value) {
  FReadOnly = value;
  FNav->SetReadOnly(value);
}

void TOrvikShellList::SetRowSelect(bool value) {
  FRowSelect = value;
  setAllColumnsShowFocus(value);
  setSelectionBehavior(value ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
}

void TOrvikShellList::SetAutomaticRefresh(bool value) {
  FAutomaticRefresh = value;
  if (!value) {
    FNotifier->SetEnabled(false);
  } else if (FFilled) {
    FillList();
  }
}

void TOrvikShellList::SetShellLink(TOrvikShellLink* link) {
  if (FShellLink == link) return;
  if (FShellLink) FShellLink->RemoveControl(this);
  FShellLink = link;
  if (FShellLink) FShellLink->AddControl(this);
}

void TOrvikShellList::TellLink() {
  if (FShellLink && FNav->FolderIDList()) FShellLink->FolderChanged(this, *FNav->FolderIDList());
}

void TOrvikShellList::ShowFolder(const TIDList& absolute) {
  platform::qt::GuardedCall([&] {
    try {
      FNav->SetFolderIDList(absolute);
    } catch (const ENautexError&) {
      FModel->Reset([this] { FEntries->Clear(); });
      return;
    }
    FillList();
  });
}

void TOrvikShellList::ShowFolderObject(const TIDList& folder, const TIDList& object) {
  ShowFolder(folder);
  if (object.Count() == 0) return;
  const int row = FEntries->FindIDList(object.Last());
  if (row < 0) return;
  SelectRow(row);
  scrollTo(FModel->index(row, 0));
  if (isEnabled()) setFocus();
}

void TOrvikShellList::SelectAll() {
  selectAll();
  if (isEnabled()) setFocus();
}

bool TOrvikShellList::GoToParent() {
  const std::optional<TIDList> folder = FNav->FolderIDList();
  if (!folder || folder->IsEmpty()) return false;
  OpenParentFolder();
  return true;
}

std::vector<int> TOrvikShellList::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
  if (rows.empty()) {
    // Without row selection a row counts when any of its cells is selected.
    for (const QModelIndex& index : selectionModel()->selectedIndexes()) rows.push_back(index.row());
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

void TOrvikShellList::SelectRow(int row) {
  const QModelIndex index = FModel->index(row, 0);
  selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

bool TOrvikShellList::RefreshTimerActive() const { return FTimer->isActive(); }

TListChangeSink TOrvikShellList::Sink() { return FModel->Sink(); }

void TOrvikShellList::FillList() {
  if (!isEnabled() || FBusy) return;
  FFilled = true;
  FPopulating = true;
  FTimer->stop();
  FRefreshPending = false;
  FWatchLost = false;
  ++FGeneration;
  if (FPool) FPool->CancelAll();
  FThumbs.clear();
  FQueued.clear();
  std::vector<int> widths;
  for (int i = 0; i < FModel->columnCount({}); ++i) widths.push_back(columnWidth(i));
  FEntries->RememberWidths(widths);
  FEntries->AllowGoingUp = !FShellLink || FShellLink->AllowGoingUp();
  // Watch before reading, so that no change made meanwhile is missed.
  const std::optional<TIDList> folder = FNav->FolderIDList();
  if (FAutomaticRefresh && folder) {
    FNotifier->SetEnabled(true);
    FNotifier->WatchIDList(&*folder);
  } else {
    FNotifier->WatchIDList(nullptr);
  }
  struct stat st;
  const bool dir = IsDirectory(Path(), &st);
  FFolderDev = dir ? st.st_dev : 0;
  FFolderIno = dir ? st.st_ino : 0;
  try {
    FModel->Reset([this] { FEntries->Fill(); });
  } catch (...) {
    FPopulating = false;
    throw;
  }
  ApplyHeader();
  FitShellWidths();
  FPopulating = false;
  emit Populated();
  emit PathChanged();
}

// A width the shell proposes is widened to what the first rows need (a date in the user's
// format is often wider than it assumes); widths the user chose are kept.
void TOrvikShellList::FitShellWidths() {
  const auto& columns = FEntries->Columns();
  const int rows = std::min(FEntries->Count(), 16);  // about the first page
  for (size_t i = 0; i < columns.size(); ++i) {
    if (!columns[i].ShellWidth) continue;
    const int column = static_cast<int>(i);
    int width = columns[i].Width;
    for (int row = 0; row < rows; ++row) {
      const QString text = FModel->index(row, column).data().toString();
      width = std::max(width, fontMetrics().horizontalAdvance(text) + (column == 0 ? 30 : 12));
    }
    setColumnWidth(column, width);
  }
}

void TOrvikShellList::ApplyHeader() {
  const auto& columns = FEntries->Columns();
  for (size_t i = 0; i < columns.size(); ++i) setColumnWidth(static_cast<int>(i), columns[i].Width);
  header()->setSortIndicator(FEntries->SortColumn,
                             FEntries->Descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TOrvikShellList::OnHeaderClicked(int section) {
  FEntries->ClickColumn(section, Sink());
  ApplyHeader();
}

bool TOrvikShellList::FolderReplaced() const {
  struct stat st;
  if (!IsDirectory(Path(), &st)) return false;
  if (FWatchLost) return true;
  return st.st_dev != FFolderDev || st.st_ino != FFolderIno;
}

void TOrvikShellList::RefreshTimerFired() {
  FTimer->stop();
  const std::string path = Path();
  const bool special = FNav->SpecialFolder() != SF_FILESYSTEMFOLDER;
  const bool exists = path.empty() || IsDirectory(path);
  if (!isEnabled()) {
    // During a copy the list only follows changes in place; anything that would refill it or
    // move it to another folder waits until it is enabled again.
    if (!special && exists && !FolderReplaced() &&
        FEntries->Count() < TShellListEntries::kInPlaceLimit) {
      FEntries->Update(Sink());
      ApplyHeader();
    } else {
      FRefreshPending = true;
    }
    return;
  }
  FRefreshPending = false;
  if (special || exists) {
    // A folder deleted and made again is another folder: watch it anew.
    if (!path.empty() && FolderReplaced()) {
      FillList();
    } else {
      UpdateList();
    }
    return;
  }
  SetSpecialFolder(SF_DRIVES);
}

void TOrvikShellList::UpdateList() {
  if (FPopulating || !isEnabled()) return;
  if (FEntries->Update(Sink())) {
    ApplyHeader();
    FitShellWidths();  // rows added in place (a first file in an empty folder) need room too
    return;
  }
  if (state() == QAbstractItemView::EditingState) return;
  const std::vector<int> rows = SelectedRows();
  const std::string caption = rows.empty() ? std::string() : FEntries->Item(rows[0]).Caption;
  FillList();
  for (int i = 0; i < FEntries->Count() && !caption.empty(); ++i) {
    if (FEntries->Item(i).Caption == caption) {
      SelectRow(i);
      scrollTo(FModel->index(i, 0));
      break;
    }
  }
}

void TOrvikShellList::OnNotify(TNotificationEvent event, const TIDList& id1) {
  if (FBusy || FPopulating) return;
  switch (event) {
    case neNetShare:
    case neNetUnShare:
      FTimer->stop();
      FillList();
      return;
    case neFileDelete:
    case neFolderDelete:
      if (id1.Count() > 0) FEntries->Remove(FEntries->FindIDList(id1.Last()), Sink());
      return;
    case neFolderUpdate:
      // Reported for the watched folder itself when it is deleted, moved or unmounted: if
      // a folder of that name is there at the next tick, it is another one to watch anew.
      if (const std::optional<TIDList> folder = FNav->FolderIDList();
          folder && shell::CompareIDs(0, id1, *folder) == 0) {
        FWatchLost = true;
      }
      FTimer->start();
      return;
    default:
      FTimer->start();  // restarts: a burst of changes gives one refresh
      return;
  }
}

void TOrvikShellList::changeEvent(QEvent* event) {
  QTreeView::changeEvent(event);
  if (event->type() == QEvent::EnabledChange && isEnabled() && FRefreshPending) {
    platform::qt::GuardedCall([this] { RefreshTimerFired(); });
  }
}

void TOrvikShellList::OpenParentFolder() {
  const std::optional<TIDList> folder = FNav->FolderIDList();
  if (!folder || folder->IsEmpty()) return;
  if (FShellLink && !FShellLink->AllowGoingUp()) return;
  FNav->OpenParent();
  TellLink();
  FillList();
}

void TOrvikShellList::OnActivated(const QModelIndex& index) {
  if (!index.isValid() || !isEnabled()) return;
  InvokeVerb("default");
}

void TOrvikShellList::InvokeVerb(const std::string& verb) {
  const std::vector<int> rows = SelectedRows();
  if (verb == "paste") {
    if (FReadOnly || Path().empty()) return;
    // Carried out by a navigator of its own on the folder itself.
    TNautex target;
    target.SetFolderIDList(*FNav->FolderIDList());
    const bool ok = target.InvokeVerb("paste");
    const shell::TPasteResult& result = target.LastPaste();
    int flags = kOpPaste + 1;
    if (result.HadFileList) {
      flags = kOpPaste + (!result.Sources.empty() && !IsDirectory(result.Sources[0]) ? 1 : 2);
    }
    if (!ok && result.HadFileList) platform::ShowMessage("Not every file could be pasted.");
    if (OnOperation) OnOperation(flags, Path(), result.Sources);
    FTimer->start();
    return;
  }
  if (rows.empty()) return;
  const bool single = rows.size() == 1;
  if ((verb == "default" || verb == "open") && single) {
    const int row = rows[0];
    if (FEntries->Item(row).IsParent) {
      OpenParentFolder();
      return;
    }
    FEntries->MakeCurrent(row);
    if (FNav->IsFolder()) {
      FNav->OpenObject();
      TellLink();
      FillList();
      return;
    }
    if (const std::string target = FNav->LinkTarget(); !target.empty()) {
      SetPath(target);
      return;
    }
    FNav->InvokeVerb("open");
    return;
  }
  if (FEntries->Item(rows[0]).IsParent && single) return;
  if (verb == "rename") {
    if (!FReadOnly && single) edit(FModel->index(rows[0], 0));
    return;
  }
  if (FReadOnly && (verb == "delete" || verb == "cut")) return;
  std::vector<std::string>& names = FNav->MultiObjects();
  names.clear();
  for (int row : rows) {
    const TOrvikShellListItem& item = FEntries->Item(row);
    if (item.IsParent || !item.IDList) continue;
    FEntries->MakeCurrent(row);
    std::string name = FNav->ObjectName();
    names.push_back(name.empty() ? FNav->DisplayName() : name);
  }
  if (names.empty()) return;
  const bool ok = FNav->InvokeVerb(verb);
  const std::vector<std::string> paths = FNav->VerbPaths();
  if (verb == "delete") {
    // What went to the trash leaves the view; what did not stays and is reported.
    for (int i = FEntries->Count() - 1; i >= 0; --i) {
      const std::string p = FEntries->PathOf(i);
      if (!FEntries->Item(i).IsParent &&
          std::find(paths.begin(), paths.end(), p) != paths.end()) {
        FEntries->Remove(i, Sink());
      }
    }
    if (!ok) {
      platform::ShowMessage("Some files could not be moved to the trash: " +
                            std::string(std::strerror(FNav->LastError())));
    }
    if (OnOperation && !paths.empty()) OnOperation(kOpDelete, Path(), paths);
    if (!FAutomaticRefresh) FTimer->start();
  } else if (verb == "cut" && ok) {
    for (int row : rows) {
      FEntries->SetGhosted(row, true);
      FModel->RowsChanged(row);
    }
  }
}

void TOrvikShellList::Rename(int row, const std::string& newName) {
  FEntries->MakeCurrent(row);
  const std::string oldPath = FEntries->PathOf(row);
  bool ok = false;
  const std::string shown = FNav->RenameObject(newName, &ok);
  if (!ok) {
    platform::ShowMessage("The file could not be renamed: " +
                          std::string(std::strerror(FNav->LastError())));
    return;
  }
  if (const std::optional<TIDList> object = FNav->ObjectIDList()) {
    FEntries->SetCaption(row, shown, *object);
  }
  FModel->RowsChanged(row);
  if (OnOperation) OnOperation(kOpRename, FEntries->PathOf(row), {oldPath});
}

void TOrvikShellList::keyPressEvent(QKeyEvent* event) {
  if (state() == QAbstractItemView::EditingState) {
    QTreeView::keyPressEvent(event);
    return;
  }
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  std::string verb;
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      verb = "default";
      break;
    case Qt::Key_Backspace:
      platform::qt::GuardedCall([this] { OpenParentFolder(); });
      return;
    case Qt::Key_Delete:
      verb = FReadOnly ? "" : "delete";
      if (verb.empty()) return;
      break;
    case Qt::Key_F2:
      verb = "rename";
      break;
    case Qt::Key_F5:
      platform::qt::GuardedCall([this] {
        FillList();
        if (FShellLink) FShellLink->RepopulateOthers(this);
      });
      return;
    case Qt::Key_A:
      if (ctrl) {
        selectAll();
        return;
      }
      break;
    case Qt::Key_C:
      if (ctrl) verb = "copy";
      break;
    case Qt::Key_X:
      if (ctrl) {
        if (FReadOnly) return;
        verb = "cut";
      }
      break;
    case Qt::Key_V:
      if (ctrl) {
        if (FReadOnly) return;
        verb = "paste";
      }
      break;
    default:
      break;
  }
  if (verb.empty()) {
    QTreeView::keyPressEvent(event);
    return;
  }
  platform::qt::GuardedCall([&] { InvokeVerb(verb); });
}

void TOrvikShellList::startDrag(Qt::DropActions) {
  QList<QUrl> urls;
  for (int row : SelectedRows()) {
    if (FEntries->Item(row).IsParent) continue;
    const std::string path = FEntries->PathOf(row);
    if (!path.empty()) urls.push_back(QUrl::fromLocalFile(shellqt::DisplayText(path)));
  }
  if (urls.isEmpty()) return;
  auto* mime = new QMimeData;
  mime->setUrls(urls);
  auto* drag = new QDrag(this);
  drag->setMimeData(mime);
  drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
}

bool TOrvikShellList::AcceptsDrop(const QMimeData* mime) const {
  return !FReadOnly && isEnabled() && mime && mime->hasUrls() && !Path().empty();
}

void TOrvikShellList::dragEnterEvent(QDragEnterEvent* event) {
  if (!AcceptsDrop(event->mimeData())) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
}

void TOrvikShellList::dragMoveEvent(QDragMoveEvent* event) {
  if (!AcceptsDrop(event->mimeData())) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
}

std::string TOrvikShellList::DropTarget(const QPoint& pos) const {
  const QModelIndex index = indexAt(pos);
  if (index.isValid()) {
    const TOrvikShellListItem& item = FEntries->Item(index.row());
    if (!item.IsParent && item.IDList) {
      FEntries->MakeCurrent(index.row());
      if (FNav->IsFolder()) return FEntries->PathOf(index.row());
    }
  }
  return Path();
}

void TOrvikShellList::dropEvent(QDropEvent* event) {
  if (!AcceptsDrop(event->mimeData())) {
    event->ignore();
    return;
  }
  platform::qt::GuardedCall([&] {
    DropFiles(event->mimeData(), event->position().toPoint(), event->dropAction());
  });
  event->acceptProposedAction();
}

bool TOrvikShellList::DropFiles(const QMimeData* mime, const QPoint& pos, Qt::DropAction action) {
  if (!AcceptsDrop(mime)) return false;
  std::vector<std::string> sources;
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile()) sources.push_back(shellqt::RawPath(url.toLocalFile()));
  }
  const std::string target = DropTarget(pos);
  const bool move = action == Qt::MoveAction;
  std::vector<std::string> created;
  // Never over an existing name; a move removes a source only once its copy is complete.
  const bool ok = shell::PasteFiles(sources, move, target, created);
  if (!ok) platform::ShowMessage("Not every file could be copied to " + target + ".");
  if (OnOperation) OnOperation(kOpDrop + (move ? 2 : 1), target, sources);
  FTimer->start();
  return true;
}

void TOrvikShellList::SetThumbnails(bool value) {
  FThumbnails = value;
  if (value && !FPool) FPool = std::make_unique<TOrvikJobPool>();
  setIconSize(value ? QSize(FThumbWidth, FThumbHeight) : QSize(16, 16));
  if (FFilled) FillList();
}

void TOrvikShellList::SetThumbnailSize(int width, int height) {
  FThumbWidth = std::max(1, width);
  FThumbHeight = std::max(1, height);
  SetThumbnails(FThumbnails);
}

QPixmap TOrvikShellList::FramedThumbnail(const QImage& image) const {
  // Cut off or extended with the window colour to the thumbnail size, not scaled, in a light
  // grey frame.
  QPixmap pixmap(FThumbWidth, FThumbHeight);
  pixmap.fill(palette().color(QPalette::Base));
  QPainter painter(&pixmap);
  if (!image.isNull()) {
    painter.drawImage(QPoint((FThumbWidth - image.width()) / 2, (FThumbHeight - image.height()) / 2),
                      image);
  }
  painter.setPen(QColor(192, 192, 192));
  painter.drawRect(0, 0, FThumbWidth - 1, FThumbHeight - 1);
  return pixmap;
}

QPixmap TOrvikShellList::ThumbnailFor(int row) {
  const TOrvikShellListItem& item = FEntries->Item(row);
  const std::string key = item.IDList ? item.IDList->LastItem().Name : item.Caption;
  if (auto it = FThumbs.find(key); it != FThumbs.end()) return it->second;
  // The placeholder: the large icon centred in the frame.
  const int side = std::min({48, FThumbWidth, FThumbHeight});
  QImage icon = shellqt::ShellIcon(item.ImageIndex).pixmap(side, side).toImage();
  const QPixmap placeholder = FramedThumbnail(icon);
  const std::optional<TIDList> folder = FNav->FolderIDList();
  if (!FQueued[key] && folder && item.IDList && FPool) {
    FQueued[key] = true;
    const uint64_t generation = FGeneration;
    QueueThumbnailJob(*FPool, folder->Join(*item.IDList), FThumbWidth, FThumbHeight,
                      [this, generation, key](TThumbnailResult& result) {
                        if (generation != FGeneration || !result.Bitmap) return;
                        TVLBitmap& bitmap = *result.Bitmap;
                        const int w = std::min<int>(bitmap.Width(), FThumbWidth);
                        const int h = std::min<int>(bitmap.Height(), FThumbHeight);
                        QImage image(w, h, QImage::Format_RGB888);
                        std::vector<TRGB> line(static_cast<size_t>(bitmap.Width()));
                        for (int y = 0; y < h; ++y) {
                          ReadRowAsRGB(bitmap, y, line.data());
                          uchar* out = image.scanLine(y);
                          for (int x = 0; x < w; ++x) {
                            out[3 * x] = line[x].r;
                            out[3 * x + 1] = line[x].g;
                            out[3 * x + 2] = line[x].b;
                          }
                        }
                        FThumbs[key] = FramedThumbnail(image);
                        for (int r = 0; r < FEntries->Count(); ++r) {
                          const auto& it = FEntries->Item(r);
                          if (it.IDList && it.IDList->LastItem().Name == key) FModel->RowsChanged(r);
                        }
                      });
  }
  return placeholder;
}

std::vector<std::string> TOrvikShellList::ContextMenuVerbs() {
  const std::vector<int> rows = SelectedRows();
  std::vector<std::string> names;
  for (int row : rows) {
    if (FEntries->Item(row).IsParent || !FEntries->Item(row).IDList) return {};
    FEntries->MakeCurrent(row);
    names.push_back(FNav->ObjectName());
  }
  if (names.empty()) return {};
  if (names.size() > 1) FNav->MultiObjects() = names;
  std::vector<std::string> verbs = FNav->ContextMenuVerbs();
  FNav->MultiObjects().clear();
  if (names.size() == 1) {
    FEntries->MakeCurrent(rows[0]);
    if (FNav->CanRename()) verbs.push_back("rename");
  }
  if (FReadOnly) {
    std::erase_if(verbs, [](const std::string& v) {
      return v == "delete" || v == "cut" || v == "paste" || v == "rename";
    });
  }
  return verbs;
}

void TOrvikShellList::contextMenuEvent(QContextMenuEvent* event) {
  if (!FShellContextMenu) {
    QTreeView::contextMenuEvent(event);
    return;
  }
  const QModelIndex index = event->reason() == QContextMenuEvent::Mouse
                                ? indexAt(event->pos())
                                : currentIndex();
  if (!index.isValid()) return;
  if (!selectionModel()->isRowSelected(index.row(), {})) SelectRow(index.row());
  platform::qt::GuardedCall([&] {
    const std::vector<std::string> verbs = ContextMenuVerbs();
    const std::string chosen = ExecVerbMenu(this, verbs, event->globalPos());
    if (!chosen.empty()) InvokeVerb(chosen);
  });
}
