// The copy utility's program: one window, the Qt event loop, no arguments.

#include <QApplication>

#include "app/form3_qt.h"
#include "platform/qt/ui_qt.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(platform::qt::kApplicationTitle));
  TForm3 form;
  platform::qt::InstallQtUiHooks(&form);
  form.show();
  return QApplication::exec();
}
