#pragma once
// The utility's main window: the source side (drive box, image count, copy button, "As
// JPEG", preview, explanation) on the left, the destination box and its file list on the
// right, and the status bar. The disc detection, scan and copy run in TCopyWorkflow; the
// window supplies its controls to it through the workflow's hooks.

#include <QMainWindow>
#include <QSize>
#include <memory>
#include <string>

class QCheckBox;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class TCopyWorkflow;
class TOrvikShellCombo;
class TOrvikShellLink;
class TOrvikShellList;
class TTreeScanner;
class TVistrelView;

class TForm3 : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kMinWidth = 300;
  static constexpr int kMinHeight = 328;

  explicit TForm3(QWidget* parent = nullptr);
  ~TForm3() override;

  // Event handlers.
  void FormCreate();
  void FormDestroy();
  // Sets the destination, looks for the disc and scans it. Runs once, when the window is
  // first shown, before it appears.
  void FormShow();
  // False for a size below the minimum; the window then keeps its size.
  bool FormCanResize(int& NewWidth, int& NewHeight);
  // Starts a copy, or requests its cancellation while one runs.
  void cmdCopyFilesClick();

  // Operations.
  int ScanSource();
  void DisableControls();
  void EnableControls();
  static std::string GetVolumeLabel(const std::string& rootPath);

  TCopyWorkflow& Workflow() { return *FWorkflow; }
  TTreeScanner& tsFiles();

  // The controls, named as on the window.
  QFrame* Panel1 = nullptr;
  QLabel* Label1 = nullptr;
  TOrvikShellCombo* cbSource = nullptr;
  QLabel* lbFileCount = nullptr;
  QPushButton* cmdCopyFiles = nullptr;
  QCheckBox* cbJPEG = nullptr;
  TVistrelView* VistrelView1 = nullptr;
  QLabel* lbFileName = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QFrame* Panel2 = nullptr;
  QFrame* Panel3 = nullptr;
  QLabel* Label2 = nullptr;
  TOrvikShellCombo* cbDest = nullptr;
  TOrvikShellList* lbFiles = nullptr;
  QStatusBar* sBar = nullptr;
  QLabel* sBarPanel0 = nullptr;  // the percentage
  QLabel* sBarPanel1 = nullptr;  // the current activity
  TOrvikShellLink* OrvikShellLink1 = nullptr;  // owned by FShellLink

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void ConnectWorkflow();
  void LayoutControls();
  void SetStatusText(int panel, const std::string& text);
  void CloseIfRequested(bool queued);
  // The designed size and minimum are those of the whole window, frame included: once the
  // frame is known, the client area gives up what the frame takes.
  void FitFrameToDesignedSize();

  std::unique_ptr<TCopyWorkflow> FWorkflow;
  // Destroyed before the widgets, which it tells to forget it.
  std::unique_ptr<TOrvikShellLink> FShellLink;
  QWidget* FClient = nullptr;
  bool FShown = false;
  bool FCloseRequested = false;
  QSize FFrame{0, 0};  // what the window's frame adds to the client area
};
