// The copy utility's program: one window, the Qt event loop; the only arguments are
// --version and --help, answered without opening a window.

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/form3_qt.h"
#include "app/version.h"
#include "platform/qt/ui_qt.h"

namespace {

const char* const kUsage =
    "Usage: vandrel-copy\n"
    "Opens the window of the Vandrel CD to Hard Drive Copy Utility. It finds the photo disc\n"
    "by its volume label (one containing VANDREL or DIGITAL PHOTOS), shows how many images\n"
    "it holds, and on \"Copy Files\" copies them into \"Vandrel Images\" below the chosen\n"
    "destination, keeping the disc's folders and leaving files already there alone.\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the program's version\n"
    "\n"
    "The same copy without a window: vandrel-copy-cli.\n";

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("vandrel-copy " VANDREL_VERSION);
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
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
