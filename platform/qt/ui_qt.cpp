#include "platform/qt/ui_qt.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

#include "platform/ui.h"

namespace platform::qt {

const char* const kApplicationTitle = "Vandrel CD to Hard Drive Copy Utility";

void InstallQtUiHooks(QWidget* mainWindow) {
  QPointer<QWidget> owner(mainWindow);
  UiHooks hooks;
  hooks.ProcessMessages = [] { QCoreApplication::processEvents(); };
  hooks.ShowMessage = [owner](const std::string& text) {
    QMessageBox::information(owner.data(), QString::fromUtf8(kApplicationTitle),
                             QString::fromStdString(text));
  };
  hooks.OpenFolder = [](const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
  };
  SetUiHooks(std::move(hooks));
}

void ShowException(const std::exception& e) {
  const char* what = e.what();
  ShowMessage(what && *what ? std::string(what) : std::string("An unknown error occurred."));
}

void ShowUnknownException() { ShowMessage("An unknown error occurred."); }

bool GuardedCall(const std::function<void()>& body) {
  try {
    body();
    return true;
  } catch (const std::exception& e) {
    ShowException(e);
  } catch (...) {
    ShowUnknownException();
  }
  return false;
}

}  // namespace platform::qt
