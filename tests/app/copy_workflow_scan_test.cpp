// Disc detection, the start-up sequence and the scan's file filter and order.

#include "tests/app/copy_workflow_fixture.h"

namespace copytest {
namespace {

TEST_F(CopyWorkflowTest, DetectionMatchesLabelsIgnoringCaseAndTakesTheFirst) {
  Drives->Entries = {{"/", std::string("ROOT")},
                     {"/media/u/DATA/", std::string("BACKUP")},
                     {"/media/u/A/", std::string("VANDREL PHOTOS 2")},
                     {"/media/u/B/", std::string("MY DIGITAL PHOTOS")},
                     {"/media/u/C/", std::nullopt}};
  EXPECT_EQ(TCopyWorkflow::FindDisc(Drives->RootPaths()), 2);
  EXPECT_EQ(TCopyWorkflow::GetVolumeLabel("/media/u/A/"), "VANDREL PHOTOS 2");

  Drives->Entries = {{"/media/u/C/", std::nullopt}, {"/media/u/B/", std::string("My Digital Photos")}};
  EXPECT_EQ(TCopyWorkflow::FindDisc(Drives->RootPaths()), 1);
  EXPECT_EQ(TCopyWorkflow::GetVolumeLabel("/media/u/C/"), "");

  Drives->Entries = {{"/x/", std::string("Vandrel")}};
  EXPECT_EQ(TCopyWorkflow::FindDisc(Drives->RootPaths()), 0);

  Drives->Entries = {{"/", std::string("ROOT")}, {"/x/", std::string("DIGITAL PHOTO")}};
  EXPECT_EQ(TCopyWorkflow::FindDisc(Drives->RootPaths()), -1);
  EXPECT_EQ(TCopyWorkflow::FindDisc({}), -1);
}

TEST_F(CopyWorkflowTest, FormShowWithoutDiscAsksForItAndDoesNotScan) {
  Drives->Entries = {{"/", std::string("ROOT")}, {Disc.string() + "/", std::string("HOLIDAY")}};
  DiscFile("a.jpg");
  Workflow->FormShow();
  EXPECT_EQ(Messages, std::vector<std::string>{TCopyWorkflow::kInsertDiscMessage});
  EXPECT_EQ(Workflow->FileCountText(), ".         .");
  EXPECT_TRUE(Workflow->Files().empty());

  // No entries at all: the same message.
  Messages.clear();
  Workflow->Hooks().SourceItems = [] { return std::vector<std::string>{}; };
  Workflow->FormShow();
  EXPECT_EQ(Messages, std::vector<std::string>{TCopyWorkflow::kInsertDiscMessage});
}

TEST_F(CopyWorkflowTest, FormShowSelectsTheDiscScansItAndSetsTheHomeDestination) {
  DiscFile("Album1/img.jpg");
  DiscFile("b.png");
  std::string dest;
  int selected = -1;
  Workflow->Hooks().SetDestPath = [&](const std::string& p) { dest = p; };
  Workflow->Hooks().SetSourceItemIndex = [&](int i) { selected = i; };
  Workflow->Hooks().SourcePath = [&] { return selected == 1 ? Disc.string() : std::string(); };
  Workflow->FormShow();
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(selected, 1);
  ASSERT_FALSE(dest.empty());
  EXPECT_EQ(dest.back(), '/');
  EXPECT_TRUE(fs::is_directory(dest));
  EXPECT_EQ(Workflow->FileCountText(), "Contains 2 of your images.");
  EXPECT_EQ(Workflow->StatusText(1), "");
  EXPECT_EQ(Activities.front(), "Found file: " + Disc.string() + "/b.png");
}

TEST_F(CopyWorkflowTest, FilterLeavesOutLogosAndUpperCaseThumbnailFolders) {
  for (const char* f : {"Welcome.jpg", "VandrelLogo_RMMG_med.jpg", "Album/vandrellogo_sunflower50.JPG",
                        "Extras/YOUR-DIGITAL-PICTURES-ARE-H.jpg", "THUMBS/a.jpg", "Album/THUMBS/deep/b.jpg",
                        "MYTHUMBS/a.jpg", "Thumbs/a.jpg", "Album/scan.tiff", "Album/pic.bmp",
                        "Album/photo.TIF", "Album/notes.txt", "Album/Sunflower50.jpg"}) {
    DiscFile(f);
  }
  EXPECT_EQ(Workflow->ScanSource(), 6);
  const std::string d = Disc.string();
  EXPECT_EQ(Workflow->Files(),
            (std::vector<std::string>{d + "/Album/photo.TIF", d + "/Album/pic.bmp", d + "/Album/scan.tiff",
                                      d + "/Album/Sunflower50.jpg", d + "/Thumbs/a.jpg", d + "/Welcome.jpg"}));
  EXPECT_EQ(Workflow->FileCountText(), "Contains 6 of your images.");
}

TEST_F(CopyWorkflowTest, FileListIsSortedIgnoringCaseAndKeepsNamesDifferingInCase) {
  DiscFile("B/1.jpg");
  DiscFile("a/2.jpg");
  DiscFile("a/x.jpg");
  DiscFile("a/X.JPG");
  Workflow->ScanSource();
  const std::vector<std::string> files = Workflow->Files();
  ASSERT_EQ(files.size(), 4u);
  EXPECT_EQ(files[0], Disc.string() + "/a/2.jpg");
  EXPECT_EQ(files[3], Disc.string() + "/B/1.jpg");
  // Both spellings are listed and both are copied.
  Workflow->CopyFilesClick();
  EXPECT_EQ(Copies(), (std::vector<std::string>{"B/1.jpg", "a/2.jpg", "a/X.JPG", "a/x.jpg"}));
  EXPECT_EQ(ReadFile(Images() + "/a/X.JPG"), "data of a/X.JPG");
}

TEST_F(CopyWorkflowTest, RescanClearsTheList) {
  DiscFile("a.jpg");
  Workflow->ScanSource();
  fs::remove(Disc / "a.jpg");
  DiscFile("b.jpg");
  Workflow->ScanSource();
  EXPECT_EQ(Workflow->Files(), std::vector<std::string>{Disc.string() + "/b.jpg"});
}

TEST_F(CopyWorkflowTest, ClickDuringStartupScanStartsTheCopyAfterTheScan) {
  DiscFile("Album/a.jpg");
  DiscFile("Album/b.jpg");
  bool clicked = false;
  bool copyStartedInsideScan = false;
  OnProcess = [&] {
    if (Workflow->StartupScanRunning() && !clicked) {
      clicked = true;
      Workflow->CopyFilesClick();
      EXPECT_TRUE(Workflow->CopyPending());
      EXPECT_EQ(Workflow->CopyCaption(), "Copy Files");
    }
  };
  Workflow->Hooks().SetCopyCaption = [&](const std::string& c) {
    if (c == "Cancel Copy" && Workflow->StartupScanRunning()) copyStartedInsideScan = true;
  };
  Workflow->Hooks().SetDestPath = [](const std::string&) {};  // keep the test's destination
  Workflow->Hooks().SetSourceItemIndex = [](int) {};
  Workflow->FormShow();
  EXPECT_TRUE(clicked);
  EXPECT_FALSE(copyStartedInsideScan);
  EXPECT_FALSE(Workflow->CopyPending());
  EXPECT_EQ(Copies(), (std::vector<std::string>{"Album/a.jpg", "Album/b.jpg"}));
  EXPECT_EQ(Messages, std::vector<std::string>{ClosingMessage()});
  EXPECT_EQ(Workflow->CopyCaption(), "Copy Files");
}

}  // namespace
}  // namespace copytest
