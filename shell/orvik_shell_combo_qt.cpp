#include "shell/orvik_shell_combo.h"
#include "shell/shell_verb_menu_qt.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QFileSystemModel>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QStylePainter>
#include <algorithm>

#include "platform/drives.h"
#include "platform/qt/ui_qt.h"
#include "platform/ui.h"
#include "shell/shell_services_qt.h"

namespace {

constexpr int kIconSize = 16;

// Draws an entry of the dropped-down list: the icon 2 pixels from the left plus the
// indentation of its level, the display name 6 pixels after it.
class TComboEntryDelegate : public QStyledItemDelegate {
 public:
  explicit TComboEntryDelegate(TOrvikShellCombo* combo)
      : QStyledItemDelegate(combo), FCombo(combo) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const TShellComboEntries& entries = FCombo->Entries();
    if (index.row() < 0 || index.row() >= entries.Count()) return;
    const TOrvikComboItem& item = entries.Item(index.row());
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& pal = option.palette;
    painter->save();
    painter->fillRect(option.rect, selected ? pal.highlight() : pal.base());
    const int x = option.rect.x() + 2 + TOrvikShellCombo::kIndentStep * item.Level;
    const int y = option.rect.y() + (option.rect.height() - kIconSize) / 2;
    const QIcon icon = shellqt::ShellIcon(item.ImageIndex);
    icon.paint(painter, QRect(x, y, kIconSize, kIconSize), Qt::AlignCenter,
               selected ? QIcon::Selected : QIcon::Normal);
    painter->setFont(option.font);
    painter->setPen(selected ? pal.highlightedText().color() : pal.text().color());
    const QRect text(x + kIconSize + 6, option.rect.y(),
                     std::max(0, option.rect.right() - (x + kIconSize + 6)), option.rect.height());
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      shellqt::DisplayText(item.DisplayName));
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const TShellComboEntries& entries = FCombo->Entries();
    const int level = index.row() < entries.Count() ? entries.Item(index.row()).Level : 0;
    const QString name = index.row() < entries.Count()
                             ? shellqt::DisplayText(entries.Item(index.row()).DisplayName)
                             : QString();
    const int width = 2 + TOrvikShellCombo::kIndentStep * level + kIconSize + 6 +
                      option.fontMetrics.horizontalAdvance(name) + 4;
    return QSize(width, FCombo->ItemHeight());
  }

 private:
  TOrvikShellCombo* FCombo;
};

}  // namespace

TOrvikShellCombo::TOrvikShellCombo(QWidget* parent) : QComboBox(parent) {
  shellqt::InstallQtShellServices();
  FNav = std::make_unique<TNautex>();
  FNav->SetShowErrorMessages(false);
  FEntries = std::make_unique<TShellComboEntries>(*FNav);
  setItemDelegate(new TComboEntryDelegate(this));
  setInsertPolicy(QComboBox::NoInsert);
  setIconSize(QSize(kIconSize, kIconSize));
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  connect(this, &QComboBox::currentIndexChanged, this, &TOrvikShellCombo::OnIndexChanged);
  SetEditable(true);
  Fill();
}

TOrvikShellCombo::~TOrvikShellCombo() { SetShellLink(nullptr); }

std::vector<std::string> TOrvikShellCombo::Items() const {
  std::vector<std::string> items;
  for (const TOrvikComboItem& item : FEntries->Items()) items.push_back(item.EntryText);
  return items;
}

int TOrvikShellCombo::ItemHeight() const {
  if (FItemHeight > 0) return FItemHeight;
  return std::max(fontMetrics().height() + 5, kIconSize);
}

void TOrvikShellCombo::SetItemIndex(int index) {
  if (index < 0 || index >= count() || index == currentIndex()) return;
  FEntries->SetSelected(index);
  Sync();
  ChangeLogic();
}

void TOrvikShellCombo::OnIndexChanged(int index) {
  if (FSyncing || index < 0) return;
  platform::qt::GuardedCall([&] {
    FEntries->SetSelected(index);
    ChangeLogic();
  });
}

std::string TOrvikShellCombo::Path() const { return FEntries->SelectedPath(); }

void TOrvikShellCombo::SetPath(const std::string& path) {
  try {
    FNav->SetFolder(path);
  } catch (const ENautexError& e) {
    if (ShowErrorMessages()) platform::ShowMessage(e.what());
    return;
  }
  if (const std::optional<TIDList> list = FNav->FolderIDList()) SelectIDList(*list);
}

void TOrvikShellCombo::SelectIDList(const TIDList& list) {
  if (!FFilled) Fill();
  const int before = FEntries->Selected();
  const std::optional<TIDList> previous =
      before >= 0 ? FEntries->Item(before).IDList : std::nullopt;
  bool selected = false;
  try {
    selected = FEntries->SelectIDList(list);
  } catch (const ENautexError& e) {
    // A folder of the chain vanished meanwhile: keep the selection as it was.
    if (ShowErrorMessages()) platform::ShowMessage(e.what());
    FEntries->RemoveChainEntries();
    FEntries->SetSelected(-1);
    if (previous) {
      try {
        FEntries->SelectIDList(*previous);
      } catch (const ENautexError&) {
        FEntries->SetSelected(0);
      }
    }
    Sync();
    return;
  }
  Sync();
  if (selected) ChangeLogic();
}

bool TOrvikShellCombo::FileSystemOnly() const { return FNav->FileSystemOnly(); }

void TOrvikShellCombo::SetFileSystemOnly(bool value) {
  FNav->SetFileSystemOnly(value);
  Fill();
}

void TOrvikShellCombo::SetOptions(uint32_t value) {
  FEntries->SetOptions(value);
  FNav->SetShowErrorMessages(value & soShowErrorMessages);
  if (FFilled || !(value & soNoFillOnStartup)) Fill();
}

void TOrvikShellCombo::SetEditable(bool value) {
  FEditable = value;
  setEditable(value);
  if (value && lineEdit()) {
    lineEdit()->setFrame(false);
    connect(lineEdit(), &QLineEdit::returnPressed, this, &TOrvikShellCombo::OnEditReturn,
            Qt::UniqueConnection);
    SetAutoComplete(FAutoComplete);
  }
  ApplyEditText();
}

void TOrvikShellCombo::SetAutoComplete(bool value) {
  FAutoComplete = value;
  if (!lineEdit()) return;
  if (value) {
    if (!FCompleter) {
      // Completion of the typed path from the file system, folders only.
      auto* model = new QFileSystemModel(this);
      model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
      model->setRootPath(QStringLiteral("/"));
      FCompleter = new QCompleter(model, this);
      FCompleter->setCompletionMode(QCompleter::PopupCompletion);
    }
    setCompleter(FCompleter);
  } else {
    lineEdit()->setCompleter(nullptr);
  }
}

void TOrvikShellCombo::SetShowFullPath(bool value) {
  FShowFullPath = value;
  ApplyEditText();
  update();
}

void TOrvikShellCombo::SetShellLink(TOrvikShellLink* link) {
  if (FShellLink == link) return;
  if (FShellLink) FShellLink->RemoveControl(this);
  FShellLink = link;
  if (FShellLink) FShellLink->AddControl(this);
}

void TOrvikShellCombo::ShowFolder(const TIDList& absolute) {
  platform::qt::GuardedCall([&] { SelectIDList(absolute); });
}

void TOrvikShellCombo::SelectAll() {
  if (lineEdit()) lineEdit()->selectAll();
}

void TOrvikShellCombo::Fill() {
  const int before = FEntries->Selected();
  const std::optional<TIDList> remembered =
      before >= 0 ? FEntries->Item(before).IDList : std::nullopt;
  try {
    FEntries->Fill();
  } catch (const ENautexError& e) {
    if (ShowErrorMessages()) platform::ShowMessage(e.what());
  }
  FFilled = true;
  Sync();
  if (FEntries->Count() < 2) {
    ApplyEditText();
    return;
  }
  if (remembered) {
    // Reselecting must not move the other linked controls.
    const bool linkWasOn = FShellLink && FShellLink->Enabled();
    if (FShellLink) FShellLink->SetEnabled(false);
    bool selected = false;
    try {
      selected = FEntries->SelectIDList(*remembered);
    } catch (const ENautexError&) {
    }
    // The folder is gone (a drive was removed): the desktop for a linked box, the computer
    // for a box of its own.
    if (!selected) FEntries->SetSelected(FShellLink ? 0 : 1);
    Sync();
    ChangeLogic();
    if (FShellLink) FShellLink->SetEnabled(linkWasOn);
  } else if (!FShellLink) {
    FEntries->SetSelected(1);
    Sync();
  }
  ApplyEditText();
}

void TOrvikShellCombo::showPopup() {
  setFocus();
  platform::qt::GuardedCall([this] {
    std::vector<std::string> roots = platform::Drives().RootPaths();
    std::vector<std::string> shown = FEntries->DriveRoots();
    std::sort(roots.begin(), roots.end());
    std::sort(shown.begin(), shown.end());
    if (roots != shown) Fill();
  });
  QComboBox::showPopup();
}

void TOrvikShellCombo::Sync() {
  FSyncing = true;
  {
    QSignalBlocker block(this);
    clear();
    for (const TOrvikComboItem& item : FEntries->Items()) {
      addItem(shellqt::ShellIcon(item.ImageIndex), shellqt::DisplayText(item.DisplayName));
    }
    setCurrentIndex(FEntries->Selected());
  }
  FSyncing = false;
  ApplyEditText();
  update();
}

void TOrvikShellCombo::ChangeLogic() {
  const int selected = FEntries->Selected();
  if (selected < 0) return;
  const int countBefore = FEntries->Count();
  FEntries->RemoveChainBelowSelection();
  if (FEntries->Count() != countBefore) Sync();
  ApplyEditText();
  if (FShellLink) {
    if (const std::optional<TIDList>& list = FEntries->Item(FEntries->Selected()).IDList) {
      FShellLink->FolderChanged(this, *list);
    }
  }
  emit Changed();
}

QString TOrvikShellCombo::EditPortionText() const {
  const int selected = FEntries->Selected();
  if (selected < 0) return {};
  const TOrvikComboItem& item = FEntries->Item(selected);
  if (FShowFullPath) {
    const std::string path = Path();
    return shellqt::DisplayText(path.empty() ? item.EntryText : path);
  }
  return shellqt::DisplayText(item.DisplayName);
}

void TOrvikShellCombo::ApplyEditText() {
  if (!FEditable || !lineEdit()) return;
  const int selected = FEntries->Selected();
  QString text;
  if (selected >= 0) {
    text = FShowFullPath ? EditPortionText()
                         : shellqt::DisplayText(FEntries->Item(selected).EntryText);
  }
  if (lineEdit()->text() != text) lineEdit()->setText(text);
}

void TOrvikShellCombo::OnEditReturn() {
  platform::qt::GuardedCall([this] {
    const std::string typed = shellqt::RawPath(lineEdit()->text());
    const int before = FEntries->Selected();
    if (!typed.empty()) SetPath(typed);
    if (FEntries->Selected() == before) ApplyEditText();
  });
}

void TOrvikShellCombo::keyPressEvent(QKeyEvent* event) {
  // Enter in the text field navigates (through returnPressed) and is not passed on.
  if (FEditable && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    event->accept();
    return;
  }
  QComboBox::keyPressEvent(event);
}

void TOrvikShellCombo::paintEvent(QPaintEvent* event) {
  if (FEditable) {
    QComboBox::paintEvent(event);
    return;
  }
  // The edit portion: the icon of the selection and its display name (or full path), not
  // indented.
  QStylePainter painter(this);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  const int selected = FEntries->Selected();
  option.currentText = EditPortionText();
  option.currentIcon =
      selected >= 0 ? shellqt::ShellIcon(FEntries->Item(selected).ImageIndex) : QIcon();
  option.iconSize = QSize(kIconSize, kIconSize);
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

std::vector<std::string> TOrvikShellCombo::ContextMenuVerbs() {
  const int selected = FEntries->Selected();
  if (selected < 0 || !FEntries->Item(selected).IDList) return {};
  const TIDList list = *FEntries->Item(selected).IDList;
  if (list.IsEmpty()) return {};  // the desktop itself
  FNav->SetAbsoluteIDList(list);
  std::vector<std::string> verbs = FNav->ContextMenuVerbs();
  // Renaming is done in a file list, not in the box.
  std::erase(verbs, "rename");
  return verbs;
}

bool TOrvikShellCombo::RunContextMenuVerb(const std::string& verb) {
  const std::vector<std::string> verbs = ContextMenuVerbs();
  if (std::find(verbs.begin(), verbs.end(), verb) == verbs.end()) return false;
  const bool done = !FNav->RunContextMenuVerb(verb).empty();
  // A folder that went to the trash (or was moved away) cannot stay selected.
  if (done && (verb == "delete" || verb == "cut")) Fill();
  return done;
}

void TOrvikShellCombo::contextMenuEvent(QContextMenuEvent* event) {
  if (!FShowContextMenu || contextMenuPolicy() != Qt::DefaultContextMenu) {
    QComboBox::contextMenuEvent(event);
    return;
  }
  platform::qt::GuardedCall([&] {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::vector<std::string> verbs = ContextMenuVerbs();
    QApplication::restoreOverrideCursor();
    const std::string chosen = ExecVerbMenu(this, verbs, event->globalPos());
    if (!chosen.empty()) RunContextMenuVerb(chosen);
  });
}
