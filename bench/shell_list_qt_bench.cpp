// The shell file list filling from a folder of 10,000 files with its window shown offscreen
// (fill, sort by name and the paint of the visible rows), against QFileSystemModel with a
// QTreeView on the same folder, in the same run: compare BM_ShellListFill with
// BM_QFileSystemModelTreeView. BM_ShellListUpdate300 is the in-place refresh of a folder of 300
// entries after one file was added (goal: under 5 ms).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QFileSystemModel>
#include <QTimer>
#include <QTreeView>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "shell/orvik_shell_list.h"

namespace {

std::string MakeFolder(int files) {
  std::string pattern = std::filesystem::temp_directory_path().string() + "/vandrel-bench-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  std::string dir = ::mkdtemp(buf.data());
  for (int i = 0; i < files; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "/IMG_%05d.%s", i, i % 4 == 0 ? "tif" : "jpg");
    std::ofstream(dir + name) << "x";
  }
  return dir;
}

const std::string& BigFolder() {
  static const std::string folder = MakeFolder(10000);
  return folder;
}

const std::string& SmallFolder() {
  static const std::string folder = MakeFolder(300);
  return folder;
}

struct Cleanup {
  ~Cleanup() {
    std::error_code ec;
    std::filesystem::remove_all(BigFolder(), ec);
    std::filesystem::remove_all(SmallFolder(), ec);
  }
};

QApplication& App() {
  static int argc = 1;
  static char arg0[] = "shell_list_qt_bench";
  static char* argv[] = {arg0, nullptr};
  static QApplication* app = [] {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static Cleanup cleanup;
    return new QApplication(argc, argv);
  }();
  return *app;
}

void BM_ShellListFill(benchmark::State& state) {
  App();
  TOrvikShellList list;
  list.SetAutomaticRefresh(false);
  list.SetFilter("*.jpg;*.tif;*.bmp;*.png");
  list.resize(600, 400);
  list.show();
  list.SetPath(BigFolder());
  for (auto _ : state) {
    list.FillList();
    list.repaint();
    QApplication::processEvents();
    if (list.Entries().Count() != 10000) state.SkipWithError("wrong count");
  }
}
BENCHMARK(BM_ShellListFill)->Unit(benchmark::kMillisecond);

void BM_QFileSystemModelTreeView(benchmark::State& state) {
  App();
  QTreeView view;
  view.resize(600, 400);
  view.show();
  for (auto _ : state) {
    // A fresh model each time: QFileSystemModel caches what it has read.
    auto* model = new QFileSystemModel;
    model->setNameFilters({"*.jpg", "*.tif", "*.bmp", "*.png"});
    model->setNameFilterDisables(false);
    QEventLoop loop;
    QObject::connect(model, &QFileSystemModel::directoryLoaded, &loop, &QEventLoop::quit);
    const QModelIndex root = model->setRootPath(QString::fromStdString(BigFolder()));
    view.setModel(model);
    view.setRootIndex(root);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    // The loaded rows arrive through queued inserts; wait until they are all there.
    while (model->rowCount(root) < 10000 || model->canFetchMore(root)) {
      if (model->canFetchMore(root)) model->fetchMore(root);
      QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    model->sort(0);
    view.repaint();
    QApplication::processEvents();
    state.PauseTiming();
    view.setModel(nullptr);
    delete model;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_QFileSystemModelTreeView)->Unit(benchmark::kMillisecond);

void BM_ShellListUpdate300(benchmark::State& state) {
  App();
  TOrvikShellList list;
  list.SetAutomaticRefresh(false);
  list.resize(600, 400);
  list.show();
  list.SetPath(SmallFolder());
  const std::string extra = SmallFolder() + "/extra.jpg";
  for (auto _ : state) {
    state.PauseTiming();
    std::ofstream(extra) << "x";
    state.ResumeTiming();
    list.UpdateList();
    state.PauseTiming();
    std::filesystem::remove(extra);
    list.UpdateList();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ShellListUpdate300)->Unit(benchmark::kMillisecond);

}  // namespace
