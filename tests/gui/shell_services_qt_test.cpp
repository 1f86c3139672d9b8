// The toolkit's side of the shell services: locale formatting, type texts, the clipboard,
// the trash for names Qt cannot decode, and change events delivered in Qt's event loop.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QMimeDatabase>
#include <filesystem>
#include <fstream>

#include "gui_test_support.h"
#include "shell/orvik_shell_change_notifier.h"
#include "shell/shell_folder.h"
#include "shell/shell_services_qt.h"
#include "shell/shell_verbs.h"

using guitest::Environment;
using guitest::TempDir;

namespace {

bool Spin(const std::function<bool()>& done) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < 3000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

}  // namespace

TEST(ShellServicesQt, LocaleTypeTextsAndClipboard) {
  shellqt::InstallQtShellServices();
  const QLocale old;
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(shell::SizeText(5ull << 30), "5,242,880 KB");
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(shell::SizeText(5ull << 30), "5.242.880 KB");
  QLocale::setDefault(old);
  const QMimeDatabase db;
  EXPECT_EQ(shell::TypeName("a.jpg", false),
            db.mimeTypeForFile("a.jpg", QMimeDatabase::MatchExtension).comment().toStdString());
  EXPECT_FALSE(shell::TypeName("sub", true).empty());
  // The clipboard carries raw bytes and the cut mark.
  const std::vector<std::string> paths = {std::string("/tmp/\xff odd.jpg"), "/tmp/b.jpg"};
  shell::PlaceOnClipboard(paths, true);
  std::vector<std::string> back;
  bool cut = false;
  ASSERT_TRUE(shell::ClipboardFiles(back, cut));
  EXPECT_EQ(back, paths);
  EXPECT_TRUE(cut);
}

TEST(ShellServicesQt, TrashAndChangeEventsInTheEventLoop) {
  shellqt::InstallQtShellServices();
  TempDir dir;
  Environment env({{dir.Str() + "/", "DATA"}});
  const std::string odd = dir.Write(std::string("a\xff.jpg"), "odd");
  const std::string plain = dir.Write("plain.jpg", "plain");
  const std::string twin = dir.Write(std::string("a\xfe.jpg"), "twin");
  // A name Qt cannot decode goes to the trash by its own bytes; its twin stays.
  EXPECT_TRUE(shell::MoveToTrash(odd));
  EXPECT_FALSE(std::filesystem::exists(odd));
  EXPECT_TRUE(std::filesystem::exists(twin));
  EXPECT_TRUE(shell::MoveToTrash(plain));
  EXPECT_FALSE(std::filesystem::exists(plain));

  TOrvikShellChangeNotifier n;
  std::vector<std::string> seen;
  n.OnChange = [&](TObject*, TNotificationEvent e, const std::string& p1, const std::string&) {
    if (e == neFileCreate) seen.push_back(p1);
  };
  n.SetRecursive(false);
  n.SetDirectories({dir.Str()});
  std::ofstream(dir.Str() + "/new.jpg") << "x";
  ASSERT_TRUE(Spin([&] { return !seen.empty(); }));
  EXPECT_EQ(seen.front(), dir.Str() + "/new.jpg");
}
