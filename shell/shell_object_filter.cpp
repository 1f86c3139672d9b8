#include "shell/shell_object_filter.h"

#include "platform/fs.h"
#include "shell/nautex.h"

bool PassesObjectFilter(TNautex& Nav, uint32_t Options) {
  const bool hidden = Nav.IsHidden();
  if (!(Options & soShowHidden) && hidden) return false;
  const TOrvikShellFolder special = Nav.ObjectSpecialFolder();
  if (!(Options & soShowNethood) && (special == SF_NETHOOD || special == SF_NETWORK)) {
    return false;
  }
  if (!(Options & soShowRecycleBin)) {
    if (special == SF_BITBUCKET) return false;
    if (hidden && platform::UpperAscii(Nav.ObjectName()).rfind("RECYCL", 0) == 0) return false;
  }
  return (Options & soShowFiles) || Nav.IsFolder();
}
