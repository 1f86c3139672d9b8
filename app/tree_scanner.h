#pragma once
// A non-visual component that walks a directory tree from a start folder, depth first, and
// reports every folder it enters and every file in it that matches one of its masks.
// Within a folder the files are reported in sorted order before the subfolders are entered,
// in sorted order too. Runs on the caller's thread and services the message queue once for
// every folder entered, so event handlers may run nested user-interface work.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "app/sorted_string_list.h"
#include "platform/fs.h"
#include "platform/object.h"

class TTreeScanner : public TComponent {
 public:
  explicit TTreeScanner(TComponent* Owner = nullptr);
  ~TTreeScanner() override;
  TTreeScanner(const TTreeScanner&) = delete;
  TTreeScanner& operator=(const TTreeScanner&) = delete;

  TNotifyEvent OnDirectoryFound;  // a folder entered (or, with Recursive off, passed over)
  TNotifyEvent OnDirectoryDone;   // a folder and everything below it is finished
  TNotifyEvent OnSearchDone;      // a search ended normally
  TNotifyEvent OnFileFound;       // a matching file

  // The folder (ending with '/') or file being reported.
  const std::string& FileFound() const { return FFileFound; }
  // Size of the file being reported, low 32 bits; 0 outside OnFileFound.
  int32_t FileSize() const { return FFileSize; }
  // True while Search runs (including a Search nested in a handler of another).
  bool SearchInProgress() const { return FSearchDepth > 0; }

  const std::string& InitialDirectory() const { return FInitialDirectory; }
  void SetInitialDirectory(const std::string& value) { FInitialDirectory = value; }

  // The first mask of the list; writing replaces the list by that one mask. Writes are
  // ignored while a search runs.
  std::string FileMask() const;
  void SetFileMask(const std::string& value);
  // The whole mask list as comma text. Writes are ignored while a search runs.
  std::string FileMaskCommaText() const;
  void SetFileMaskCommaText(const std::string& value);

  bool Recursive() const { return FRecursive; }
  void SetRecursive(bool value) { FRecursive = value; }
  bool FindHiddenFiles() const { return FFindHiddenFiles; }
  void SetFindHiddenFiles(bool value) { FFindHiddenFiles = value; }
  bool FindHiddenFolders() const { return FFindHiddenFolders; }
  void SetFindHiddenFolders(bool value) { FFindHiddenFolders = value; }

  int32_t FilesFoundCount() const { return FFilesFoundCount; }
  void SetFilesFoundCount(int32_t value) { FFilesFoundCount = value; }
  int32_t DirectoriesFoundCount() const { return FDirectoriesFoundCount; }
  void SetDirectoriesFoundCount(int32_t value) { FDirectoriesFoundCount = value; }

  // Folders that searches never enter nor report, wherever they lie (recognised by device
  // and inode, so any path to them counts): for example the copies being made of the tree.
  void SetExcludedFolders(std::vector<std::string> folders) { FExcludedFolders = std::move(folders); }

  // Runs one complete search from InitialDirectory and returns when it is finished.
  // Symbolic links are followed only to files and folders inside the start folder (after
  // resolving every link), so a tree can never lead the search elsewhere. An
  // exception from a handler abandons the search and propagates; OnSearchDone is then not
  // fired, but SearchInProgress is back to its previous state.
  void Search();

  // Normalises a start folder so that it ends with exactly one '/': "/a/b" and "/a/b/"
  // give "/a/b/", "/" stays "/".
  static std::string NormalizeFolder(const std::string& path);

 private:
  // The folders this search has entered (device and inode), so that one reached again
  // through a link is not walked again.
  struct TIdLess {
    bool operator()(const platform::FileId& a, const platform::FileId& b) const {
      return a.Device != b.Device ? a.Device < b.Device : a.Inode < b.Inode;
    }
  };
  using TVisited = std::set<platform::FileId, TIdLess>;
  struct TWalk {
    TVisited Visited;
    std::string Root;  // the start folder with every link resolved, ending with '/'
  };
  bool Visited(const TVisited& visited, const std::string& folder) const;
  // Whether an entry that is a link resolves to a place inside the walk's root.
  static bool LinkInside(const TWalk& walk, const std::string& path);
  void ScanDirectory(const std::string& folder, TWalk& walk);
  void Fire(const TNotifyEvent& event);

  std::string FFileFound;
  int32_t FFileSize = 0;
  int FSearchDepth = 0;
  std::string FInitialDirectory;
  TSortedStringList FMasks{TSortedStringList::TDuplicateMode::dmIgnoreCase};
  bool FRecursive = true;
  bool FFindHiddenFiles = false;
  bool FFindHiddenFolders = false;
  int32_t FFilesFoundCount = 0;
  int32_t FDirectoriesFoundCount = 0;
  std::vector<std::string> FExcludedFolders;
};
