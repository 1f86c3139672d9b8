// Listing a folder of 10,000 files: the navigator's enumeration as the file list fills from it
// (names, ID lists and the object filter's attribute questions; the detail columns are left for
// the rows being drawn), against QFileSystemModel loading the same folder and `ls -l`, in the
// same run. Compare BM_NautexFill with BM_QFileSystemModelLoad and BM_LsLong;
// BM_NautexFillSorted adds the sort by name that the list does after a fill.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QFileSystemModel>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "shell/nautex.h"

namespace {

constexpr int kFiles = 10000;

const std::string& Folder() {
  static const std::string folder = [] {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/vandrel-bench-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    std::string dir = ::mkdtemp(buf.data());
    for (int i = 0; i < kFiles; ++i) {
      char name[64];
      std::snprintf(name, sizeof name, "/IMG_%05d.%s", i, i % 4 == 0 ? "tif" : "jpg");
      std::ofstream(dir + name) << "x";
    }
    std::atexit([] { std::filesystem::remove_all(Folder()); });
    return dir;
  }();
  return folder;
}

QApplication& App() {
  static int argc = 1;
  static char arg0[] = "shell_enum_qt_bench";
  static char* argv[] = {arg0, nullptr};
  static QApplication* app = [] {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return new QApplication(argc, argv);
  }();
  return *app;
}

struct TEntry {
  std::string Caption;
  TIDList IDList;
};

std::vector<TEntry> Fill(TNautex& n) {
  std::vector<TEntry> entries;
  n.EndEnumeration();
  while (n.NextObject()) {
    // The object filter of the controls, then the entry.
    if (n.IsHidden()) continue;
    const TOrvikShellFolder special = n.ObjectSpecialFolder();
    if (special == SF_NETHOOD || special == SF_NETWORK || special == SF_BITBUCKET) continue;
    entries.push_back({n.DisplayName(), *n.ObjectIDList()});
  }
  return entries;
}

void BM_NautexFill(benchmark::State& state) {
  TNautex n;
  n.SetFilter("*.jpg;*.tif;*.bmp;*.png");
  n.SetFolder(Folder());
  for (auto _ : state) {
    std::vector<TEntry> entries = Fill(n);
    if (entries.size() != kFiles) state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(entries.data());
  }
}
BENCHMARK(BM_NautexFill)->Unit(benchmark::kMillisecond);

void BM_NautexFillSorted(benchmark::State& state) {
  TNautex n;
  n.SetFilter("*.jpg;*.tif;*.bmp;*.png");
  n.SetFolder(Folder());
  for (auto _ : state) {
    std::vector<TEntry> entries = Fill(n);
    std::sort(entries.begin(), entries.end(), [&](const TEntry& a, const TEntry& b) {
      return n.CompareIDs(0, a.IDList, b.IDList) < 0;
    });
    benchmark::DoNotOptimize(entries.data());
  }
}
BENCHMARK(BM_NautexFillSorted)->Unit(benchmark::kMillisecond);

void BM_QFileSystemModelLoad(benchmark::State& state) {
  App();
  const QString path = QString::fromStdString(Folder());
  for (auto _ : state) {
    QFileSystemModel model;
    model.setNameFilters({"*.jpg", "*.tif", "*.bmp", "*.png"});
    model.setNameFilterDisables(false);
    QEventLoop loop;
    QObject::connect(&model, &QFileSystemModel::directoryLoaded, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    const QModelIndex root = model.setRootPath(path);
    loop.exec();
    // The rows arrive in batches after the folder is read; wait for all of them.
    while (model.rowCount(root) < kFiles) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    benchmark::DoNotOptimize(model.rowCount(root));
  }
}
BENCHMARK(BM_QFileSystemModelLoad)->Unit(benchmark::kMillisecond);

void BM_LsLong(benchmark::State& state) {
  const std::string command = "ls -l '" + Folder() + "' > /dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("ls failed");
  }
}
BENCHMARK(BM_LsLong)->Unit(benchmark::kMillisecond);

}  // namespace
