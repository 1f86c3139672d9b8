#include "shell/nautex.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>

#include "platform/drives.h"
#include "shell/shell_icons.h"

namespace {

bool IsDriveRootPath(const std::string& name) {
  const std::string norm = shell::NormalizePath(name);
  if (norm.empty()) return false;
  if (norm == "/") return true;
  const std::string root = shell::WithSlash(norm);
  for (const std::string& r : platform::Drives().RootPaths()) {
    if (r == root) return true;
  }
  return false;
}

}  // namespace

TNautex::TNautex(TComponent* Owner) : TComponent(Owner) { SetFolder(""); }

TNautex::~TNautex() = default;

void TNautex::ThrowPathNotFound(const std::string& path) const {
  throw ENautexError(std::error_code(ENOENT, std::generic_category()).message() + "\n" + path);
}

void TNautex::SetFolder(const std::string& Value) {
  const std::string norm = shell::NormalizePath(Value);
  if (!Value.empty() && norm.empty()) ThrowPathNotFound(Value);  // relative
  const std::string target = shell::WithSlash(norm);
  if (!target.empty() && target == FFolder && FFolderObj) return;
  const std::optional<TIDList> list = shell::ParseDisplayName(norm);
  if (!list) ThrowPathNotFound(Value);
  SetFolderIDList(&*list);
}

void TNautex::SetFolderIDList(const TIDList* List) {
  if (!List) {
    FFolderIDList.reset();
    FFolderObj.reset();
    FFolder.clear();
    FEnum.reset();
    SetObjectIDList(nullptr);
    return;
  }
  // Bind first, so that a list that names no folder leaves everything as it was.
  std::unique_ptr<TShellFolder> folder = TShellFolder::Bind(*List);
  if (!folder) throw ENautexError("Nautex.SetFolderIDList: Desktop.BindToObject: Could not get Folder");
  FFolderObj = std::move(folder);
  FFolderIDList = *List;
  FEnum.reset();
  SetObjectIDList(nullptr);
  FFolder = shell::WithSlash(FFolderObj->Path());
}

void TNautex::SetObjectIDList(const TIDList* List) {
  if (List) {
    FObject = *List;
  } else {
    FObject.reset();
  }
  FAbsolute.reset();
}

TIDList TNautex::AbsoluteIDList() {
  if (!FAbsolute) {
    const TIDList folder = FFolderIDList.value_or(TIDList());
    FAbsolute = FObject ? folder.Join(*FObject) : folder;
  }
  return *FAbsolute;
}

void TNautex::SetAbsoluteIDList(const TIDList& List) {
  if (List.Count() == 0) {
    SetFolderIDList(&List);
    return;
  }
  const TIDList parent = List.Parent();
  SetFolderIDList(&parent);
  const TIDList last = List.Last();
  SetObjectIDList(&last);
}

void TNautex::OpenParent() {
  if (!FFolderIDList || FFolderIDList->Count() == 0) return;
  const TIDList former = *FFolderIDList;
  const TIDList parent = former.Parent();
  SetFolderIDList(&parent);
  const TIDList last = former.Last();
  SetObjectIDList(&last);
}

bool TNautex::OpenObject() {
  if (FObject && GetAttributes(SFGAO_FOLDER)) {
    const TIDList target = AbsoluteIDList();
    try {
      SetFolderIDList(&target);
    } catch (const ENautexError&) {
    }
  }
  return FFolderObj != nullptr;
}

bool TNautex::PassesFilters() {
  const uint32_t attrs =
      GetAttributes(SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR | SFGAO_FOLDER);
  if (FFileSystemOnly && !(attrs & (SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR))) {
    // The trash stays, so that its entry can still be offered.
    const TShellItemKind kind = FObject->Item(0).Kind;
    if (kind != TShellItemKind::Trash && kind != TShellItemKind::Computer) return false;
  }
  if (attrs & SFGAO_FOLDER) return true;
  return FMasks.Matches(ObjectName());
}

bool TNautex::NextObject() {
  if (!FFolderObj) return false;
  if (!FEnum) {
    FEnum = FFolderObj->EnumObjects();
    if (!FEnum) return false;
  }
  bool retried = false;
  while (true) {
    TIDList item;
    const TShellEnum::TResult r = FEnum->Next(item);
    if (r == TShellEnum::End || (r == TShellEnum::Error && retried)) {
      FEnum.reset();
      return false;
    }
    if (r == TShellEnum::Error) {
      retried = true;  // one more read is tried after a failed one
      continue;
    }
    retried = false;
    SetObjectIDList(&item);
    // An object from a retried read is filtered like any other.
    if (PassesFilters()) return true;
  }
}

std::optional<std::string> TNautex::PathOf(const TIDList& item) const {
  if (!FFolderObj) return std::nullopt;
  return shell::PathFromIDList(FFolderIDList->Join(item), FFolderObj->Places());
}

std::string TNautex::ObjectNameOf(const TIDList& item) {
  if (item.Count() == 0) return {};
  const TShellItem last = item.LastItem();
  switch (last.Kind) {
    case TShellItemKind::Folder:
    case TShellItemKind::File:
      return last.Name;
    case TShellItemKind::Drive:
      return last.Name;  // a drive root is named by its path
    case TShellItemKind::TrashEntry:
      return FFolderObj ? FFolderObj->GetDisplayNameOf(item, TShellNameForm::Normal) : "";
    default: {
      const std::optional<std::string> path = PathOf(item);
      if (!path || *path == "/") return path.value_or(std::string());
      return path->substr(path->rfind('/') + 1);
    }
  }
}

std::string TNautex::ObjectName() { return FObject ? ObjectNameOf(*FObject) : std::string(); }

std::optional<TIDList> TNautex::LookUp(const std::string& name) {
  if (!FFolderObj) return std::nullopt;
  if (std::optional<TIDList> item = FFolderObj->ParseDisplayName(name)) return item;
  std::unique_ptr<TShellEnum> e = FFolderObj->EnumObjects();
  if (!e) return std::nullopt;
  TIDList item;
  for (TShellEnum::TResult r; (r = e->Next(item)) != TShellEnum::End;) {
    if (r != TShellEnum::Ok) continue;
    if (FFolderObj->GetDisplayNameOf(item, TShellNameForm::Normal) == name ||
        ObjectNameOf(item) == name) {
      return item;
    }
  }
  return std::nullopt;
}

void TNautex::SetObjectName(const std::string& Name) {
  if (Name.empty()) {
    SetObjectIDList(nullptr);
    return;
  }
  if (IsDriveRootPath(Name)) {
    SetFolder(Name);
    OpenParent();
    return;
  }
  std::string name = Name;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  const size_t slash = name.rfind('/');
  if (slash != std::string::npos) {
    SetFolder(slash == 0 ? "/" : name.substr(0, slash));
    name = name.substr(slash + 1);
  }
  std::optional<TIDList> item = LookUp(name);
  if (!item) {
    throw ENautexError("Error! Cannot find Object \"" + name + "\" in Folder \"" + FFolder + "\"");
  }
  SetObjectIDList(&*item);
}

TOrvikShellFolder TNautex::SpecialFolder() const {
  if (!FFolderIDList) return SF_FILESYSTEMFOLDER;
  return shell::SpecialFolderOf(*FFolderIDList, FFolderObj->Places());
}

void TNautex::SetSpecialFolder(TOrvikShellFolder Value) {
  const std::optional<TIDList> list = shell::SpecialFolderLocation(Value, TShellPlaces::Current());
  if (!list) return;
  try {
    SetFolderIDList(&*list);
  } catch (const ENautexError&) {
  }
}

std::string TNautex::DisplayName() {
  if (!FFolderObj) return {};
  if (!FObject) return shell::DisplayNameOf(*FFolderIDList);  // the folder's own name
  std::string name = FFolderObj->GetDisplayNameOf(*FObject, TShellNameForm::Normal);
  return name.empty() ? ObjectName() : name;
}

std::string TNautex::ObjectPath() {
  if (!FFolderObj) return {};
  return PathOf(FObject.value_or(TIDList())).value_or(std::string());
}

uint32_t TNautex::GetAttributes(uint32_t Mask) {
  if (!FObject || !FFolderObj) return 0;
  return FFolderObj->GetAttributesOf(*FObject, Mask);
}

bool TNautex::IsFolder() {
  if (!GetAttributes(SFGAO_FOLDER)) return false;
  return !FFileSystemOnly || GetAttributes(SFGAO_FILESYSANCESTOR) != 0;
}

std::string TNautex::LinkTarget() {
  if (!IsLink()) return {};
  const std::string path = ObjectPath();
  char resolved[PATH_MAX];
  if (path.empty() || !::realpath(path.c_str(), resolved)) return {};
  struct stat st;
  if (::stat(resolved, &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  return resolved;
}

TOrvikShellFolder TNautex::ObjectSpecialFolder() {
  if (!FFolderObj) return SF_FILESYSTEMFOLDER;
  return shell::SpecialFolderOf(AbsoluteIDList(), FFolderObj->Places());
}

int TNautex::IconIndex(bool open) {
  if (!FFolderObj) return iiFolder;
  if (FObject) return FFolderObj->IconIndex(*FObject, open);
  const TIDList folder = *FFolderIDList;
  if (folder.Count() == 0) return iiDesktop;
  std::unique_ptr<TShellFolder> parent = TShellFolder::Bind(folder.Parent(), FFolderObj->Places());
  return parent ? parent->IconIndex(folder.Last(), open) : iiFolder;
}

int TNautex::OverlayIndex() {
  if (!FObject || !FFolderObj) return oiNone;
  return FFolderObj->OverlayIndex(*FObject);
}

std::string TNautex::DetailText(int Column, bool Header) {
  if (!FFolderObj) return {};
  if (Header) return FFolderObj->GetDetailsOf(nullptr, Column).Text;
  if (!FObject) return {};
  if (Column == 0) return DisplayName();
  return FFolderObj->GetDetailsOf(&*FObject, Column).Text;
}

TColumnInfo TNautex::ColumnInfo(int Column) {
  if (!FFolderObj) return {};
  const TShellDetails d = FFolderObj->GetDetailsOf(nullptr, Column);
  return {d.Align, d.Width};
}

const TFindData* TNautex::FindData() {
  if (!FObject || !FFolderObj) return nullptr;
  return FFolderObj->FindData(*FObject);
}

int64_t TNautex::ModifiedTime() {
  const TFindData* fd = FindData();
  return fd ? fd->ModifiedTime : 0;
}

int TNautex::CompareIDs(int Column, const TIDList& A, const TIDList& B) {
  if (!FFolderObj) return 0;
  return FFolderObj->CompareIDs(Column, A, B);
}

std::string TNautex::InfoTip() {
  if (!FObject) return {};
  std::string tip;
  const std::pair<const char*, int> parts[] = {{"Type: ", 2}, {"Size: ", 1}, {"Changed: ", 3}};
  for (const auto& [label, column] : parts) {
    const std::string text = DetailText(column, false);
    if (text.empty()) continue;
    if (!tip.empty()) tip += '\n';
    tip += label + text;
  }
  return tip;
}
