// The copy utility's program: one window, the Qt event loop; the only arguments are
// --version and --help, answered without opening a window.

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/form3_qt.h"
#include "app/version.h"
#include "platform/qt/ui_qt.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("vandrel-copy " VANDREL_VERSION);
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0) {
      std::puts("Usage: vandrel-copy\nCopies the images of a Vandrel photo disc to the hard drive.");
      return 0;
    }
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(platform::qt::kApplicationTitle));
  QApplication::setApplicationVersion(QStringLiteral(VANDREL_VERSION));
  TForm3 form;
  platform::qt::InstallQtUiHooks(&form);
  form.show();
  return QApplication::exec();
}
