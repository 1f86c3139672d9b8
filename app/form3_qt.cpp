#include "app/form3_qt.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

#include "app/copy_workflow.h"
#include "app/tiff_to_jpeg.h"
#include "imaging/component/vistrel_io.h"
#include "imaging/view/vistrel_view.h"
#include "platform/qt/ui_qt.h"
#include "shell/orvik_shell_combo.h"
#include "shell/orvik_shell_link.h"
#include "shell/orvik_shell_list.h"

namespace {

constexpr int kWindowWidth = 682;
constexpr int kWindowHeight = 438;
constexpr int kPanel1Width = 185;
constexpr int kPanel3Height = 30;
constexpr int kStatusBarHeight = 19;
constexpr int kComboHeight = 22;
constexpr int kBevel = 1;  // the panels' raised edge
// Distances to the far edge that the anchored controls keep: those they have at the
// window's first size, where they have their designed sizes.
constexpr int kMemoBottomMargin = (kWindowHeight - kStatusBarHeight) - (249 + 132);
constexpr int kDestRightMargin = (kWindowWidth - kPanel1Width - 2 * kBevel) - (109 + 372);

QFont PixelFont(const char* family, int pixelHeight, bool bold = false) {
  QFont font(QString::fromLatin1(family));
  font.setPixelSize(pixelHeight);
  font.setBold(bold);
  return font;
}

// The window's fonts are narrow sans-serif faces; where they are missing, prefer faces with
// the same widths as Arial over the platform's default, which is often much wider and would
// push labels under the controls placed beside them.
void InstallFontSubstitutes() {
  static const bool installed = [] {
    const QStringList narrow{"Arial", "Liberation Sans", "Nimbus Sans", "Helvetica"};
    QFont::insertSubstitutions("MS Sans Serif", narrow);
    QFont::insertSubstitutions("Tahoma", narrow);
    QFont::insertSubstitutions("Arial", {"Liberation Sans", "Nimbus Sans", "Helvetica"});
    return true;
  }();
  (void)installed;
}

// A panel with a one-pixel raised bevel.
QFrame* MakePanel(QWidget* parent, const char* name) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(name);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setLineWidth(kBevel);
  return panel;
}

// A shell box as the window uses them: Tahoma, entries 16 pixels high.
TOrvikShellCombo* MakeShellCombo(QWidget* parent, const char* name) {
  auto* combo = new TOrvikShellCombo(parent);
  combo->setObjectName(name);
  combo->setFont(PixelFont("Tahoma", 11));
  combo->SetItemHeight(16);
  return combo;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->move(x, y);
  label->adjustSize();
  return label;
}

}  // namespace

TForm3::TForm3(QWidget* parent) : QMainWindow(parent) {
  setObjectName("Form3");
  InstallFontSubstitutes();
  setWindowTitle(QString::fromUtf8(platform::qt::kApplicationTitle));
  setFont(PixelFont("MS Sans Serif", 11));
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setMinimumSize(kMinWidth, kMinHeight);
  CreateControls();
  resize(kWindowWidth, kWindowHeight);
  move(110, 170);
  FormCreate();
}

TForm3::~TForm3() { FormDestroy(); }

void TForm3::CreateControls() {
  FClient = new QWidget(this);
  FClient->setObjectName("Client");
  setCentralWidget(FClient);
  FClient->installEventFilter(this);

  // The source side.
  Panel1 = MakePanel(FClient, "Panel1");
  Panel1->setFont(PixelFont("Arial", 11, true));
  Label1 = MakeLabel(Panel1, "Label1", "Vandrel CD:", 8, 8);
  cbSource = MakeShellCombo(Panel1, "cbSource");
  cbSource->SetEditable(false);
  cbSource->SetFileSystemOnly(true);
  cbSource->setGeometry(8, 24, 169, kComboHeight);
  lbFileCount = MakeLabel(Panel1, "lbFileCount", ".         .", 9, 51);
  cmdCopyFiles = new QPushButton(TCopyWorkflow::kCopyFilesCaption, Panel1);
  cmdCopyFiles->setObjectName("cmdCopyFiles");
  cmdCopyFiles->setGeometry(8, 74, 75, 25);
  cbJPEG = new QCheckBox("As JPEG", Panel1);
  cbJPEG->setObjectName("cbJPEG");
  cbJPEG->setGeometry(87, 78, 93, 17);
  cbJPEG->setToolTip(
      "If your files are TIFF, this option will convert them to JPEG for you as they copy.");
  cbJPEG->setChecked(false);
  VistrelView1 = new TVistrelView(Panel1);
  VistrelView1->setObjectName("VistrelView1");
  VistrelView1->setGeometry(4, 104, 175, 124);
  VistrelView1->SetZoomFilter(rfFastLinear);
  VistrelView1->SetScrollBars(ssNone);
  VistrelView1->SetAutoFit(true);
  lbFileName = MakeLabel(Panel1, "lbFileName", "", 5, 231);
  Memo1 = new QPlainTextEdit(Panel1);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setPlainText(
      "This utility will help you copy \nyour images from the Read \nOnly CD/DVD disk that \n"
      "Vandrel provided to your \nlocal hard drive where the \nimages can be edited.");
  Memo1->setGeometry(3, 249, 177, 132);

  // The destination side.
  Panel2 = MakePanel(FClient, "Panel2");
  Panel2->installEventFilter(this);
  Panel3 = MakePanel(Panel2, "Panel3");
  Label2 = MakeLabel(Panel3, "Label2", "Destination Location:", 0, 7);
  FShellLink = std::make_unique<TOrvikShellLink>();
  OrvikShellLink1 = FShellLink.get();
  cbDest = MakeShellCombo(Panel3, "cbDest");
  cbDest->SetShowFullPath(true);
  cbDest->SetShellLink(OrvikShellLink1);
  cbDest->setGeometry(109, 2, 372, kComboHeight);
  lbFiles = new TOrvikShellList(Panel2);
  lbFiles->setObjectName("lbFiles");
  lbFiles->setFont(PixelFont("Tahoma", 11));
  lbFiles->SetNoFillOnStartup(true);
  lbFiles->SetFilter("*.jpg;*.tif;*.bmp;*.png");
  lbFiles->SetShowParentFolder(true);
  lbFiles->SetShellContextMenu(false);
  lbFiles->SetReadOnly(true);
  lbFiles->SetRowSelect(true);
  lbFiles->SetShellLink(OrvikShellLink1);

  // The status bar: the percentage centred in a narrow panel, the activity in the rest.
  sBar = new QStatusBar(this);
  sBar->setObjectName("sBar");
  sBar->setFixedHeight(kStatusBarHeight);
  sBarPanel0 = new QLabel(sBar);
  sBarPanel0->setObjectName("sBarPanel0");
  sBarPanel0->setAlignment(Qt::AlignCenter);
  sBarPanel0->setFixedWidth(50);
  sBarPanel0->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  sBarPanel1 = new QLabel(sBar);
  sBarPanel1->setObjectName("sBarPanel1");
  sBarPanel1->setMinimumWidth(60);
  sBarPanel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  sBar->addWidget(sBarPanel0, 0);
  sBar->addWidget(sBarPanel1, 1);
  setStatusBar(sBar);

  connect(cmdCopyFiles, &QPushButton::clicked, this, [this] { cmdCopyFilesClick(); });
}

void TForm3::FormCreate() {
  FWorkflow = std::make_unique<TCopyWorkflow>();
  ConnectWorkflow();
}

void TForm3::FormDestroy() { FWorkflow.reset(); }

void TForm3::ConnectWorkflow() {
  // Message boxes, servicing the queue and opening folders go through the platform's hooks
  // (left unset here), which the program sets to Qt and tests to their own.
  TCopyHooks& hooks = FWorkflow->Hooks();
  hooks.SetStatusText = [this](int panel, const std::string& text) { SetStatusText(panel, text); };
  hooks.SetFileCountText = [this](const std::string& text) {
    lbFileCount->setText(QString::fromStdString(text));
    lbFileCount->adjustSize();
  };
  hooks.SetFileNameText = [this](const std::string& text) {
    lbFileName->setText(QString::fromStdString(text));
    lbFileName->adjustSize();
  };
  hooks.SetCopyCaption = [this](const std::string& caption) {
    cmdCopyFiles->setText(QString::fromStdString(caption));
  };
  hooks.SetControlsEnabled = [this](bool enabled) {
    if (enabled) EnableControls();
    else DisableControls();
  };
  hooks.SourceItems = [this] { return cbSource->Items(); };
  hooks.SetSourceItemIndex = [this](int index) { cbSource->SetItemIndex(index); };
  hooks.SourcePath = [this] { return cbSource->Path(); };
  hooks.DestPath = [this] { return cbDest->Path(); };
  hooks.SetDestPath = [this](const std::string& path) { cbDest->SetPath(path); };
  hooks.AsJpeg = [this] { return cbJPEG->isChecked(); };
  hooks.LoadImage = [this](const std::string& path) {
    auto* io = VistrelView1->ImageIO();
    io->LoadFromFile(path);
    return !io->AbortFlag();
  };
  // The preview's loader holds the TIFF just loaded (and the colour space of whatever the
  // preview showed before, which the conversion does not follow).
  hooks.SaveJpeg = [this](const std::string& path) {
    return SaveLoadedTiffAsJpeg(*VistrelView1->ImageIO(), path);
  };
  hooks.DecimalSeparator = [] {
    const QString point = QLocale::system().decimalPoint();
    const QChar c = point.isEmpty() ? QChar('.') : point.front();
    return c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '.';
  };
}

void TForm3::SetStatusText(int panel, const std::string& text) {
  (panel == 0 ? sBarPanel0 : sBarPanel1)->setText(QString::fromStdString(text));
}

void TForm3::FormShow() {
  platform::qt::GuardedCall([this] { FWorkflow->FormShow(); });
  // show() is still on the stack here: closing now would hide the window while its
  // platform window is being shown, so the close waits for the event loop.
  CloseIfRequested(true);
}

bool TForm3::FormCanResize(int& NewWidth, int& NewHeight) {
  return NewWidth >= kMinWidth && NewHeight >= kMinHeight;
}

void TForm3::cmdCopyFilesClick() {
  platform::qt::GuardedCall([this] { FWorkflow->CopyFilesClick(); });
  CloseIfRequested(false);
}

// Carries out a close that was held back while the start-up scan or a copy ran.
void TForm3::CloseIfRequested(bool queued) {
  if (!FCloseRequested || FWorkflow->Copying() || FWorkflow->StartupScanRunning()) return;
  FCloseRequested = false;
  if (queued) QTimer::singleShot(0, this, [this] { close(); });
  else close();
}

int TForm3::ScanSource() { return FWorkflow->ScanSource(); }

void TForm3::DisableControls() {
  cbSource->setEnabled(false);
  cbDest->setEnabled(false);
  lbFiles->setEnabled(false);
}

void TForm3::EnableControls() {
  cbSource->setEnabled(true);
  cbDest->setEnabled(true);
  lbFiles->setEnabled(true);
}

std::string TForm3::GetVolumeLabel(const std::string& rootPath) {
  return TCopyWorkflow::GetVolumeLabel(rootPath);
}

TTreeScanner& TForm3::tsFiles() { return FWorkflow->tsFiles(); }

void TForm3::FitFrameToDesignedSize() {
  const QSize frame = frameGeometry().size() - size();
  if (frame.width() < 0 || frame.height() < 0) return;
  FFrame = frame;
  setMinimumSize(kMinWidth - frame.width(), kMinHeight - frame.height());
  resize(kWindowWidth - frame.width(), kWindowHeight - frame.height());
}

void TForm3::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!FShown && !event->spontaneous()) {
    FShown = true;
    FitFrameToDesignedSize();
    // Window managers add their frame after the window is mapped; fit again once it is.
    QTimer::singleShot(0, this, [this] { FitFrameToDesignedSize(); });
    FormShow();
  }
}

void TForm3::closeEvent(QCloseEvent* event) {
  if (FWorkflow && FWorkflow->Copying()) {
    // Closing while the copy runs nested in the event loop would leave it running without
    // a window: cancel it instead and close once it has ended.
    FCloseRequested = true;
    FWorkflow->CopyFilesClick();
    event->ignore();
    return;
  }
  if (FWorkflow && FWorkflow->StartupScanRunning()) {
    // The scan cannot be stopped: close once it is over, without the copy a click during
    // it asked for.
    FCloseRequested = true;
    FWorkflow->DropPendingCopy();
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

bool TForm3::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && (watched == FClient || watched == Panel2)) {
    LayoutControls();
  }
  return QMainWindow::eventFilter(watched, event);
}

void TForm3::LayoutControls() {
  const int width = FClient->width();
  const int height = FClient->height();
  Panel1->setGeometry(0, 0, kPanel1Width, height);
  Panel2->setGeometry(kPanel1Width, 0, std::max(0, width - kPanel1Width), height);
  // Memo1 is anchored left, top and bottom.
  // The anchors keep the distances they have in the client area at the designed frame size.
  Memo1->setGeometry(3, 249, 177,
                     std::max(0, height - 249 - (kMemoBottomMargin - FFrame.height())));
  // Inside Panel2's bevel: Panel3 on top, the file list below it.
  const QRect inner = Panel2->contentsRect();
  Panel3->setGeometry(inner.x(), inner.y(), inner.width(), kPanel3Height);
  // cbDest is anchored left, top and right.
  cbDest->setGeometry(109, 2,
                      std::max(0, inner.width() - 109 - (kDestRightMargin - FFrame.width())),
                      kComboHeight);
  lbFiles->setGeometry(inner.x(), inner.y() + kPanel3Height, inner.width(),
                       std::max(0, inner.height() - kPanel3Height));
}
