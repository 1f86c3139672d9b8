#pragma once
// The toolkit's side of the shell services: type texts and icon names from QMimeDatabase,
// opening through QDesktopServices, the trash through QFile::moveToTrash, the clipboard
// through QClipboard, numbers and dates in the application's QLocale, and delivery of change
// events and job results inside Qt's event loop (QSocketNotifier and queued calls).
//
// Names that are not valid UTF-8 do not survive Qt's file-name decoding; for them the verbs
// fall back to the shell core's own code, which works on the raw bytes, so a verb never acts
// on another file whose name decodes to the same text.

#include <QIcon>
#include <QString>
#include <string>

namespace shellqt {

// Installs the Qt seams and the Qt event pump. Needs a QApplication; calling it again does
// nothing. The shell widgets call it when they are made.
void InstallQtShellServices();

// The icon of a system image list index (shell_icons.h), from the icon theme with the style's
// standard icons as the fallback.
QIcon ShellIcon(int index);
// The emblem of an overlay index; a null icon for none.
QIcon ShellOverlayIcon(int overlayIndex);

// A raw name or path as text for display (bytes that are not UTF-8 become replacement
// characters), and text typed by the user as a raw path.
QString DisplayText(const std::string& raw);
std::string RawPath(const QString& text);

}  // namespace shellqt
