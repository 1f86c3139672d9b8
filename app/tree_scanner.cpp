// The directory tree scanner's walk.

#include "app/tree_scanner.h"

#include <climits>
#include <cstdlib>

#include "app/comma_text.h"
#include "platform/ui.h"

namespace {

int32_t Increment(int32_t v) {
  return static_cast<int32_t>(static_cast<uint32_t>(v) + 1u);
}

// The path with every link resolved, ending with '/' for a folder; empty when it cannot be
// resolved (missing, a dangling link, no access).
std::string Resolved(const std::string& path, bool folder) {
  char buf[PATH_MAX];
  if (!::realpath(path.c_str(), buf)) return std::string();
  std::string out(buf);
  if (folder && out.back() != '/') out += '/';
  return out;
}

}  // namespace

TTreeScanner::TTreeScanner(TComponent* Owner) : TComponent(Owner) {}

TTreeScanner::~TTreeScanner() = default;

std::string TTreeScanner::FileMask() const {
  return FMasks.Empty() ? std::string() : FMasks[0];
}

void TTreeScanner::SetFileMask(const std::string& value) {
  if (SearchInProgress()) return;
  FMasks.Clear();
  FMasks.Add(value);
}

std::string TTreeScanner::FileMaskCommaText() const { return JoinCommaText(FMasks.ToVector()); }

void TTreeScanner::SetFileMaskCommaText(const std::string& value) {
  if (SearchInProgress()) return;
  FMasks.Clear();
  for (const std::string& mask : SplitCommaText(value)) FMasks.Add(mask);
}

std::string TTreeScanner::NormalizeFolder(const std::string& path) {
  std::string p = path;
  if (p.empty() || p.back() != '/') p += '/';
  // The directory part: up to the last '/', which is dropped unless it is the root or
  // follows another '/'.
  size_t last = p.rfind('/');
  if (last == 0 || p[last - 1] == '/') {
    p.resize(last + 1);
  } else {
    p.resize(last);
  }
  if (p.back() != '/') p += '/';
  return p;
}

void TTreeScanner::Fire(const TNotifyEvent& event) {
  if (event) event(this);
}

void TTreeScanner::Search() {
  // SearchInProgress drops back even when a handler throws out of the walk.
  struct DepthGuard {
    int& Depth;
    explicit DepthGuard(int& d) : Depth(d) { ++Depth; }
    ~DepthGuard() { --Depth; }
  };
  {
    DepthGuard guard(FSearchDepth);
    FFileFound.clear();
    FFileSize = 0;
    FFilesFoundCount = 0;
    FDirectoriesFoundCount = 0;
    if (FInitialDirectory.empty()) {
      FInitialDirectory = platform::GetCurrentDir();
      // A current directory that has no path any more (it was removed) is searched by
      // its relative name rather than letting an empty text become the root folder.
      if (FInitialDirectory.empty()) FInitialDirectory = "./";
    }
    FInitialDirectory = NormalizeFolder(FInitialDirectory);
    TWalk walk;
    for (const std::string& excluded : FExcludedFolders) {
      if (std::optional<platform::FileId> id = platform::GetFileId(excluded)) walk.Visited.insert(*id);
    }
    const std::string start = FInitialDirectory;  // handlers may change the property
    walk.Root = Resolved(start, true);
    ScanDirectory(start, walk);
  }
  Fire(OnSearchDone);
}

bool TTreeScanner::Visited(const TVisited& visited, const std::string& folder) const {
  const std::optional<platform::FileId> id = platform::GetFileId(folder);
  return id && visited.count(*id) != 0;
}

bool TTreeScanner::LinkInside(const TWalk& walk, const std::string& path) {
  if (walk.Root.empty()) return false;
  const std::string target = Resolved(path, false);
  if (target.empty()) return false;
  return target.compare(0, walk.Root.size(), walk.Root) == 0 ||
         target + '/' == walk.Root;  // a link to the start folder itself (a cycle, cut below)
}

void TTreeScanner::ScanDirectory(const std::string& folder, TWalk& walk) {
  TVisited& visited = walk.Visited;
  platform::ProcessMessages();
  FFileSize = 0;
  FFileFound = folder;
  Fire(OnDirectoryFound);
  FDirectoriesFoundCount = Increment(FDirectoriesFoundCount);

  // Remember this folder, so that neither a link back up nor a second link to it is followed.
  if (std::optional<platform::FileId> self = platform::GetFileId(folder)) visited.insert(*self);

  // Names that differ only in case are different entries on this platform, so both lists
  // drop exact duplicates only (a file matched by several masks is listed once).
  std::vector<platform::FindEntry> entries;
  TSortedStringList folders(TSortedStringList::TDuplicateMode::dmExact);
  if (FRecursive && platform::FindFiles(folder + "*.*", entries)) {
    const bool hidden = FFindHiddenFolders;
    for (const platform::FindEntry& e : entries) {
      if (!(e.Attr & platform::faDirectory) || e.Name == "." || e.Name == "..") continue;
      if (e.Attr & (platform::faSystem | platform::faVolume)) continue;
      if ((e.Attr & platform::faHidden) && !hidden) continue;
      std::string path = folder + e.Name + "/";
      if (e.Link && !LinkInside(walk, path)) continue;
      // A folder this search has entered already (a link to an ancestor, or a second link
      // to one folder) is skipped altogether: it is neither entered nor reported, so links
      // can make the walk neither endless nor exponentially long.
      if (Visited(visited, path)) continue;
      folders.Add(path);
    }
  }

  {
    TSortedStringList files(TSortedStringList::TDuplicateMode::dmExact);
    const bool hidden = FFindHiddenFiles;
    const std::vector<std::string> masks = FMasks.ToVector();
    for (const std::string& mask : masks) {
      // A mask naming another folder would list entries that are not in this one.
      if (mask.find('/') != std::string::npos) continue;
      if (!platform::FindFiles(folder + mask, entries)) continue;
      for (const platform::FindEntry& e : entries) {
        if (e.Attr & (platform::faDirectory | platform::faVolume)) continue;
        if ((e.Attr & platform::faHidden) && !hidden) continue;
        // A link to a file outside the tree is not reported, so it is never read.
        if (e.Link && !LinkInside(walk, folder + e.Name)) continue;
        files.Add(folder + e.Name, e.Size);
      }
    }
    for (int i = 0; i < files.Count(); ++i) {
      FFileFound = files[i];
      FFileSize = static_cast<int32_t>(static_cast<uint32_t>(files.Data(i)));
      Fire(OnFileFound);
      FFilesFoundCount = Increment(FFilesFoundCount);
    }
  }
  FFileSize = 0;

  for (int i = 0; i < folders.Count(); ++i) {
    // Two links here to one folder: the first one entered it.
    if (Visited(visited, folders[i])) continue;
    if (FRecursive) {
      ScanDirectory(folders[i], walk);
    } else {
      FFileFound = folders[i];
      Fire(OnDirectoryFound);
    }
  }
  Fire(OnDirectoryDone);
}
