// The main window's shell controls: the disc found by its label through the real drive box,
// and the destination list during and after a copy of the sample disc.

#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/copy_workflow.h"
#include "app/form3_qt.h"
#include "gui_test_support.h"
#include "shell/orvik_shell_combo.h"
#include "shell/orvik_shell_list.h"

namespace fs = std::filesystem;

namespace {

bool Shows(const TOrvikShellList& list, const std::string& caption) {
  for (const auto& item : list.Entries().Items()) {
    if (item.Caption == caption) return true;
  }
  return false;
}

}  // namespace

TEST(Form3Shell, FindsTheDiscByLabelAndTheListStaysOnTheDestinationDuringTheCopy) {
  guitest::TempDir other;
  const std::string disc = std::string(VANDREL_SOURCE_DIR) + "/samples/disc/";
  guitest::Environment env({{other.Str() + "/", "DATA"}, {disc, "VANDREL PHOTOS"}});
  TForm3 form;
  form.show();
  ASSERT_TRUE(env.Messages.empty()) << env.Messages.front();

  // The box lists the drives by label; its entry strings are their root paths.
  const int index = form.cbSource->ItemIndex();
  ASSERT_GE(index, 0);
  EXPECT_EQ(form.cbSource->Entries().Item(index).DisplayName, "VANDREL PHOTOS");
  EXPECT_EQ(form.cbSource->Items()[index], disc);
  EXPECT_EQ(form.cbSource->lineEdit(), nullptr);  // not editable: drawn by the box
  const std::string home = env.Home.Str();
  EXPECT_EQ(form.cbDest->Path(), home);
  EXPECT_EQ(form.lbFiles->Path(), home);

  // Change events and timers run while the copy services the queue.
  int checks = 0;
  form.Workflow().Hooks().ProcessMessages = [&] {
    QApplication::processEvents();
    if (!form.Workflow().Copying()) return;
    ++checks;
    EXPECT_EQ(form.cbDest->Path(), home);
    EXPECT_EQ(form.lbFiles->Path(), home);
  };
  form.cmdCopyFilesClick();
  EXPECT_GT(checks, 0);
  ASSERT_FALSE(env.Messages.empty());
  EXPECT_EQ(env.Messages.back().rfind("Your images have been copied", 0), 0u);
  EXPECT_EQ(form.lbFiles->Path(), home);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (!Shows(*form.lbFiles, "Vandrel Images") && std::chrono::steady_clock::now() < end) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(Shows(*form.lbFiles, "Vandrel Images"));
  EXPECT_TRUE(fs::is_directory(home + "/Vandrel Images"));
}
