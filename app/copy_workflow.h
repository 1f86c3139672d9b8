#pragma once
// The copy utility's workflow without any widgets: finding the photo disc by its volume
// label, scanning it for images, and copying them into "Vandrel Images" below the chosen
// destination. The window (or the command-line tool, or a test) drives it and receives its
// output through TCopyHooks; every hook may be left unset (see each member).
//
// The public entry points (FormShow, CopyFilesClick) never let an exception escape: an error
// is shown through ShowError after the steps that must follow it, because exceptions must
// not unwind through the toolkit's event loop.

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class TJpegNameMap;
namespace platform {
class CopyBatch;
enum class CopyResult;
}
class TTreeScanner;
struct TFileFailure;

// An input/output error: the source folder or file of a path split cannot be found.
class EInOutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TCopyHooks {
  // Services the message queue once. Unset: platform::ProcessMessages.
  std::function<void()> ProcessMessages;
  // Status bar panels 0 (percentage) and 1 (activity). Unset: only kept in the workflow.
  std::function<void(int Panel, const std::string& Text)> SetStatusText;
  std::function<void(const std::string&)> SetFileCountText;  // lbFileCount
  std::function<void(const std::string&)> SetFileNameText;   // lbFileName
  std::function<void(const std::string&)> SetCopyCaption;    // cmdCopyFiles caption
  // Enables or disables cbSource, cbDest and lbFiles, in this order.
  std::function<void(bool Enabled)> SetControlsEnabled;
  // The source box: its entry strings, its selection and its path. Unset: the drives'
  // root paths (platform::Drives()), with the selection and path kept in the workflow.
  std::function<std::vector<std::string>()> SourceItems;
  std::function<void(int)> SetSourceItemIndex;
  std::function<std::string()> SourcePath;
  // The destination box's path. Unset: kept in the workflow (SetDestination).
  std::function<std::string()> DestPath;
  std::function<void(const std::string&)> SetDestPath;
  // "As JPEG" ticked. Read once per file, before its existence test. Unset: false.
  std::function<bool()> AsJpeg;
  // Loads the file for the preview; false when the load failed (the reader's failure flag).
  // May throw for failures of the environment. Unset: every load counts as failed.
  std::function<bool(const std::string& Path)> LoadImage;
  // Writes the image last loaded as a JPEG file at the given (temporary) path; false when
  // the writer reported failure (its failure flag), exceptions for failures of the
  // environment. Unset: TIFFs are copied unchanged instead.
  std::function<bool(const std::string& Path)> SaveJpeg;
  // Copies S to T without replacing a file at T (and may check the copy); Reason receives
  // why a copy failed and Errno the system's error code of a failed write (0 if none), so
  // that a full destination stops the copy. Unset: the copy goes through flush batches.
  std::function<platform::CopyResult(const std::string& S, const std::string& T,
                                     std::string& Reason, int& Errno)> CopyFile;
  // Checks a converted file under its temporary name before it gets its final name; false
  // (with Reason) counts the file as failed and leaves nothing under the final name.
  // Unset: no check.
  std::function<bool(const std::string& TempPath, std::string& Reason)> CheckWritten;
  // Modal messages. Unset: platform::ShowMessage.
  std::function<void(const std::string&)> ShowMessage;
  // Shows the message of an error that ended an operation. Unset: ShowMessage.
  std::function<void(const std::string&)> ShowError;
  // Opens a folder in the desktop shell. Unset: platform::OpenFolder.
  std::function<void(const std::string&)> OpenFolder;
  // The user's decimal separator. Unset: the one of std::locale(""), '.' when that fails.
  std::function<char()> DecimalSeparator;
};

// What the last copy did. A file counts in exactly one of Copied, Converted, Skipped,
// FailedFiles and NotCopied, so that these add up to Total.
struct TCopySummary {
  int Total = 0;      // files in the list when the copy started
  int Copied = 0;     // copied byte for byte (including the two kinds of TIFF below)
  int Converted = 0;  // TIFFs written as JPEG
  int Skipped = 0;    // the destination file existed already
  int NotCopied = 0;  // not attempted: the copy was cancelled or stopped before them
  // With "As JPEG": TIFFs copied unchanged because their load or their conversion failed,
  // and those copied unchanged because another image has their JPEG name.
  int UnconvertedTiffs = 0;
  int TiffsKeptForNameTwins = 0;
  std::vector<std::string> FailedFiles;     // source paths that could not be copied
  std::vector<std::string> FailureReasons;  // why, for each of FailedFiles
  bool Cancelled = false;
  // Why the copy stopped before the end (the destination became full or unusable), else
  // empty; also the message of an unexpected error that ended it.
  std::string StopReason;
  std::string Error;            // message shown as an error after the closing message
  std::string DestinationRoot;  // the "Vandrel Images" folder the copy wrote into
};

class TCopyWorkflow {
 public:
  static constexpr const char* kCopyFilesCaption = "Copy Files";
  static constexpr const char* kCancelCopyCaption = "Cancel Copy";
  static constexpr const char* kInsertDiscMessage =
      "Please put your Vandrel Images disk in your CD/DVD drive.";
  static constexpr const char* kCanceledMessage = "Copy files was canceled";
  static constexpr const char* kCopiedMessage =
      "Your images have been copied to your hard drive and saved to: ";
  static constexpr const char* kImagesFolder = "Vandrel Images";

  explicit TCopyWorkflow(TCopyHooks hooks = {});
  ~TCopyWorkflow();
  TCopyWorkflow(const TCopyWorkflow&) = delete;
  TCopyWorkflow& operator=(const TCopyWorkflow&) = delete;

  TCopyHooks& Hooks() { return FHooks; }

  // Start-up while the window is shown: the destination becomes the home folder, the first
  // drive whose label matches is selected and scanned; otherwise the disc is asked for.
  // A copy requested during this scan starts after it.
  void FormShow();
  // The copy button: starts a copy, or requests cancellation while one runs.
  void CopyFilesClick();
  // Clears the file list and scans the source for images; returns the number found.
  // Throws what the scan throws.
  int ScanSource();

  // Index of the first entry whose volume label contains "VANDREL" or else "DIGITAL
  // PHOTOS", or -1.
  static int FindDisc(const std::vector<std::string>& items);
  // Volume label of a root path in upper case (ASCII letters only); empty on failure.
  static std::string GetVolumeLabel(const std::string& rootPath);

  // Splits a source path into its folder below the drive root (leading '/', no trailing
  // '/', or "/" for the root) and its file name. Throws EInOutError when the folder or the
  // file does not exist. The current directory is left alone.
  static void SplitPath(const std::string& S, std::string& D, std::string& F);
  // dest + "/Vandrel Images/" + D with doubled separators collapsed.
  static std::string DestinationFolder(const std::string& dest, const std::string& D);
  // (done / total * 100) with one decimal and the given separator, followed by "%".
  static std::string FormatPercent(int done, int total, char decimalSeparator);

  // The state the window shows.
  const std::string& CopyCaption() const { return FCaption; }
  int Tag() const { return FTag; }
  bool Copying() const { return FCaption == kCancelCopyCaption; }
  bool StartupScanRunning() const { return FStartupScan; }
  bool CopyPending() const { return FCopyPending; }
  // Forgets a copy requested during the start-up scan (the window is closing).
  void DropPendingCopy() { FCopyPending = false; }
  const std::string& StatusText(int panel) const { return FStatus[panel == 0 ? 0 : 1]; }
  const std::string& FileCountText() const { return FFileCountText; }
  const std::string& FileNameText() const { return FFileNameText; }
  std::vector<std::string> Files() const;  // the sorted file list of the last scan
  const TCopySummary& LastSummary() const { return FSummary; }
  TTreeScanner& tsFiles() { return *FScanner; }

  // The headless source and destination, used where the hooks are unset.
  void SetSource(const std::string& path) { FSourcePath = path; }
  void SetDestination(const std::string& path) { FDestPath = path; }

 private:
  struct TFileList;

  void tsFilesFileFound();
  void RunCopy();
  // Copies one file; false with the reason when it could not be copied.
  bool CopyOneFile(const std::string& S, const std::string& F, const std::string& T,
                   TJpegNameMap& names, platform::CopyBatch& batch, TFileFailure& failure);
  void CountFailure(const std::string& S, const TFileFailure& failure);
  // Counts a copy that the batch settled and makes the new or existing file writable.
  void SettleCopy(const std::string& S, const std::string& target, bool tiffUnconverted,
                  platform::CopyResult result, const TFileFailure& failure);
  void CompletionSteps();
  void ShowClosingMessage(const std::string& root);

  void ProcessMessages();
  void SetStatus(int panel, const std::string& text);
  void SetCaption(const std::string& caption);
  void SetControlsEnabled(bool enabled);
  std::string SourcePath() const;
  std::string DestPath() const;
  void Message(const std::string& text);
  void Error(const std::string& text);

  TCopyHooks FHooks;
  std::unique_ptr<TTreeScanner> FScanner;
  std::unique_ptr<TFileList> FFiles;
  std::string FCaption = kCopyFilesCaption;
  int FTag = 0;
  bool FStartupScan = false;
  bool FCopyPending = false;
  std::string FStatus[2];
  std::string FFileCountText = ".         .";
  std::string FFileNameText;
  std::string FSourcePath, FDestPath;
  TCopySummary FSummary;
  // Set when a copy settled by a batch flush failed in a way that stops the copy.
  std::string FStopReason;
};
