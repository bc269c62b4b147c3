// pelorin: the desktop application. Finds lost photos, music and videos on a
// drive or disk image; a disk image or scan-info file may be named on the
// command line.

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include "access/UdisksAccess.h"
#include "drives/DriveWatcher.h"
#include "drives/LibudevDeviceDatabase.h"
#include "ui/AppController.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelorin"));
    QApplication::setOrganizationName(QStringLiteral("Pelorin"));
    QApplication::setApplicationVersion(QStringLiteral(PELORIN_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("pelorin"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("pelorin"), QIcon(QStringLiteral(":/icons/pelorin.png"))));

    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Finds lost photos, music and videos on a drive or disk image by their content."));
    options.addHelpOption();
    options.addVersionOption();
    options.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A disk image to scan, or a scan information file (.rvx) to open"),
                                  QStringLiteral("[file]"));
    options.process(application);

    pelorin::ui::QtDialogs dialogs;
    pelorin::ui::AppParts parts;
    parts.dialogs = &dialogs;
    parts.devices = std::make_unique<pelorin::LibudevDeviceDatabase>();
    std::string error;
    parts.deviceEvents = pelorin::openSystemDeviceEventSource(error);
    if (!parts.deviceEvents) qWarning("Drives are not watched: %s", error.c_str());
    parts.deviceAccess = std::make_unique<pelorin::UdisksAccess>();

    pelorin::ui::AppController controller(std::move(parts));
    controller.window()->show();
    if (!options.positionalArguments().isEmpty()) {
        const QString file = options.positionalArguments().first();
        if (file.endsWith(QStringLiteral(".rvx")))
            controller.openScanInfoFile(file);
        else
            controller.chooseDiskImage(file);
    }
    return QApplication::exec();
}
