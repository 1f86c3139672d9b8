// The main window under the offscreen platform: its controls, the start-up detection and
// scan, the size limit, and a copy with and without cancellation.

#include <gtest/gtest.h>

#include <QApplication>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QWindow>
#include <filesystem>

#include "app/copy_workflow.h"
#include "app/form3_qt.h"
#include "gui_test_support.h"
#include "imaging/view/vistrel_view.h"
#include "shell/orvik_shell_combo.h"
#include "shell/orvik_shell_link.h"
#include "shell/orvik_shell_list.h"

namespace fs = std::filesystem;
using guitest::Environment;
using guitest::TempDir;

namespace {

const char* const kCopied = "Your images have been copied to your hard drive and saved to: ";

// A disc with two images to copy, a thumbnail and a vendor logo to leave out.
struct Disc {
  TempDir Dir;
  std::string Root() const { return Dir.Str() + "/"; }
  Disc() {
    Dir.Write("Album1/a.jpg", "jpeg bytes");
    Dir.Write("Album1/Sub/b.tif", "tiff bytes");
    Dir.Write("THUMBS/a.jpg", "thumb");
    Dir.Write("vandrellogo_sunflower50.jpg", "logo");
    Dir.Write("notes.txt", "text");
  }
};

}  // namespace

TEST(Form3, BuildsItsControlsAndScansTheDiscWhenShown) {
  Disc disc;
  TempDir other;
  Environment env({{other.Str() + "/", "DATA"}, {disc.Root(), "Vandrel Photos"}});
  TForm3 form;
  EXPECT_EQ(form.lbFileCount->text().toStdString(), ".         .");
  form.show();

  EXPECT_TRUE(env.Messages.empty()) << env.Messages.front();
  EXPECT_EQ(form.windowTitle().toStdString(), "Vandrel CD to Hard Drive Copy Utility");
  // The designed sizes are those of the frame.
  EXPECT_EQ(form.frameGeometry().size(), QSize(682, 438));
  EXPECT_EQ(form.minimumSize() + (form.frameGeometry().size() - form.size()), QSize(300, 328));

  // The entry for the disc is selected and scanned; the destination is the home folder.
  const auto items = form.cbSource->Items();
  ASSERT_GE(form.cbSource->ItemIndex(), 0);
  EXPECT_EQ(items[form.cbSource->ItemIndex()], disc.Root());
  EXPECT_EQ(form.cbSource->Path(), disc.Root());
  EXPECT_EQ(form.lbFileCount->text().toStdString(), "Contains 2 of your images.");
  EXPECT_EQ(form.sBarPanel1->text().toStdString(), "");
  EXPECT_EQ(fs::path(form.cbDest->Path()), env.Home.Path());
  EXPECT_EQ(fs::path(form.lbFiles->Path()), env.Home.Path());

  // Texts, settings and places of the controls.
  EXPECT_EQ(form.Label1->text().toStdString(), "Vandrel CD:");
  EXPECT_EQ(form.Label2->text().toStdString(), "Destination Location:");
  EXPECT_EQ(form.cmdCopyFiles->text().toStdString(), "Copy Files");
  EXPECT_EQ(form.cbJPEG->text().toStdString(), "As JPEG");
  EXPECT_FALSE(form.cbJPEG->isChecked());
  EXPECT_EQ(form.cbJPEG->toolTip().toStdString(),
            "If your files are TIFF, this option will convert them to JPEG for you as they copy.");
  EXPECT_TRUE(form.Memo1->isReadOnly());
  // A plain memo: its lines wrap, and it has no scroll bars.
  EXPECT_EQ(form.Memo1->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  EXPECT_EQ(form.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(form.Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(form.Memo1->toPlainText().toStdString(),
            "This utility will help you copy \nyour images from the Read \nOnly CD/DVD disk that \n"
            "Vandrel provided to your \nlocal hard drive where the \nimages can be edited.");
  EXPECT_EQ(form.cmdCopyFiles->geometry(), QRect(8, 74, 75, 25));
  EXPECT_EQ(form.cbJPEG->geometry(), QRect(87, 78, 93, 17));
  EXPECT_EQ(form.VistrelView1->geometry(), QRect(4, 104, 175, 124));
  EXPECT_EQ(form.cbSource->geometry().topLeft(), QPoint(8, 24));
  EXPECT_EQ(form.cbSource->width(), 169);
  // The anchored controls have their designed sizes at the window's first size.
  EXPECT_EQ(form.Memo1->geometry(), QRect(3, 249, 177, 132));
  EXPECT_EQ(form.cbDest->width(), 372);
  EXPECT_EQ(form.Label1->pos(), QPoint(8, 8));
  EXPECT_EQ(form.lbFileCount->pos(), QPoint(9, 51));
  EXPECT_EQ(form.lbFileName->pos(), QPoint(5, 231));
  EXPECT_EQ(form.Memo1->pos(), QPoint(3, 249));
  EXPECT_EQ(form.Label2->pos(), QPoint(0, 7));
  EXPECT_EQ(form.cbDest->pos(), QPoint(109, 2));
  EXPECT_EQ(form.Panel1->width(), 185);
  EXPECT_EQ(form.Panel3->height(), 30);
  EXPECT_EQ(form.sBar->height(), 19);
  EXPECT_EQ(form.sBarPanel0->width(), 50);
  EXPECT_TRUE(form.Panel1->font().bold());
  EXPECT_EQ(form.Panel1->font().pixelSize(), 11);
  EXPECT_TRUE(form.VistrelView1->AutoFit());
  EXPECT_EQ(form.VistrelView1->ZoomFilter(), rfFastLinear);
  EXPECT_EQ(form.VistrelView1->ScrollBars(), ssNone);
  EXPECT_EQ(form.lbFiles->Filter(), "*.jpg;*.tif;*.bmp;*.png");
  EXPECT_TRUE(form.lbFiles->ShowParentFolder());
  EXPECT_TRUE(form.cbDest->ShowFullPath());
  EXPECT_FALSE(form.cbSource->Editable());
  for (TOrvikShellCombo* combo : {form.cbSource, form.cbDest}) {
    EXPECT_EQ(combo->font().family().toStdString(), "Tahoma");
    EXPECT_EQ(combo->ItemHeight(), 16);
    EXPECT_EQ(combo->view()->sizeHintForRow(0), 16);
  }
  for (const char* name : {"Panel1", "Label1", "cbSource", "lbFileCount", "cmdCopyFiles", "cbJPEG",
                           "VistrelView1", "lbFileName", "Memo1", "Panel2", "Panel3", "Label2",
                           "cbDest", "lbFiles", "sBar"}) {
    EXPECT_NE(form.findChild<QObject*>(name), nullptr) << name;
  }
  ASSERT_NE(form.OrvikShellLink1, nullptr);
  EXPECT_EQ(form.OrvikShellLink1->Controls().size(), 2u);  // cbDest and lbFiles

  // The anchored controls follow the window's size.
  const int memoHeight = form.Memo1->height();
  const int destWidth = form.cbDest->width();
  form.resize(form.size() + QSize(100, 100));
  EXPECT_EQ(form.Memo1->height(), memoHeight + 100);
  EXPECT_EQ(form.cbDest->width(), destWidth + 100);
  EXPECT_EQ(form.Panel1->width(), 185);
}

TEST(Form3, RefusesSizesBelowTheMinimum) {
  TempDir nothing;
  Environment env({{nothing.Str() + "/", ""}});
  TForm3 form;
  int w = 299, h = 400;
  EXPECT_FALSE(form.FormCanResize(w, h));
  w = 400, h = 327;
  EXPECT_FALSE(form.FormCanResize(w, h));
  w = 300, h = 328;
  EXPECT_TRUE(form.FormCanResize(w, h));
  form.resize(100, 100);
  EXPECT_GE(form.width(), 300);
  EXPECT_GE(form.height(), 328);
}

TEST(Form3, AsksForTheDiscWhenNoDriveMatches) {
  TempDir plain;
  Environment env({{plain.Str() + "/", "BACKUP"}});
  TForm3 form;
  form.show();
  ASSERT_EQ(env.Messages.size(), 1u);
  EXPECT_EQ(env.Messages[0], "Please put your Vandrel Images disk in your CD/DVD drive.");
  EXPECT_EQ(form.lbFileCount->text().toStdString(), ".         .");
}

TEST(Form3, CopiesEveryImageKeepingTheFoldersAndDisablesTheBrowsingControls) {
  Disc disc;
  Environment env({{disc.Root(), "DIGITAL PHOTOS 2"}});
  TForm3 form;
  form.show();
  ASSERT_TRUE(env.Messages.empty());

  bool checked = false;
  env.OnProcessMessages = [&] {
    if (!form.Workflow().Copying() || checked) return;
    checked = true;
    EXPECT_EQ(form.cmdCopyFiles->text().toStdString(), "Cancel Copy");
  };
  bool sawDisabled = false;
  form.Workflow().Hooks().ProcessMessages = [&] {
    if (!form.cbSource->isEnabled()) {
      sawDisabled = true;
      EXPECT_FALSE(form.cbDest->isEnabled());
      EXPECT_FALSE(form.lbFiles->isEnabled());
      EXPECT_TRUE(form.cmdCopyFiles->isEnabled());
      EXPECT_TRUE(form.cbJPEG->isEnabled());
    }
    platform::ProcessMessages();
  };
  form.cmdCopyFiles->click();

  EXPECT_TRUE(checked);
  EXPECT_TRUE(sawDisabled);
  const fs::path root = env.Home.Path() / "Vandrel Images";
  EXPECT_TRUE(fs::exists(root / "Album1" / "a.jpg"));
  EXPECT_TRUE(fs::exists(root / "Album1" / "Sub" / "b.tif"));
  EXPECT_FALSE(fs::exists(root / "THUMBS"));
  ASSERT_EQ(env.Messages.size(), 1u);
  EXPECT_EQ(fs::path(env.Messages[0].substr(std::string(kCopied).size())), root);
  ASSERT_EQ(env.OpenedFolders.size(), 1u);
  EXPECT_EQ(fs::path(env.OpenedFolders[0]), root);
  EXPECT_EQ(form.cmdCopyFiles->text().toStdString(), "Copy Files");
  EXPECT_TRUE(form.cbSource->isEnabled() && form.cbDest->isEnabled() && form.lbFiles->isEnabled());
  EXPECT_EQ(form.lbFileName->text().toStdString(), "b.tif");
  const std::string percent = form.sBarPanel0->text().toStdString();
  EXPECT_EQ(percent.substr(0, 3), "100");
  EXPECT_EQ(percent.back(), '%');
  EXPECT_EQ(form.sBarPanel1->text().toStdString(), "");
}

TEST(Form3, AClickDuringTheCopyCancelsIt) {
  Disc disc;
  Environment env({{disc.Root(), "VANDREL"}});
  TForm3 form;
  form.show();
  ASSERT_TRUE(env.Messages.empty());

  int clicks = 0;
  env.OnProcessMessages = [&] {
    if (form.Workflow().Copying() && clicks == 0) {
      ++clicks;
      form.cmdCopyFiles->click();  // arrives while the copy services the queue
    }
  };
  form.cmdCopyFiles->click();

  EXPECT_EQ(clicks, 1);
  ASSERT_EQ(env.Messages.size(), 2u);
  EXPECT_EQ(env.Messages[0], "Copy files was canceled");
  EXPECT_EQ(env.Messages[1].rfind(kCopied, 0), 0u);
  EXPECT_FALSE(fs::exists(env.Home.Path() / "Vandrel Images" / "Album1" / "a.jpg"));
  EXPECT_EQ(form.cmdCopyFiles->text().toStdString(), "Copy Files");
  EXPECT_EQ(form.Workflow().Tag(), 0);
  EXPECT_TRUE(form.lbFiles->isEnabled());
}

TEST(Form3, ClosingDuringACopyCancelsItAndClosesAfterwards) {
  Disc disc;
  Environment env({{disc.Root(), "VANDREL"}});
  TForm3 form;
  form.show();
  bool closed = false;
  env.OnProcessMessages = [&] {
    if (form.Workflow().Copying() && !closed) {
      closed = true;
      form.close();
      EXPECT_TRUE(form.isVisible());  // held back until the copy has ended
    }
  };
  form.cmdCopyFiles->click();
  ASSERT_EQ(env.Messages.size(), 2u);
  EXPECT_EQ(env.Messages[0], "Copy files was canceled");
  EXPECT_FALSE(form.isVisible());
}

TEST(Form3, ClosingDuringTheStartupScanClosesOnceTheScanIsOver) {
  Disc disc;
  Environment env({{disc.Root(), "VANDREL"}});
  TForm3 form;
  bool clicked = false;
  bool closed = false;
  env.OnProcessMessages = [&] {
    if (!form.Workflow().StartupScanRunning() || closed) return;
    if (!clicked) {
      clicked = true;
      form.cmdCopyFiles->click();  // a copy waiting for the scan
      return;
    }
    closed = true;
    form.close();
  };
  form.show();
  ASSERT_TRUE(closed);
  EXPECT_EQ(form.lbFileCount->text().toStdString(), "Contains 2 of your images.");
  QApplication::processEvents();
  // The window is gone, its platform window too, and the waiting copy never started.
  EXPECT_FALSE(form.isVisible());
  ASSERT_NE(form.windowHandle(), nullptr);
  EXPECT_FALSE(form.windowHandle()->isVisible());
  EXPECT_TRUE(env.Messages.empty());
  EXPECT_FALSE(fs::exists(env.Home.Path() / "Vandrel Images"));
}

TEST(Form3, ClosingDuringACopyStartedAfterTheStartupScanClosesWhenItEnds) {
  Disc disc;
  Environment env({{disc.Root(), "VANDREL"}});
  TForm3 form;
  bool clicked = false;
  bool closed = false;
  env.OnProcessMessages = [&] {
    if (form.Workflow().StartupScanRunning() && !clicked) {
      clicked = true;
      form.cmdCopyFiles->click();
    } else if (form.Workflow().Copying() && !closed) {
      closed = true;
      form.close();
    }
  };
  form.show();
  ASSERT_TRUE(closed);
  ASSERT_EQ(env.Messages.size(), 2u);
  EXPECT_EQ(env.Messages[0], "Copy files was canceled");
  QApplication::processEvents();
  EXPECT_FALSE(form.isVisible());

  // The request was used up: shown again, the window stays open after the next copy.
  env.OnProcessMessages = nullptr;
  form.show();
  form.cmdCopyFiles->click();
  EXPECT_EQ(env.Messages.size(), 3u);
  EXPECT_TRUE(form.isVisible());
}
