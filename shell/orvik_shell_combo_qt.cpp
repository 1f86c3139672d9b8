#include "shell/orvik_shell_combo.h"

#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QStyledItemDelegate>

#include "platform/drives.h"
#include "platform/qt/ui_qt.h"
#include "shell/orvik_shell_link.h"
#include "shell/shell_paths.h"
#include "shell/shell_services.h"

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLevelRole = Qt::UserRole + 1;
constexpr int kPermanentRole = Qt::UserRole + 2;
constexpr int kIndentStep = 10;

// Indents each entry of the dropped-down list by its level and gives it the box's item
// height.
class TLevelDelegate : public QStyledItemDelegate {
 public:
  explicit TLevelDelegate(TOrvikShellCombo* combo) : QStyledItemDelegate(combo), FCombo(combo) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem indented(option);
    indented.rect.adjust(index.data(kLevelRole).toInt() * kIndentStep, 0, 0, 0);
    QStyledItemDelegate::paint(painter, indented, index);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (FCombo->ItemHeight() > 0) size.setHeight(FCombo->ItemHeight());
    return size;
  }

 private:
  TOrvikShellCombo* FCombo;
};

std::string DesktopFolder() {
  const QString dir = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (dir.isEmpty() || !QDir(dir).exists()) return {};
  return QDir::cleanPath(dir).toStdString();
}

}  // namespace

TOrvikShellCombo::TOrvikShellCombo(QWidget* parent) : QComboBox(parent) {
  setItemDelegate(new TLevelDelegate(this));
  setInsertPolicy(QComboBox::NoInsert);
  SetEditable(true);
  connect(this, &QComboBox::currentIndexChanged, this, [this](int) {
    if (!FFilling) platform::qt::GuardedCall([this] { ChangeLogic(); });
  });
  Fill();
}

TOrvikShellCombo::~TOrvikShellCombo() { SetShellLink(nullptr); }

std::vector<std::string> TOrvikShellCombo::Items() const {
  std::vector<std::string> items;
  items.reserve(count());
  for (int i = 0; i < count(); ++i) items.push_back(itemText(i).toStdString());
  return items;
}

void TOrvikShellCombo::SetItemIndex(int index) {
  if (index < 0 || index >= count() || index == currentIndex()) return;
  setCurrentIndex(index);  // the index-changed signal runs the change logic
}

std::string TOrvikShellCombo::Path() const {
  if (currentIndex() < 0) return {};
  return itemData(currentIndex(), kPathRole).toString().toStdString();
}

void TOrvikShellCombo::SetPath(const std::string& path) { SelectFolder(path); }

void TOrvikShellCombo::ShowFolderFromLink(const std::string& path) {
  const bool old = FFromLink;
  FFromLink = true;
  SelectFolder(path);
  FFromLink = old;
}

void TOrvikShellCombo::SetFileSystemOnly(bool value) {
  FFileSystemOnly = value;
  Fill();
}

void TOrvikShellCombo::SetEditable(bool value) {
  FEditable = value;
  setEditable(value);
  if (value) {
    connect(lineEdit(), &QLineEdit::returnPressed, this, &TOrvikShellCombo::OnEditReturn,
            Qt::UniqueConnection);
  }
  ApplyEditText();
}

void TOrvikShellCombo::SetShowFullPath(bool value) {
  FShowFullPath = value;
  ApplyEditText();
}

void TOrvikShellCombo::SetShellLink(TOrvikShellLink* link) {
  if (FShellLink == link) return;
  if (FShellLink) FShellLink->RemoveControl(this);
  FShellLink = link;
  if (FShellLink) FShellLink->AddControl(this);
}

void TOrvikShellCombo::ShowFolder(const TIDList& absolute) {
  platform::qt::GuardedCall([&] {
    if (std::optional<std::string> path = shell::PathFromIDList(absolute)) ShowFolderFromLink(*path);
  });
}

void TOrvikShellCombo::SelectAll() {
  if (lineEdit()) lineEdit()->selectAll();
}

void TOrvikShellCombo::Fill() {
  const std::string remembered = Path();
  {
    FFilling = true;
    QSignalBlocker block(this);
    clear();
    AddEntry(count(), "Desktop", DesktopFolder(), 0, true);
    AddEntry(count(), "Computer", "", 1, true);
    FDriveRoots = platform::Drives().RootPaths();
    for (const std::string& root : FDriveRoots) AddEntry(count(), root, root, 2, true);
    const std::string home = QDir::cleanPath(QDir::homePath()).toStdString();
    AddEntry(count(), QDir::home().dirName().toStdString(), home, 1, true);
    setCurrentIndex(-1);
    FFilling = false;
  }
  if (!remembered.empty()) ShowFolderFromLink(remembered);
  // Nothing selected (at first, or the folder is gone): a box of its own shows the computer.
  if (currentIndex() < 0 && !FShellLink && count() > 1) {
    QSignalBlocker block(this);
    setCurrentIndex(1);
  }
  ApplyEditText();
}

void TOrvikShellCombo::showPopup() {
  platform::qt::GuardedCall([this] {
    if (platform::Drives().RootPaths() != FDriveRoots) Fill();
  });
  QComboBox::showPopup();
}

void TOrvikShellCombo::AddEntry(int row, const std::string& text, const std::string& path,
                                int level, bool permanent) {
  if (text.empty() && path.empty()) return;
  insertItem(row, QString::fromStdString(text));
  setItemData(row, QString::fromStdString(path), kPathRole);
  setItemData(row, level, kLevelRole);
  setItemData(row, permanent, kPermanentRole);
}

void TOrvikShellCombo::RemoveChainEntries() {
  for (int i = count() - 1; i >= 0; --i) {
    if (!itemData(i, kPermanentRole).toBool()) removeItem(i);
  }
}

void TOrvikShellCombo::RemoveChainEntriesBelow(int row) {
  for (int i = count() - 1; i > row; --i) {
    if (!itemData(i, kPermanentRole).toBool()) removeItem(i);
  }
}

int TOrvikShellCombo::FindEntryByPath(const std::string& path) const {
  for (int i = 0; i < count(); ++i) {
    const std::string entry = itemData(i, kPathRole).toString().toStdString();
    if (!entry.empty() && shellpaths::SamePath(entry, path)) return i;
  }
  return -1;
}

void TOrvikShellCombo::SelectFolder(const std::string& path) {
  const std::string target = shellpaths::AbsoluteFolder(path);
  if (target.empty()) return;
  {
    FFilling = true;
    QSignalBlocker block(this);
    RemoveChainEntries();
    int row = FindEntryByPath(target);
    if (row < 0) {
      // Insert the chain of folders below the deepest entry that holds the target.
      int ancestor = -1;
      size_t ancestorLength = 0;
      for (int i = 0; i < count(); ++i) {
        const std::string entry = itemData(i, kPathRole).toString().toStdString();
        if (entry.empty() || !shellpaths::IsAncestor(entry, target)) continue;
        const size_t length = shellpaths::Normalized(entry).size();
        if (ancestor < 0 || length > ancestorLength) {
          ancestor = i;
          ancestorLength = length;
        }
      }
      if (ancestor < 0) {
        FFilling = false;
        return;
      }
      std::string current = shellpaths::Normalized(itemData(ancestor, kPathRole).toString().toStdString());
      int level = itemData(ancestor, kLevelRole).toInt();
      row = ancestor;
      for (const std::string& part : shellpaths::ComponentsBelow(current, target)) {
        current = shellpaths::Join(current, part);
        ++row;
        ++level;
        AddEntry(row, part, current, level, false);
      }
    }
    setCurrentIndex(row);
    FFilling = false;
  }
  ChangeLogic();
}

void TOrvikShellCombo::ChangeLogic() {
  const int index = currentIndex();
  if (index < 0) return;
  {
    QSignalBlocker block(this);
    RemoveChainEntriesBelow(index);
  }
  ApplyEditText();
  if (FShellLink && !FFromLink) {
    // The computer stands for entries without a file-system path.
    const std::optional<TIDList> list = shell::ParseDisplayName(Path());
    FShellLink->FolderChanged(this, list.value_or(TIDList::Single(TShellItemKind::Computer)));
  }
  emit Changed();
}

void TOrvikShellCombo::ApplyEditText() {
  if (!FEditable || !lineEdit()) return;
  QString text = currentIndex() >= 0 ? itemText(currentIndex()) : QString();
  if (FShowFullPath && !Path().empty()) text = QString::fromStdString(Path());
  lineEdit()->setText(text);
}

void TOrvikShellCombo::OnEditReturn() {
  platform::qt::GuardedCall([this] {
    const std::string typed = lineEdit()->text().toStdString();
    if (!typed.empty() && QDir(QString::fromStdString(typed)).exists()) {
      SetPath(typed);
    } else {
      ApplyEditText();
    }
  });
}
