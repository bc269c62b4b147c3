// How long the results page takes with a large found-file tree: showing it,
// ticking everything, and opening a folder of a hundred thousand files.
// Runs offscreen unless a platform is named: QT_QPA_PLATFORM=xcb shows it.

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeView>
#include <cstdio>
#include <cstdlib>

#include "support/FoundTreeMaker.h"
#include "ui/ResultsPage.h"

using namespace pelorin;

namespace {

// Runs what the step queues (layout, painting) before the clock stops.
template <typename Step>
double secondsFor(QWidget& page, Step step) {
    QElapsedTimer clock;
    clock.start();
    step();
    QApplication::processEvents();
    page.repaint();
    return double(clock.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int fileCount = argc > 1 ? std::atoi(argv[1]) : 100000;

    ui::testing::FoundTreeMaker maker;
    FoundNode* large = maker.folder("JPG Files", ".jpg");
    FoundNode* small = maker.folder("MP3 Files", ".mp3");
    for (int i = 0; i < fileCount; ++i) maker.file(large, 4096 + uint64_t(i));
    for (int i = 0; i < 10; ++i) maker.file(small, 1 << 20);

    SelectionTotals totals;
    ui::ResultsPage page(totals);
    page.resize(1000, 700);
    const double show = secondsFor(page, [&] {
        page.showScanResults(maker.root(), uint64_t(fileCount) + 10);
        page.show();
    });
    const double tick = secondsFor(page, [&] { page.model().setTicked(maker.root(), true); });
    const double expand = secondsFor(page, [&] { page.treeView().expand(page.model().indexOf(large)); });
    const double untick = secondsFor(page, [&] { page.model().setTicked(maker.root(), false); });

    std::printf("files in one folder: %d\n", fileCount);
    std::printf("show the tree:       %.3f s\n", show);
    std::printf("tick the root:       %.3f s\n", tick);
    std::printf("expand the folder:   %.3f s\n", expand);
    std::printf("untick, expanded:    %.3f s\n", untick);
    return 0;
}
