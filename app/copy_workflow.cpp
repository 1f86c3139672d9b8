#include "app/copy_workflow.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string_view>
#include <locale>
#include <set>

#include "app/copy_outcome.h"
#include "app/jpeg_name_map.h"
#include "app/sorted_string_list.h"
#include "app/tree_scanner.h"
#include "platform/copy_batch.h"
#include "platform/drives.h"
#include "platform/fs.h"
#include "platform/ui.h"

namespace {

const char* const kMasks[] = {"*.bmp", "*.tif", "*.png", "*.jpg"};

// The vendor's logo and notice images, in upper case; they are never copied.
const char* const kVendorImages[] = {"VANDRELLOGO_RMMG_MED.JPG", "VANDRELLOGO_SUNFLOWER50.JPG",
                                     "YOUR-DIGITAL-PICTURES-ARE-H.JPG"};

// Joins texts into one string. (Chains of operator+ on strings draw false -Wrestrict
// warnings from g++ 12 at -O2.)
std::string Concat(std::initializer_list<std::string_view> parts) {
  size_t size = 0;
  for (std::string_view p : parts) size += p.size();
  std::string out;
  out.reserve(size);
  for (std::string_view p : parts) out.append(p);
  return out;
}

std::string IncludeTrailingSlash(const std::string& s) {
  if (!s.empty() && s.back() == '/') return s;
  return s + '/';
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The position of the extension's dot in a file name, or npos.
size_t ExtensionDot(const std::string& name) { return name.rfind('.'); }

char LocaleDecimalSeparator() {
  try {
    return std::use_facet<std::numpunct<char>>(std::locale("")).decimal_point();
  } catch (const std::exception&) {
    return '.';
  }
}

std::string CurrentExceptionMessage() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown error";
  }
}

}  // namespace

// The scan's file list: sorted by the user's collation ignoring case; only exactly equal
// paths are duplicates, so two files whose names differ only in case are both kept.
struct TCopyWorkflow::TFileList {
  TSortedStringList List{TSortedStringList::TDuplicateMode::dmExact};
};

TCopyWorkflow::TCopyWorkflow(TCopyHooks hooks)
    : FHooks(std::move(hooks)),
      FScanner(std::make_unique<TTreeScanner>()),
      FFiles(std::make_unique<TFileList>()) {
  FScanner->OnFileFound = [this](TObject*) { tsFilesFileFound(); };
}

TCopyWorkflow::~TCopyWorkflow() = default;

std::vector<std::string> TCopyWorkflow::Files() const {
  std::vector<std::string> files;
  for (int i = 0; i < FFiles->List.Count(); ++i) files.push_back(FFiles->List[i]);
  return files;
}

// ---- Hooks with their fallbacks ----

void TCopyWorkflow::ProcessMessages() {
  if (FHooks.ProcessMessages) FHooks.ProcessMessages();
  else platform::ProcessMessages();
}

void TCopyWorkflow::SetStatus(int panel, const std::string& text) {
  FStatus[panel == 0 ? 0 : 1] = text;
  if (FHooks.SetStatusText) FHooks.SetStatusText(panel, text);
}

void TCopyWorkflow::SetCaption(const std::string& caption) {
  FCaption = caption;
  if (FHooks.SetCopyCaption) FHooks.SetCopyCaption(caption);
}

void TCopyWorkflow::SetControlsEnabled(bool enabled) {
  if (FHooks.SetControlsEnabled) FHooks.SetControlsEnabled(enabled);
}

std::string TCopyWorkflow::SourcePath() const {
  return FHooks.SourcePath ? FHooks.SourcePath() : FSourcePath;
}

std::string TCopyWorkflow::DestPath() const {
  return FHooks.DestPath ? FHooks.DestPath() : FDestPath;
}

void TCopyWorkflow::Message(const std::string& text) {
  if (FHooks.ShowMessage) FHooks.ShowMessage(text);
  else platform::ShowMessage(text);
}

void TCopyWorkflow::Error(const std::string& text) {
  if (FHooks.ShowError) FHooks.ShowError(text);
  else Message(text);
}

// ---- Disc detection ----

std::string TCopyWorkflow::GetVolumeLabel(const std::string& rootPath) {
  std::string label;
  if (!platform::Drives().VolumeLabel(rootPath, label)) return "";
  return platform::UpperAscii(label);
}

int TCopyWorkflow::FindDisc(const std::vector<std::string>& items) {
  for (size_t i = 0; i < items.size(); ++i) {
    const std::string label = GetVolumeLabel(items[i]);
    if (label.find("VANDREL") != std::string::npos ||
        label.find("DIGITAL PHOTOS") != std::string::npos) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

void TCopyWorkflow::FormShow() {
  try {
    if (FHooks.SetDestPath) FHooks.SetDestPath(platform::HomeDirectory());
    else FDestPath = platform::HomeDirectory();

    const std::vector<std::string> items =
        FHooks.SourceItems ? FHooks.SourceItems() : platform::Drives().RootPaths();
    const int found = items.empty() ? -1 : FindDisc(items);
    if (found < 0) {
      Message(kInsertDiscMessage);
    } else {
      if (FHooks.SetSourceItemIndex) FHooks.SetSourceItemIndex(found);
      else FSourcePath = items[found];
      // A click on "Copy Files" while this scan services the message queue is remembered
      // and the copy started once the scan is over, instead of running inside the scan.
      FStartupScan = true;
      try {
        ScanSource();
      } catch (...) {
        FStartupScan = false;
        throw;
      }
      FStartupScan = false;
    }
  } catch (...) {
    Error(CurrentExceptionMessage());
  }
  if (FCopyPending) {
    FCopyPending = false;
    CopyFilesClick();
  }
}

// ---- Scan ----

int TCopyWorkflow::ScanSource() {
  FFiles->List.Clear();
  FScanner->SetInitialDirectory(SourcePath());
  // Copies made earlier into a destination inside the source are not images of the disc.
  FScanner->SetExcludedFolders({IncludeTrailingSlash(DestPath()) + kImagesFolder});
  try {
    for (const char* mask : kMasks) {
      FScanner->SetFileMask(mask);
      FScanner->Search();
    }
  } catch (...) {
    SetStatus(1, "");
    throw;
  }
  SetStatus(1, "");
  const int count = FFiles->List.Count();
  FFileCountText = "Contains " + std::to_string(count) + " of your images.";
  if (FHooks.SetFileCountText) FHooks.SetFileCountText(FFileCountText);
  return count;
}

void TCopyWorkflow::tsFilesFileFound() {
  ProcessMessages();
  const std::string P = FScanner->FileFound();
  const std::string name = platform::UpperAscii(FileNameOf(P));
  for (const char* vendor : kVendorImages) {
    if (name == vendor) return;
  }
  // Thumbnail folders: "THUMBS/" with its case, so a folder "Thumbs" is kept while
  // "THUMBS" and any folder whose name ends in "THUMBS" are left out with all below them.
  // Only the path below the disc's root counts: the folder it is mounted on may be named
  // anything.
  std::string_view below = P;
  const std::string& root = FScanner->InitialDirectory();
  if (below.starts_with(root)) below.remove_prefix(root.size());
  if (below.find("THUMBS/") != std::string_view::npos) return;
  FFiles->List.Add(P);
  SetStatus(1, "Found file: " + P);
}

// ---- Paths ----

void TCopyWorkflow::SplitPath(const std::string& S, std::string& D, std::string& F) {
  const size_t slash = S.rfind('/');
  if (slash == std::string::npos) {
    throw EInOutError(Concat({"I/O error: no folder in the path ", S}));
  }
  F = S.substr(slash + 1);
  std::string prefix = IncludeTrailingSlash(platform::DrivePrefix(S));
  if (S.compare(0, prefix.size(), prefix) != 0) prefix.assign(S.front() == '/' ? 1 : 0, '/');
  const size_t folderStart = std::min(prefix.size(), slash);
  D = Concat({"/", std::string_view(S).substr(folderStart, slash - folderStart)});

  const std::string folder = S.substr(0, slash + 1);
  if (!platform::DirectoryExists(folder)) {
    throw EInOutError(Concat({"I/O error: the folder ", folder, " cannot be found"}));
  }
  if (!platform::FileExists(S)) {
    throw EInOutError(Concat({"I/O error: the file ", S, " cannot be found"}));
  }
}

std::string TCopyWorkflow::DestinationFolder(const std::string& dest, const std::string& D) {
  const std::string joined = IncludeTrailingSlash(dest) + kImagesFolder + "/" + D;
  // Every "//" becomes "/", scanning left to right without overlap. This removes the
  // doubled separator between "Vandrel Images/" and D, and also the one a destination of
  // "/" would produce.
  std::string folder;
  folder.reserve(joined.size());
  for (size_t i = 0; i < joined.size(); ++i) {
    folder += joined[i];
    if (joined[i] == '/' && i + 1 < joined.size() && joined[i + 1] == '/') ++i;
  }
  return folder;
}

std::string TCopyWorkflow::FormatPercent(int done, int total, char decimalSeparator) {
  const char separator[2] = {decimalSeparator, '\0'};
  if (total <= 0) return Concat({"0", separator, "0%"});
  // Tenths of a percent, rounded half up, in exact integer arithmetic.
  const int64_t tenths = (int64_t{2000} * done + total) / (int64_t{2} * total);
  return Concat({std::to_string(tenths / 10), separator, std::to_string(tenths % 10), "%"});
}

// ---- Copy ----

void TCopyWorkflow::CopyFilesClick() {
  if (FCaption == kCancelCopyCaption) {
    // A click that arrived while the copy serviced the message queue: cancel request.
    FTag = 1;
    return;
  }
  if (FStartupScan) {
    FCopyPending = true;
    return;
  }
  SetCaption(kCancelCopyCaption);
  FSummary = TCopySummary{};
  try {
    ScanSource();
  } catch (...) {
    // Without this the button would stay "Cancel Copy" and never start a copy again.
    SetCaption(kCopyFilesCaption);
    FTag = 0;
    Error(CurrentExceptionMessage());
    return;
  }

  std::string error;
  try {
    RunCopy();
    error = FSummary.Error;
  } catch (...) {
    error = CurrentExceptionMessage();
    FSummary.StopReason = error;
  }
  FSummary.Error = error;
  try {
    CompletionSteps();
  } catch (...) {
    if (error.empty()) error = CurrentExceptionMessage();
  }
  if (!error.empty()) Error(error);
}

void TCopyWorkflow::RunCopy() {
  SetControlsEnabled(false);
  const std::vector<std::string> files = Files();
  const int count = static_cast<int>(files.size());
  FSummary.Total = count;
  const char separator = FHooks.DecimalSeparator ? FHooks.DecimalSeparator()
                                                 : LocaleDecimalSeparator();
  TJpegNameMap names(files);
  // Copies are flushed to the disk in batches before they get their names; the folders
  // written to have their new names flushed once, when the copy ends, however it ends.
  platform::CopyBatch batch;
  std::set<std::string> foldersSeen;
  struct TFinish {
    platform::CopyBatch& Batch;
    std::set<std::string>& Folders;
    ~TFinish() {
      Batch.Flush();
      for (const std::string& f : Folders) platform::SyncFolder(f);
    }
  } finish{batch, foldersSeen};
  FStopReason.clear();
  const std::string destination = IncludeTrailingSlash(DestPath());
  const TDestinationWatch watch(destination);
  for (int i = 0; i < count; ++i) {
    const std::string& S = files[i];
    TFileFailure failure;
    bool done = false;
    if (!watch.StillThere()) {
      FStopReason = "the destination folder " + destination + " is no longer there";
      FSummary.StopReason = FStopReason;
      FSummary.Error = FStopReason;
      FSummary.NotCopied = count - i;
      return;
    }
    try {
      std::string D, F;
      SplitPath(S, D, F);
      const std::string folder = DestinationFolder(DestPath(), D);
      platform::ForceDirectories(folder);
      // Temporary files that a killed copy left in this folder go before new ones come.
      if (foldersSeen.insert(folder).second) platform::RemoveStaleTemporaries(folder);
      const std::string T = IncludeTrailingSlash(folder) + F;

      SetStatus(1, "Copying file " + std::to_string(i + 1) + " of " + std::to_string(count) +
                       " --> " + IncludeTrailingSlash(D) + F);
      SetStatus(0, FormatPercent(i + 1, count, separator));
      ProcessMessages();
      if (FTag == 1) {
        FSummary.Cancelled = true;
        FSummary.NotCopied = count - i;
        Message(kCanceledMessage);
        return;
      }
      done = CopyOneFile(S, F, T, names, batch, failure);
    } catch (...) {
      // A source that vanished or cannot be read, or a reader's or writer's error: this
      // file fails; whether the copy goes on is decided below.
      failure = TFileFailure{CurrentExceptionMessage(), 0};
    }
    if (!done) {
      CountFailure(S, failure);
      if (FailureStopsTheCopy(failure, destination)) FStopReason = failure.Reason;
    }
    if (!FStopReason.empty()) {
      FSummary.StopReason = FStopReason;
      FSummary.Error = FStopReason;
      FSummary.NotCopied = count - i - 1;
      return;
    }
    ProcessMessages();
  }
}

void TCopyWorkflow::SettleCopy(const std::string& S, const std::string& target, bool tiffUnconverted,
                               platform::CopyResult result, const TFileFailure& failure) {
  switch (result) {
    case platform::CopyResult::Copied:
      ++FSummary.Copied;
      if (tiffUnconverted) ++FSummary.UnconvertedTiffs;
      break;
    case platform::CopyResult::AlreadyExists:
      ++FSummary.Skipped;
      break;
    case platform::CopyResult::Failed:
      CountFailure(S, failure);
      if (FStopReason.empty() && FailureStopsTheCopy(failure, IncludeTrailingSlash(DestPath()))) {
        FStopReason = failure.Reason;
      }
      return;
  }
  // Copies from a read-only disc are read-only; existing copies are made writable as well.
  platform::ClearFileAttributes(target);
}

void TCopyWorkflow::CountFailure(const std::string& S, const TFileFailure& failure) {
  FSummary.FailedFiles.push_back(S);
  FSummary.FailureReasons.push_back(failure.Reason);
}

bool TCopyWorkflow::CopyOneFile(const std::string& S, const std::string& F, const std::string& T,
                                TJpegNameMap& names, platform::CopyBatch& batch,
                                TFileFailure& failure) {
  const bool asJpeg = FHooks.AsJpeg && FHooks.AsJpeg();
  const size_t dot = ExtensionDot(F);
  const std::string ext = dot != std::string::npos ? platform::UpperAscii(F.substr(dot)) : "";
  const bool isTiff = ext == ".TIF" || ext == ".TIFF";  // the "*.tif" mask finds both
  bool convert = asJpeg && isTiff;
  // A JPEG name that another image of the disc, or an earlier TIFF of this run, has: this
  // TIFF is copied under its own name instead of being lost to the twin.
  if (convert && !names.Claim(S)) {
    convert = false;
    ++FSummary.TiffsKeptForNameTwins;
  }
  // The existence test looks for the name that would be written, so a converted TIFF is
  // not converted again and a ".JPG" the user edited is never replaced.
  std::string target = T;
  if (convert) target = T.substr(0, T.size() - (F.size() - dot)) + ".JPG";
  if (platform::DirectoryExists(target)) {
    failure = TFileFailure{"a folder of that name exists", EISDIR};
    return false;
  }

  if (!platform::FileExists(target)) {
    FFileNameText = F;
    if (FHooks.SetFileNameText) FHooks.SetFileNameText(F);
    const bool loaded = FHooks.LoadImage && FHooks.LoadImage(S);
    ProcessMessages();

    platform::CopyResult result = platform::CopyResult::Failed;
    bool converted = false;
    if (convert && loaded && FHooks.SaveJpeg) {
      std::exception_ptr saveError;
      std::string checkReason;  // why a converted file failed its check
      result = platform::WriteFileNoOverwrite(
          target,
          [&](const std::string& tempPath) {
            try {
              if (!FHooks.SaveJpeg(tempPath)) return false;
            } catch (...) {
              saveError = std::current_exception();
              return false;
            }
            return !FHooks.CheckWritten || FHooks.CheckWritten(tempPath, checkReason);
          },
          &failure.Reason, &failure.Errno);
      if (saveError) std::rethrow_exception(saveError);
      // A conversion that failed its check is a failed file, not a TIFF to copy instead.
      if (!checkReason.empty()) {
        failure = TFileFailure{checkReason, 0};
        return false;
      }
      // A file system that refuses the new file refuses the unchanged copy too.
      if (result == platform::CopyResult::Failed && failure.Errno != 0) return false;
      converted = result != platform::CopyResult::Failed;
      if (result == platform::CopyResult::Copied) ++FSummary.Converted;
    }
    if (!converted) {
      // A TIFF that could not be decoded or encoded is copied as it is rather than written
      // as a JPEG of a partly decoded (or the previous) image.
      // The JPEG name was checked above; the TIFF's own name is checked here.
      if (target != T && platform::DirectoryExists(T)) {
        failure = TFileFailure{"a folder of that name exists", EISDIR};
        return false;
      }
      target = T;
      if (FHooks.CopyFile) {
        // A checked copy is flushed and read back on its own, so it settles at once.
        std::string reason;
        int errnum = 0;
        const platform::CopyResult settled = FHooks.CopyFile(S, target, reason, errnum);
        SettleCopy(S, target, convert, settled, TFileFailure{reason, errnum});
        return true;
      }
      // Counted when the batch settles the copy, which may be now or at a later flush.
      batch.Add(S, target,
                [this, S, target, convert](platform::CopyResult settled, const std::string& reason,
                                           int errnum) {
                  SettleCopy(S, target, convert, settled, TFileFailure{reason, errnum});
                });
      return true;
    }
    if (result == platform::CopyResult::AlreadyExists) ++FSummary.Skipped;
    if (result == platform::CopyResult::Failed) return false;
  } else {
    ++FSummary.Skipped;
  }
  // Copies from a read-only disc are read-only; existing copies are made writable as well.
  platform::ClearFileAttributes(target);
  return true;
}

void TCopyWorkflow::CompletionSteps() {
  SetCaption(kCopyFilesCaption);
  FTag = 0;
  SetControlsEnabled(true);
  SetStatus(1, "");
  const std::string root = IncludeTrailingSlash(DestPath()) + kImagesFolder;
  FSummary.DestinationRoot = root;
  if (FHooks.OpenFolder) FHooks.OpenFolder(root);
  else platform::OpenFolder(root);
  ShowClosingMessage(root);
}

void TCopyWorkflow::ShowClosingMessage(const std::string& root) {
  Message(ClosingMessage(root, FSummary));
}
