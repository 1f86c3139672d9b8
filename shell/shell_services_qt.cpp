#include "shell/shell_services_qt.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDesktopServices>
#include <QFile>
#include <QLocale>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPointer>
#include <QSocketNotifier>
#include <QStyle>
#include <QUrl>
#include <map>
#include <memory>

#include "shell/shell_event_pump.h"
#include "shell/shell_icons.h"
#include "shell/shell_services.h"
#include "shell/shell_trash.h"

namespace shellqt {
namespace {

// True when Qt's file-name decoding gives back exactly these bytes.
bool RoundTrips(const std::string& path) {
  const QString decoded = QFile::decodeName(path.c_str());
  return QFile::encodeName(decoded).toStdString() == path;
}

class TQtFormatter : public TShellFormatter {
 public:
  std::string FormatNumber(uint64_t value) const override {
    return QLocale().toString(static_cast<qulonglong>(value)).toStdString();
  }
  std::string FormatDateTime(int64_t unixSeconds) const override {
    const QDateTime t = QDateTime::fromSecsSinceEpoch(unixSeconds);
    return QLocale().toString(t, QLocale::ShortFormat).toStdString();
  }
};

// Runs the shell's descriptor watches and posted calls in Qt's event loop.
class TQtEventPump : public TShellEventPump {
 public:
  int WatchFd(int fd, TWatchKind kind, std::function<void()> callback) override {
    auto* notifier = new QSocketNotifier(
        fd, kind == TWatchKind::Read ? QSocketNotifier::Read : QSocketNotifier::Exception);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [callback = std::move(callback)] { callback(); });
    const int handle = FNextHandle++;
    FNotifiers[handle] = notifier;
    return handle;
  }
  void UnwatchFd(int handle) override {
    auto it = FNotifiers.find(handle);
    if (it == FNotifiers.end()) return;
    if (it->second) it->second->deleteLater();
    FNotifiers.erase(it);
  }
  void Post(std::function<void()> fn) override {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
  }

 private:
  std::map<int, QPointer<QSocketNotifier>> FNotifiers;
  int FNextHandle = 1;
};

}  // namespace

void InstallQtShellServices() {
  static bool installed = false;
  if (installed || !QCoreApplication::instance()) return;
  installed = true;
  TShellHooks hooks;
  hooks.TypeName = [](const std::string& name, bool folder) {
    static const QMimeDatabase db;
    const QMimeType type = folder ? db.mimeTypeForName("inode/directory")
                                  : db.mimeTypeForFile(QFile::decodeName(name.c_str()),
                                                       QMimeDatabase::MatchExtension);
    return type.comment().toStdString();
  };
  hooks.FileIconName = [](const std::string& name) {
    static const QMimeDatabase db;
    const QMimeType type =
        db.mimeTypeForFile(QFile::decodeName(name.c_str()), QMimeDatabase::MatchExtension);
    return type.iconName().toStdString();
  };
  hooks.Open = [](const std::string& path) {
    // The exact bytes go to the desktop's opener when a decoded name would differ.
    if (!RoundTrips(path)) return shell::OpenWithXdg(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(path.c_str())));
  };
  hooks.MoveToTrash = [](const std::string& path) {
    if (!RoundTrips(path)) return shell::MoveToTrashOwn(path);
    return QFile::moveToTrash(QFile::decodeName(path.c_str()));
  };
  hooks.SetClipboard = [](const std::vector<std::pair<std::string, std::string>>& formats) {
    auto* mime = new QMimeData;
    for (const auto& [type, bytes] : formats) {
      mime->setData(QString::fromStdString(type), QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }
    QGuiApplication::clipboard()->setMimeData(mime);
  };
  hooks.ClipboardData = [](const std::string& type) -> std::optional<std::string> {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    const QString name = QString::fromStdString(type);
    if (!mime || !mime->hasFormat(name)) return std::nullopt;
    return mime->data(name).toStdString();
  };
  hooks.Formatter = std::make_shared<TQtFormatter>();
  SetShellHooks(std::move(hooks));
  SetShellEventPump(std::make_shared<TQtEventPump>());
}

QIcon ShellIcon(int index) {
  const QStyle* style = QApplication::style();
  const auto themed = [&](const char* name, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QString::fromLatin1(name), style->standardIcon(fallback));
  };
  switch (index) {
    case iiFolder: return themed("folder", QStyle::SP_DirClosedIcon);
    case iiFolderOpen: return themed("folder-open", QStyle::SP_DirOpenIcon);
    case iiFile: return themed("text-x-generic", QStyle::SP_FileIcon);
    case iiDrive: return themed("drive-harddisk", QStyle::SP_DriveHDIcon);
    case iiRemovableDrive: return themed("drive-removable-media", QStyle::SP_DriveCDIcon);
    case iiComputer: return themed("computer", QStyle::SP_ComputerIcon);
    case iiHome: return themed("user-home", QStyle::SP_DirHomeIcon);
    case iiDesktop: return themed("user-desktop", QStyle::SP_DesktopIcon);
    case iiTrash: return themed("user-trash", QStyle::SP_TrashIcon);
    case iiTrashFull: return themed("user-trash-full", QStyle::SP_TrashIcon);
    case iiTemporaryFolder: return themed("folder-temp", QStyle::SP_FileDialogToParent);
    default: break;
  }
  const std::string key = shell::ShellIconKey(index);
  if (key.empty()) return ShellIcon(iiFile);
  return QIcon::fromTheme(QString::fromStdString(key), ShellIcon(iiFile));
}

QIcon ShellOverlayIcon(int overlayIndex) {
  if (overlayIndex == oiLink) return QIcon::fromTheme("emblem-symbolic-link");
  if (overlayIndex == oiShare) return QIcon::fromTheme("emblem-shared");
  return {};
}

QString DisplayText(const std::string& raw) { return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size())); }

std::string RawPath(const QString& text) { return QFile::encodeName(text).toStdString(); }

}  // namespace shellqt
