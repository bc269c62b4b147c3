// The scan as the window runs it (worker thread, progress timer, the results
// page filled at the end) against the same scan in pelorin-cli, on the images
// pelorin-bench makes. Run offscreen: QT_QPA_PLATFORM=offscreen.

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <cstdio>

#include "drives/DeviceDatabase.h"
#include "support/ScriptedDialogs.h"
#include "ui/AppController.h"
#include "ui/MainWindow.h"

namespace {

struct NoKeepAwake final : pelorin::KeepAwake {
    void poke() override {}
};

double cliSeconds(const QString& cli, const QString& image) {
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(cli, {"scan", image, "--no-progress"});
    process.waitForFinished(-1);
    return double(clock.nsecsElapsed()) / 1e9;
}

double windowSeconds(const QString& image) {
    pelorin::ui::testing::ScriptedDialogs dialogs;
    pelorin::ui::AppParts parts;
    parts.dialogs = &dialogs;
    parts.devices = std::make_unique<pelorin::RecordedDeviceDatabase>();
    parts.keepAwake = std::make_unique<NoKeepAwake>();
    parts.quit = [] {};
    pelorin::ui::AppController app(std::move(parts));
    app.window()->show();
    if (!app.chooseDiskImage(image)) return 0;
    QSignalSpy finished(&app, &pelorin::ui::AppController::scanFinished);
    QElapsedTimer clock;
    clock.start();
    app.scan();
    finished.wait(3600 * 1000);
    return double(clock.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription("A scan started from the window against the same scan in pelorin-cli");
    options.addHelpOption();
    options.addOption({"cli", "pelorin-cli to compare with", "path", PELORIN_CLI});
    options.addOption({"runs", "runs of each measurement; the best counts", "n", "3"});
    options.addPositionalArgument("images", "images to scan (those pelorin-bench made)", "image...");
    options.process(application);
    QStringList images = options.positionalArguments();
    if (images.isEmpty()) images = {"pelorin-bench.img", "pelorin-bench-packed.img"};
    const int runs = std::max(1, options.value("runs").toInt());

    for (const QString& image : images) {
        if (!QFileInfo::exists(image)) {
            std::fprintf(stderr, "%s: missing (run pelorin-bench first)\n", qPrintable(image));
            continue;
        }
        double cli = 1e30, window = 1e30;
        for (int i = 0; i < runs; ++i) {
            cli = std::min(cli, cliSeconds(options.value("cli"), image));
            window = std::min(window, windowSeconds(image));
        }
        const double megabytes = double(QFileInfo(image).size()) / 1e6;
        std::fprintf(stderr, "%s, all types, best of %d:\n", qPrintable(image), runs);
        std::fprintf(stderr, "  %-22s %9.0f MB/s\n", "pelorin-cli scan", megabytes / cli);
        std::fprintf(stderr, "  %-22s %9.0f MB/s  %.2f of pelorin-cli\n", "scan from the window", megabytes / window,
                     cli / window);
    }
    return 0;
}
