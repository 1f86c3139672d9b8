// The navigator's verbs: open, delete (to the trash), rename, copy, cut and paste.

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "shell/nautex.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool Gone(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

}  // namespace

bool TNautex::InvokeVerb(const std::string& Verb) {
  FVerbPaths.clear();
  FLastError = 0;
  std::vector<std::string> names;
  names.swap(FMultiObjects);  // emptied whatever happens
  if (OnContextMenuSelect) {
    bool allowed = true;
    OnContextMenuSelect(this, Verb, allowed);
    if (!allowed) return false;
  }
  if (!FFolderObj) return false;
  // The objects the verb acts on, each by its exact ID list: a name never stands for another
  // file whose name merely decodes to the same text.
  std::vector<TIDList> items;
  if (!names.empty()) {
    for (const std::string& name : names) {
      if (std::optional<TIDList> item = LookUp(name)) items.push_back(std::move(*item));
    }
  } else if (FObject) {
    items.push_back(*FObject);
  }
  const std::string verb = Verb.empty() ? "default" : Lower(Verb);
  const auto pathsOf = [&] {
    std::vector<std::string> paths;
    for (const TIDList& item : items) {
      if (std::optional<std::string> p = PathOf(item)) paths.push_back(*p);
    }
    return paths;
  };

  bool ok = false;
  if (verb == "default" || verb == "open") {
    const std::vector<std::string> paths = pathsOf();
    ok = !paths.empty() && paths.size() == items.size();
    for (const std::string& p : paths) ok = shell::Open(p) && ok;
    FVerbPaths = paths;
  } else if (verb == "delete") {
    const bool single = items.size() == 1 && names.empty();
    if (items.empty() || (single && !GetAttributes(SFGAO_CANDELETE))) {
      FLastError = EPERM;
      return false;
    }
    ok = true;
    for (const TIDList& item : items) {
      const std::optional<std::string> p = PathOf(item);
      if (!p || !(FFolderObj->GetAttributesOf(item, SFGAO_CANDELETE))) {
        ok = false;
        continue;
      }
      shell::MoveToTrash(*p);
      // Only what is really gone counts as deleted.
      if (Gone(*p)) {
        FVerbPaths.push_back(*p);
      } else {
        ok = false;
      }
    }
    if (!FVerbPaths.empty()) FFolderObj->ForgetCache();
  } else if (verb == "rename") {
    ok = static_cast<bool>(OnRename);
    if (ok) OnRename(this);
  } else if (verb == "copy" || verb == "cut") {
    FVerbPaths = pathsOf();
    ok = !FVerbPaths.empty();
    if (ok) shell::PlaceOnClipboard(FVerbPaths, verb == "cut");
  } else if (verb == "paste") {
    // Into the object when it is a folder, else into the current folder.
    std::string target = FFolder;
    if (items.size() == 1 && FFolderObj->GetAttributesOf(items[0], SFGAO_FOLDER)) {
      target = PathOf(items[0]).value_or(std::string());
    }
    if (target.empty()) {
      FLastError = EPERM;
      return false;
    }
    FLastPaste = shell::PasteClipboard(target);
    FVerbPaths = FLastPaste.Sources;
    ok = FLastPaste.HadFileList && FLastPaste.Ok;
    FFolderObj->ForgetCache();
  }
  if (!ok && FLastError == 0) FLastError = errno != 0 ? errno : EPERM;
  if (ok) FLastError = 0;
  return ok;
}

std::string TNautex::RenameObject(const std::string& NewName, bool* Ok) {
  bool renamed = false;
  FLastError = 0;
  if (FObject && FFolderObj) {
    int error = 0;
    if (std::optional<TIDList> item = FFolderObj->SetNameOf(*FObject, NewName, error)) {
      SetObjectIDList(&*item);
      renamed = true;
    } else {
      FLastError = error;
    }
  }
  if (Ok) *Ok = renamed;
  return DisplayName();
}

std::vector<std::string> TNautex::ContextMenuVerbs() {
  if (!FFolderObj || (!FObject && FMultiObjects.empty())) return {};
  const bool several = !FMultiObjects.empty();
  const uint32_t a = several ? SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANDELETE
                             : GetAttributes(SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANDELETE |
                                             SFGAO_CANRENAME | SFGAO_FOLDER | SFGAO_FILESYSTEM |
                                             SFGAO_DROPTARGET);
  std::vector<std::string> verbs;
  if (several || !ObjectPath().empty()) verbs.push_back("open");
  if (a & SFGAO_CANMOVE) verbs.push_back("cut");
  if (a & SFGAO_CANCOPY) verbs.push_back("copy");
  if (!several && (a & SFGAO_DROPTARGET)) verbs.push_back("paste");
  if (a & SFGAO_CANDELETE) verbs.push_back("delete");
  if (!several && (a & SFGAO_CANRENAME) && OnRename) verbs.push_back("rename");
  return verbs;
}

std::string TNautex::RunContextMenuVerb(const std::string& Verb) {
  const std::string verb = Lower(Verb);
  bool allowed = true;
  if (OnContextMenuSelect) {
    OnContextMenuSelect(this, Verb, allowed);
  } else if (FReadOnly) {
    allowed = verb != "delete" && verb != "cut" && verb != "paste";
  }
  if (!allowed) {
    FMultiObjects.clear();
    return {};
  }
  if (verb == "rename" && OnRename) {
    FMultiObjects.clear();
    OnRename(this);
    return Verb;
  }
  // The menu's own decision is made; InvokeVerb must not ask again.
  auto select = std::move(OnContextMenuSelect);
  OnContextMenuSelect = nullptr;
  const bool ok = InvokeVerb(Verb);
  OnContextMenuSelect = std::move(select);
  if (!ok) return {};
  return Verb;
}
