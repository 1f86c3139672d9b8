// The copy: paths, progress texts, skipping, attributes, cancellation, errors, and the
// conversion of TIFF files to JPEG.

#include <unistd.h>

#include "platform/fs.h"
#include "tests/app/copy_workflow_fixture.h"

namespace copytest {
namespace {

TEST_F(CopyWorkflowTest, PathSplitAndDestinationFolders) {
  DiscFile("Album1/Sub/img.tif");
  DiscFile("img.jpg");
  const std::string cwd = platform::GetCurrentDir();
  std::string D, F;
  TCopyWorkflow::SplitPath(Disc.string() + "/Album1/Sub/img.tif", D, F);
  EXPECT_EQ(D, "/Album1/Sub");
  EXPECT_EQ(F, "img.tif");
  TCopyWorkflow::SplitPath(Disc.string() + "/img.jpg", D, F);
  EXPECT_EQ(D, "/");
  EXPECT_EQ(F, "img.jpg");
  EXPECT_THROW(TCopyWorkflow::SplitPath(Disc.string() + "/Album1/gone.jpg", D, F), EInOutError);
  EXPECT_THROW(TCopyWorkflow::SplitPath(Disc.string() + "/Gone/img.jpg", D, F), EInOutError);
  EXPECT_EQ(platform::GetCurrentDir(), cwd);

  EXPECT_EQ(TCopyWorkflow::DestinationFolder("/home/u/Photos", "/Album1/Sub"),
            "/home/u/Photos/Vandrel Images/Album1/Sub");
  EXPECT_EQ(TCopyWorkflow::DestinationFolder("/home/u/Photos/", "/"), "/home/u/Photos/Vandrel Images/");
  EXPECT_EQ(TCopyWorkflow::DestinationFolder("/", "/Album1/Sub"), "/Vandrel Images/Album1/Sub");
  EXPECT_EQ(TCopyWorkflow::DestinationFolder("/", "/"), "/Vandrel Images/");
}

TEST_F(CopyWorkflowTest, CopyRecreatesTheTreeAndReportsProgress) {
  DiscFile("Album1/Sub/img.tif");
  DiscFile("Album1/b.bmp");
  DiscFile("root.jpg");
  Workflow->CopyFilesClick();
  EXPECT_EQ(Copies(), (std::vector<std::string>{"Album1/Sub/img.tif", "Album1/b.bmp", "root.jpg"}));
  EXPECT_EQ(ReadFile(Images() + "/Album1/Sub/img.tif"), "data of Album1/Sub/img.tif");
  EXPECT_EQ(Percentages, (std::vector<std::string>{"33.3%", "66.7%", "100.0%"}));
  const std::vector<std::string> copying(Activities.end() - 4, Activities.end() - 1);
  EXPECT_EQ(copying, (std::vector<std::string>{"Copying file 1 of 3 --> /Album1/b.bmp",
                                               "Copying file 2 of 3 --> /Album1/Sub/img.tif",
                                               "Copying file 3 of 3 --> /root.jpg"}));
  EXPECT_EQ(Activities.back(), "");
  EXPECT_EQ(Workflow->StatusText(0), "100.0%");
  EXPECT_EQ(Workflow->FileNameText(), "root.jpg");
  // Controls off for the loop; completion in order: caption, controls, folder, message.
  EXPECT_EQ(Events, (std::vector<std::string>{"caption:Cancel Copy", "disable", "caption:Copy Files",
                                              "enable", "open", "message"}));
  EXPECT_EQ(Opened, std::vector<std::string>{Images()});
  EXPECT_EQ(Messages, std::vector<std::string>{ClosingMessage()});
  const TCopySummary& s = Workflow->LastSummary();
  EXPECT_EQ(s.Total, 3);
  EXPECT_EQ(s.Copied, 3);
  EXPECT_TRUE(s.FailedFiles.empty());
  EXPECT_EQ(Workflow->Tag(), 0);
}

TEST_F(CopyWorkflowTest, StatusOfTheFirstOfTwentyFiveAndLocaleSeparator) {
  DiscFile("Album1/img.jpg");
  for (int i = 0; i < 24; ++i) DiscFile("Album2/f" + std::to_string(10 + i) + ".jpg");
  Separator = ',';
  Workflow->CopyFilesClick();
  EXPECT_NE(std::find(Activities.begin(), Activities.end(), "Copying file 1 of 25 --> /Album1/img.jpg"),
            Activities.end());
  EXPECT_EQ(Percentages.front(), "4,0%");
  EXPECT_EQ(Percentages.back(), "100,0%");
  EXPECT_EQ(TCopyWorkflow::FormatPercent(1, 8, '.'), "12.5%");
  EXPECT_EQ(TCopyWorkflow::FormatPercent(1, 16, '.'), "6.3%");
  EXPECT_EQ(TCopyWorkflow::FormatPercent(1, 3000, '.'), "0.0%");
}

TEST_F(CopyWorkflowTest, EmptyDiscStillCompletes) {
  Workflow->CopyFilesClick();
  EXPECT_EQ(Workflow->FileCountText(), "Contains 0 of your images.");
  EXPECT_EQ(Messages, std::vector<std::string>{ClosingMessage()});
  EXPECT_EQ(Opened.size(), 1u);
}

TEST_F(CopyWorkflowTest, ReadOnlySourceGivesWritableCopiesAndASecondCopySkipsButClears) {
  DiscFile("Album/a.jpg");
  DiscFile("b.png");
  fs::permissions(Disc / "Album/a.jpg", fs::perms::owner_read | fs::perms::group_read);
  fs::permissions(Disc / "b.png", fs::perms::owner_read);
  Workflow->CopyFilesClick();
  EXPECT_TRUE(OwnerWritable(Images() + "/Album/a.jpg"));
  EXPECT_TRUE(OwnerWritable(Images() + "/b.png"));
  EXPECT_EQ(Loaded.size(), 2u);

  // The copies turn read-only again; a second run copies nothing but makes them writable.
  fs::permissions(Images() + "/Album/a.jpg", fs::perms::owner_read);
  fs::permissions(Images() + "/b.png", fs::perms::owner_read);
  Loaded.clear();
  Workflow->CopyFilesClick();
  EXPECT_TRUE(Loaded.empty());
  EXPECT_EQ(Workflow->LastSummary().Skipped, 2);
  EXPECT_EQ(Workflow->LastSummary().Copied, 0);
  EXPECT_TRUE(OwnerWritable(Images() + "/Album/a.jpg"));
  EXPECT_TRUE(OwnerWritable(Images() + "/b.png"));
}

TEST_F(CopyWorkflowTest, ExistingUserFileIsNeverReplacedAndNoTemporaryFilesRemain) {
  DiscFile("Album/a.jpg");
  DiscFile("Album/b.jpg");
  WriteFile(Images() + "/Album/a.jpg", "edited by the user");
  Workflow->CopyFilesClick();
  EXPECT_EQ(ReadFile(Images() + "/Album/a.jpg"), "edited by the user");
  EXPECT_EQ(Copies(), (std::vector<std::string>{"Album/a.jpg", "Album/b.jpg"}));
  EXPECT_EQ(Workflow->LastSummary().Skipped, 1);
  EXPECT_EQ(Workflow->LastSummary().Copied, 1);
}

TEST_F(CopyWorkflowTest, CancelDuringTheScanOfTheCopy) {
  DiscFile("a.jpg");
  DiscFile("b.jpg");
  OnProcess = [&] {
    if (Workflow->Copying() && Workflow->Tag() == 0 && Percentages.empty()) Workflow->CopyFilesClick();
  };
  Workflow->CopyFilesClick();
  EXPECT_TRUE(Copies().empty());
  EXPECT_EQ(Messages, (std::vector<std::string>{"Copy files was canceled",
                                                ClosingMessage() + "\n\n2 images found: 0 copied, 0 converted to JPEG, "
                                                                   "0 already present, 0 failed, 2 not copied."}));
  EXPECT_TRUE(Workflow->LastSummary().Cancelled);
  EXPECT_EQ(Workflow->Tag(), 0);
  EXPECT_EQ(Workflow->CopyCaption(), "Copy Files");

  // Without files only the closing message appears.
  fs::remove(Disc / "a.jpg");
  fs::remove(Disc / "b.jpg");
  Messages.clear();
  Percentages.clear();
  Workflow->CopyFilesClick();
  EXPECT_EQ(Messages, std::vector<std::string>{ClosingMessage()});
}

TEST_F(CopyWorkflowTest, CancelInTheMiddleFinishesTheCurrentFile) {
  DiscFile("a.jpg");
  DiscFile("b.jpg");
  DiscFile("c.jpg");
  OnLoad = [&](const std::string&) {
    if (Loaded.size() == 1) Workflow->CopyFilesClick();  // clicked while the first loads
    return true;
  };
  Workflow->CopyFilesClick();
  EXPECT_EQ(Copies(), std::vector<std::string>{"a.jpg"});
  EXPECT_EQ(Messages, (std::vector<std::string>{"Copy files was canceled",
                                                ClosingMessage() + "\n\n3 images found: 1 copied, 0 converted to JPEG, "
                                                                   "0 already present, 0 failed, 2 not copied."}));
  EXPECT_EQ(Workflow->Tag(), 0);

  // A click during the last file produces no cancel message.
  Messages.clear();
  Loaded.clear();
  OnLoad = [&](const std::string&) {
    Workflow->CopyFilesClick();
    return true;
  };
  fs::remove_all(Dest / "Vandrel Images");
  fs::remove(Disc / "b.jpg");
  fs::remove(Disc / "c.jpg");
  Workflow->CopyFilesClick();
  EXPECT_EQ(Messages, std::vector<std::string>{ClosingMessage()});
  EXPECT_EQ(Workflow->Tag(), 0);
}

TEST_F(CopyWorkflowTest, FilesThatCannotBeCopiedAreNamedAfterTheClosingMessage) {
  for (int i = 0; i < 7; ++i) DiscFile("Bad/f" + std::to_string(i) + ".jpg");
  DiscFile("Good/a.jpg");
  WriteFile(Images() + "/Bad", "a file where a folder belongs");
  Workflow->CopyFilesClick();
  EXPECT_EQ(Copies(), (std::vector<std::string>{"Bad", "Good/a.jpg"}));
  ASSERT_EQ(Messages.size(), 1u);
  std::string expected = ClosingMessage() +
                         "\n\n8 images found: 1 copied, 0 converted to JPEG, 0 already present, 7 failed, "
                         "0 not copied.\n\n7 files could not be copied:";
  for (int i = 0; i < 5; ++i) {
    expected += "\n" + Disc.string() + "/Bad/f" + std::to_string(i) + ".jpg (cannot create a file in '" +
                Images() + "/Bad/': Not a directory)";
  }
  expected += "\n... and 2 more.";
  EXPECT_EQ(Messages[0], expected);
  EXPECT_EQ(Workflow->LastSummary().FailedFiles.size(), 7u);
  EXPECT_EQ(Workflow->LastSummary().Copied, 1);
}

TEST_F(CopyWorkflowTest, AFailureOfOneFileIsCountedAndTheCopyGoesOn) {
  DiscFile("a.jpg");
  DiscFile("b.jpg");
  DiscFile("c.jpg");
  DiscFile("d.jpg");
  OnLoad = [&](const std::string& p) -> bool {
    if (p.ends_with("/b.jpg")) throw std::runtime_error("cannot read b.jpg");
    return true;
  };
  // c.jpg vanishes after the scan.
  OnProcess = [&] {
    if (Percentages.size() == 1 && fs::exists(Disc / "c.jpg")) fs::remove(Disc / "c.jpg");
  };
  Workflow->CopyFilesClick();
  EXPECT_EQ(Copies(), (std::vector<std::string>{"a.jpg", "d.jpg"}));
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_TRUE(Messages[0].starts_with(ClosingMessage() + "\n\n4 images found: 2 copied, 0 converted to JPEG, "
                                                         "0 already present, 2 failed, 0 not copied.\n\n"
                                                         "2 files could not be copied:\n" +
                                      Disc.string() + "/b.jpg (cannot read b.jpg)\n" + Disc.string() +
                                      "/c.jpg (I/O error"))
      << Messages[0];
  EXPECT_EQ(Workflow->LastSummary().Error, "");
  EXPECT_EQ(Workflow->CopyCaption(), "Copy Files");
  EXPECT_EQ(Events.back(), "message");
}

TEST_F(CopyWorkflowTest, AsJpegConvertsTiffsOnceAndKeepsEditedJpegs) {
  DiscFile("Album/a.tif");
  DiscFile("Album/b.TIF");
  DiscFile("Album/c.tiff");
  DiscFile("Album/d.jpg");
  AsJpeg = true;
  Workflow->CopyFilesClick();
  EXPECT_EQ(Copies(), (std::vector<std::string>{"Album/a.JPG", "Album/b.JPG", "Album/c.JPG", "Album/d.jpg"}));
  EXPECT_EQ(ReadFile(Images() + "/Album/a.JPG"), "JPEG of " + Disc.string() + "/Album/a.tif");
  EXPECT_EQ(ReadFile(Images() + "/Album/c.JPG"), "JPEG of " + Disc.string() + "/Album/c.tiff");
  EXPECT_EQ(Workflow->LastSummary().Converted, 3);
  EXPECT_EQ(Workflow->LastSummary().Copied, 1);
  EXPECT_TRUE(OwnerWritable(Images() + "/Album/a.JPG"));

  // The second run finds the ".JPG" names and neither converts again nor replaces an edit.
  WriteFile(Images() + "/Album/a.JPG", "edited by the user");
  Saves = 0;
  Loaded.clear();
  Workflow->CopyFilesClick();
  EXPECT_EQ(Saves, 0);
  EXPECT_TRUE(Loaded.empty());
  EXPECT_EQ(Workflow->LastSummary().Skipped, 4);
  EXPECT_EQ(ReadFile(Images() + "/Album/a.JPG"), "edited by the user");
}

TEST_F(CopyWorkflowTest, AsJpegCopiesATiffUnchangedWhenItsLoadFails) {
  DiscFile("bad.tif");
  DiscFile("good.tif");
  AsJpeg = true;
  OnLoad = [](const std::string& p) { return !p.ends_with("/bad.tif"); };
  Workflow->CopyFilesClick();
  EXPECT_EQ(Copies(), (std::vector<std::string>{"bad.tif", "good.JPG"}));
  EXPECT_EQ(ReadFile(Images() + "/bad.tif"), "data of bad.tif");
  EXPECT_EQ(Saves, 1);
  EXPECT_EQ(Workflow->LastSummary().UnconvertedTiffs, 1);
  EXPECT_EQ(Workflow->LastSummary().Converted, 1);
  // The user asked for JPEG files: the closing message says which way it went.
  EXPECT_EQ(Messages, std::vector<std::string>{ClosingMessage() +
                                               "\n\n1 TIFF file could not be converted to JPEG "
                                               "and was copied unchanged."});

  // Without an image loader every TIFF is copied unchanged.
  fs::remove_all(Dest / "Vandrel Images");
  Workflow->Hooks().LoadImage = nullptr;
  Messages.clear();
  Workflow->CopyFilesClick();
  EXPECT_EQ(Copies(), (std::vector<std::string>{"bad.tif", "good.tif"}));
  EXPECT_EQ(Workflow->LastSummary().UnconvertedTiffs, 2);
  EXPECT_EQ(Messages, std::vector<std::string>{ClosingMessage() +
                                               "\n\n2 TIFF files could not be converted to JPEG "
                                               "and were copied unchanged."});
}

TEST_F(CopyWorkflowTest, AJpegWriterErrorFailsThatFileOnlyAndLeavesNoFile) {
  DiscFile("a.tif");
  DiscFile("b.tif");
  AsJpeg = true;
  OnSave = [](const std::string& temp) -> bool {
    WriteFile(temp, "half");
    throw std::runtime_error("disk full");
  };
  Workflow->CopyFilesClick();
  EXPECT_TRUE(Copies().empty());
  EXPECT_TRUE(fs::is_empty(Images()));
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Workflow->LastSummary().FailureReasons, (std::vector<std::string>{"disk full", "disk full"}));
  EXPECT_EQ(Workflow->LastSummary().FailedFiles,
            (std::vector<std::string>{Disc.string() + "/a.tif", Disc.string() + "/b.tif"}));
}

TEST_F(CopyWorkflowTest, AJpegWriteThatReportsFailureCopiesTheTiffUnchanged) {
  DiscFile("a.tif");
  DiscFile("b.tif");
  AsJpeg = true;
  OnSave = [](const std::string& temp) {
    WriteFile(temp, "half");
    return temp.find("/.a.JPG.") == std::string::npos;  // the writer fails for a.tif only
  };
  Workflow->CopyFilesClick();
  EXPECT_EQ(Copies(), (std::vector<std::string>{"a.tif", "b.JPG"}));
  EXPECT_EQ(ReadFile(Images() + "/a.tif"), "data of a.tif");
  EXPECT_EQ(Workflow->LastSummary().UnconvertedTiffs, 1);
  EXPECT_EQ(Workflow->LastSummary().Converted, 1);
  EXPECT_TRUE(Workflow->LastSummary().FailedFiles.empty());
}

}  // namespace
}  // namespace copytest
