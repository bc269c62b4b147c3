// pelorin: the desktop application. Finds lost photos, music and videos on a
// drive or disk image; a disk image or scan-info file may be named on the
// command line.

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <algorithm>
#include <memory>
#include <string_view>

#include "access/UdisksAccess.h"
#include "drives/DriveWatcher.h"
#include "drives/LibudevDeviceDatabase.h"
#include "ui/AppController.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/SingleInstance.h"

int main(int argc, char** argv) {
    // --help and --version answer in a terminal that has no display.
    const bool textOnly = std::any_of(argv + 1, argv + argc, [](std::string_view argument) {
        return argument == "-h" || argument == "--help" || argument == "--help-all" || argument == "-v" ||
               argument == "--version";
    });
    const std::unique_ptr<QCoreApplication> application =
        textOnly ? std::make_unique<QCoreApplication>(argc, argv) : std::make_unique<QApplication>(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelorin"));
    QApplication::setOrganizationName(QStringLiteral("Pelorin"));
    QApplication::setApplicationVersion(QStringLiteral(PELORIN_VERSION));

    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Finds lost photos, music and videos on a drive or disk image by their content."));
    options.addHelpOption();
    options.addVersionOption();
    options.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A disk image to scan, or a scan information file (.rvx) to open"),
                                  QStringLiteral("[file]"));
    options.process(*application);
    QApplication::setDesktopFileName(QStringLiteral("pelorin"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("pelorin"), QIcon(QStringLiteral(":/icons/pelorin.png"))));

    // Pelorin runs once per user: a second launch hands over to the first.
    const QString file = options.positionalArguments().value(0);
    pelorin::ui::SingleInstance instance(pelorin::ui::SingleInstance::userServerName());
    if (instance.start() == pelorin::ui::SingleInstance::Start::AnotherIsRunning) {
        const QString message = pelorin::ui::SingleInstance::messageForLaunch(file);
        if (pelorin::ui::SingleInstance::send(instance.serverName(), message)) {
            if (!file.isEmpty() && message == pelorin::ui::SingleInstance::kBringFront)
                qWarning("Pelorin is already running: open %s there with Open Disk Image…", qPrintable(file));
            return 0;
        }
    }

    pelorin::ui::QtDialogs dialogs;
    pelorin::ui::AppParts parts;
    parts.dialogs = &dialogs;
    parts.devices = std::make_unique<pelorin::LibudevDeviceDatabase>();
    std::string error;
    parts.deviceEvents = pelorin::openSystemDeviceEventSource(error);
    if (!parts.deviceEvents) qWarning("Drives are not watched: %s", error.c_str());
    parts.deviceAccess = std::make_unique<pelorin::UdisksAccess>();

    pelorin::ui::AppController controller(std::move(parts));
    instance.deliverTo(controller);
    controller.window()->show();
    if (!file.isEmpty()) {
        if (file.endsWith(QStringLiteral(".rvx")))
            controller.openScanInfoFile(file);
        else
            controller.chooseDiskImage(file);
    }
    return QApplication::exec();
}
