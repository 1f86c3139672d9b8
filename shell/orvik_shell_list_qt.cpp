#include "shell/orvik_shell_list.h"

#include <QDateTime>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <algorithm>

#include "platform/drives.h"
#include "platform/fs.h"
#include "platform/qt/ui_qt.h"
#include "shell/orvik_shell_link.h"
#include "shell/shell_paths.h"
#include "shell/shell_services.h"

namespace {

// Sizes as the desktop shell's detail view shows them: kilobytes, rounded up.
QString SizeText(uint64_t size) {
  const uint64_t kb = size / 1024 + (size % 1024 != 0 ? 1 : 0);
  return QLocale::system().toString(static_cast<qulonglong>(kb)) + " KB";
}

QString TypeText(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot + 1 >= name.size()) return "File";
  return QString::fromStdString(platform::UpperAscii(name.substr(dot + 1))) + " File";
}

QString ChangedText(const std::string& path) {
  const QDateTime changed = QFileInfo(QString::fromStdString(path)).lastModified();
  return changed.isValid() ? QLocale::system().toString(changed, QLocale::ShortFormat) : QString();
}

bool ByName(const platform::FindEntry& a, const platform::FindEntry& b) {
  return platform::CompareTextLocale(a.Name, b.Name) < 0;
}

}  // namespace

TOrvikShellList::TOrvikShellList(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(4);
  setHeaderLabels({"Name", "Size", "Type", "Changed"});
  setRootIsDecorated(false);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);
  header()->setStretchLastSection(false);
  setColumnWidth(0, 180);
  setColumnWidth(1, 70);
  setColumnWidth(2, 90);
  setColumnWidth(3, 120);
  FWatcher = new QFileSystemWatcher(this);
  connect(FWatcher, &QFileSystemWatcher::directoryChanged, this,
          [this](const QString&) { platform::qt::GuardedCall([this] { OnFolderChanged(); }); });
  connect(this, &QTreeWidget::itemActivated, this,
          [this](QTreeWidgetItem* item, int) {
            platform::qt::GuardedCall([this, item] { OnItemActivated(item); });
          });
}

TOrvikShellList::~TOrvikShellList() { SetShellLink(nullptr); }

void TOrvikShellList::SetPath(const std::string& path) { Navigate(path, true); }

void TOrvikShellList::ShowFolderFromLink(const std::string& path) { Navigate(path, false); }

void TOrvikShellList::SetFilter(const std::string& filter) {
  FFilter = filter;
  if (FFilled || !FNoFillOnStartup) Refill();
}

void TOrvikShellList::SetShowParentFolder(bool value) {
  FShowParentFolder = value;
  if (FFilled || !FNoFillOnStartup) Refill();
}

void TOrvikShellList::SetRowSelect(bool value) {
  FRowSelect = value;
  setAllColumnsShowFocus(value);
  setSelectionBehavior(value ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
}

void TOrvikShellList::SetShellLink(TOrvikShellLink* link) {
  if (FShellLink == link) return;
  if (FShellLink) FShellLink->RemoveControl(this);
  FShellLink = link;
  if (FShellLink) FShellLink->AddControl(this);
}

void TOrvikShellList::ShowFolder(const TIDList& absolute) {
  // A folder without a file-system path (the computer) shows the drives.
  platform::qt::GuardedCall(
      [&] { Navigate(shell::PathFromIDList(absolute).value_or(std::string()), false); });
}

void TOrvikShellList::ShowFolderObject(const TIDList& folder, const TIDList& object) {
  ShowFolder(folder);
  if (object.Count() == 0) return;
  const QString name = QString::fromStdString(object.LastItem().Name);
  for (int i = 0; i < topLevelItemCount(); ++i) {
    if (topLevelItem(i)->text(0) == name) setCurrentItem(topLevelItem(i));
  }
}

bool TOrvikShellList::GoToParent() {
  if (shellpaths::Parent(FPath).empty()) return false;
  OpenParent();
  return true;
}

void TOrvikShellList::Navigate(const std::string& path, bool tellLink) {
  const std::string folder = shellpaths::AbsoluteFolder(path);
  FPath = folder.empty() ? path : folder;
  if (!FWatcher->directories().isEmpty()) FWatcher->removePaths(FWatcher->directories());
  if (!folder.empty()) FWatcher->addPath(QString::fromStdString(folder));
  Refill();
  if (tellLink && FShellLink) {
    const std::optional<TIDList> list = shell::ParseDisplayName(FPath);
    FShellLink->FolderChanged(this, list.value_or(TIDList::Single(TShellItemKind::Computer)));
  }
}

void TOrvikShellList::OpenParent() {
  const std::string parent = shellpaths::Parent(FPath);
  if (!parent.empty()) Navigate(parent, true);
}

void TOrvikShellList::Refill() {
  if (!isEnabled()) return;
  FFilled = true;
  clear();
  if (FPath.empty()) {
    // No folder: the drives, as the computer folder shows them.
    for (const std::string& root : platform::Drives().RootPaths()) {
      AddFolderItem(root, root, false);
    }
    emit Populated();
    return;
  }
  if (FShowParentFolder && !shellpaths::Parent(FPath).empty()) {
    AddFolderItem("..", shellpaths::Parent(FPath), true);
  }
  std::vector<platform::FindEntry> entries;
  platform::FindFiles(shellpaths::Join(FPath, "*"), entries);
  std::vector<platform::FindEntry> folders, files;
  for (auto& entry : entries) {
    if (entry.Name.empty() || entry.Name == "." || entry.Name == "..") continue;
    if (entry.Attr & platform::faHidden) continue;
    if (entry.Attr & platform::faDirectory) {
      folders.push_back(std::move(entry));
    } else if (MatchesFilter(entry.Name)) {
      files.push_back(std::move(entry));
    }
  }
  std::sort(folders.begin(), folders.end(), ByName);
  std::sort(files.begin(), files.end(), ByName);
  for (const auto& f : folders) AddFolderItem(f.Name, shellpaths::Join(FPath, f.Name), false);
  for (const auto& f : files) AddFileItem(f.Name, shellpaths::Join(FPath, f.Name), f.Size);
  emit Populated();
}

bool TOrvikShellList::MatchesFilter(const std::string& name) const {
  if (FFilter.empty()) return true;
  size_t start = 0;
  while (start <= FFilter.size()) {
    size_t end = FFilter.find(';', start);
    if (end == std::string::npos) end = FFilter.size();
    std::string mask = FFilter.substr(start, end - start);
    mask.erase(0, mask.find_first_not_of(' '));
    mask.erase(mask.find_last_not_of(' ') + 1);
    if (!mask.empty() && platform::MatchesMask(mask, name)) return true;
    start = end + 1;
  }
  return false;
}

void TOrvikShellList::AddFolderItem(const std::string& name, const std::string& path,
                                    bool parent) {
  auto* item = new QTreeWidgetItem(this);
  item->setText(0, QString::fromStdString(name));
  item->setText(2, parent ? QString() : QString("File folder"));
  if (!parent) item->setText(3, ChangedText(path));
  item->setData(0, kPathRole, QString::fromStdString(path));
  item->setData(0, kFolderRole, true);
  item->setData(0, kParentRole, parent);
}

void TOrvikShellList::AddFileItem(const std::string& name, const std::string& path,
                                  uint64_t size) {
  auto* item = new QTreeWidgetItem(this);
  item->setText(0, QString::fromStdString(name));
  item->setText(1, SizeText(size));
  item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  item->setText(2, TypeText(name));
  item->setText(3, ChangedText(path));
  item->setData(0, kPathRole, QString::fromStdString(path));
  item->setData(0, kFolderRole, false);
  item->setData(0, kParentRole, false);
}

void TOrvikShellList::OnItemActivated(QTreeWidgetItem* item) {
  if (!item || !isEnabled() || !item->data(0, kFolderRole).toBool()) return;
  Navigate(item->data(0, kPathRole).toString().toStdString(), true);
}

void TOrvikShellList::OnFolderChanged() { Refill(); }

void TOrvikShellList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F5) {
    platform::qt::GuardedCall([this] { Refill(); });
    return;
  }
  if (event->key() == Qt::Key_Backspace) {
    platform::qt::GuardedCall([this] { OpenParent(); });
    return;
  }
  QTreeWidget::keyPressEvent(event);
}
