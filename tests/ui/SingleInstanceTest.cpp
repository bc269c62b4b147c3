// One running instance per user: the messages a second launch sends and what
// the window does with each, a socket left by a crash, the name kept private,
// and the real `pelorin` handing its file over and ending.

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "scaninfo/ScanInfoFile.h"
#include "support/AppHarness.h"
#include "support/FoundTreeMaker.h"
#include "support/RecordingPrompts.h"
#include "ui/MainWindow.h"
#include "ui/SingleInstance.h"

using namespace pelorin;
using namespace pelorin::ui;
using pelorin::ui::testing::AppHarness;

namespace {

// A scan-info file of one JPEG folder with two files.
QString writeScanInfo(const QString& folder) {
    testing::FoundTreeMaker maker;
    FoundNode* jpg = maker.folder("JPG Files", ".jpg");
    maker.file(jpg, 4096);
    maker.file(jpg, 8192);
    test::RecordingPrompts prompts;
    const std::string chosen = (folder + "/card").toStdString();
    if (!saveScanInfo(chosen, {.firstSectors = std::vector<uint8_t>(5 * 512), .identity = {}}, *maker.root(), prompts))
        return {};
    return folder + "/card.rvx";
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode;
}

}  // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    void eachMessageHasItsEffectOnTheWindow() {
        AppHarness harness;
        SingleInstance instance(harness.folder.filePath("server"));
        QCOMPARE(instance.start(), SingleInstance::Start::Serving);
        instance.deliverTo(harness.app());
        const QString scanInfo = writeScanInfo(harness.folder.path());
        QVERIFY(!scanInfo.isEmpty());
        QSignalSpy read(&harness.app(), &AppController::scanInfoRead);
        const auto deliver = [&](const QString& message, auto signal) {
            QSignalSpy arrived(&instance, signal);
            QVERIFY(SingleInstance::send(instance.serverName(), message));
            QVERIFY(arrived.wait(5000));
        };

        deliver(SingleInstance::kBringFront, &SingleInstance::bringFrontRequested);
        QVERIFY(harness.app().window()->isVisible());
        QVERIFY(harness.dialogs.alerts.isEmpty());

        deliver(SingleInstance::kAlreadyRunning, &SingleInstance::alreadyRunningReported);
        QCOMPARE(harness.dialogs.alerts.size(), 1);
        QCOMPARE(harness.dialogs.alerts[0].title, QString("Cannot open this scan info file now"));
        QCOMPARE(harness.dialogs.alerts[0].message,
                 QString("The program is already running. For opening this scan info file either quit the program "
                         "and then launch this file or open this file from the currently running program."));
        QCOMPARE(harness.dialogs.alerts[0].buttons, QStringList{"OK"});
        QCOMPARE(harness.app().currentPage(), Page::DriveList);

        // On the drive list a handed-over file opens as Open Scan Info opens it.
        deliver(scanInfo, &SingleInstance::scanInfoFileHandedOver);
        QVERIFY(read.wait(30000));
        QCOMPARE(read.takeFirst().first().toBool(), true);
        QCOMPARE(harness.app().currentPage(), Page::Results);
        QCOMPARE(harness.treeLines().size(), 2);  // the two files

        // Elsewhere it would throw away what is shown: the window says so instead.
        const FoundNode* shown = harness.app().root();
        deliver(scanInfo, &SingleInstance::scanInfoFileHandedOver);
        QCOMPARE(harness.dialogs.alerts.size(), 2);
        QCOMPARE(harness.dialogs.alerts[1].title, QString("Cannot open this scan info file now"));
        QCOMPARE(harness.app().root(), shown);
        QVERIFY(read.isEmpty());

        // Any other text is a path, whatever it looks like.
        harness.app().home();
        deliver("BringFront ", &SingleInstance::scanInfoFileHandedOver);
        QVERIFY(read.wait(30000));
        QCOMPARE(harness.dialogs.alerts.last().message,
                 QString("Wrong file selected. Please select an appropriate scan info file and continue."));
        QCOMPARE(harness.app().currentPage(), Page::DriveList);
    }

    void aSecondInstanceIsTurnedAwayAndTheFirstKeepsServing() {
        QTemporaryDir folder;
        SingleInstance first(folder.filePath("server"));
        QCOMPARE(first.start(), SingleInstance::Start::Serving);
        SingleInstance second(first.serverName());
        QCOMPARE(second.start(), SingleInstance::Start::AnotherIsRunning);
        QSignalSpy arrived(&first, &SingleInstance::bringFrontRequested);
        QVERIFY(SingleInstance::send(first.serverName(), SingleInstance::kBringFront));
        QVERIFY(arrived.wait(5000));
        // The probe of the second start delivered nothing.
        QCOMPARE(arrived.size(), 1);
    }

    void aSocketLeftByACrashDoesNotStopTheNextStart() {
        QTemporaryDir folder;
        const QString name = folder.filePath("server");
        // Bound and closed without removing the file, as a crashed instance leaves it.
        const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(name).constData(), sizeof address.sun_path);
        QCOMPARE(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(stale);
        QVERIFY(QFileInfo::exists(name));
        QVERIFY(!SingleInstance::send(name, SingleInstance::kBringFront, 500));

        SingleInstance instance(name);
        QCOMPARE(instance.start(), SingleInstance::Start::Serving);
        QSignalSpy arrived(&instance, &SingleInstance::bringFrontRequested);
        QVERIFY(SingleInstance::send(name, SingleInstance::kBringFront));
        QVERIFY(arrived.wait(5000));
    }

    void theServerIsTheUsersAlone() {
        QTemporaryDir runtime, temporary;
        qputenv("TMPDIR", temporary.path().toUtf8());
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        QCOMPARE(SingleInstance::userServerName(), runtime.path() + "/Vellmark.Ombrelo.server");
        SingleInstance instance(SingleInstance::userServerName());
        QCOMPARE(instance.start(), SingleInstance::Start::Serving);
        QCOMPARE(modeOf(instance.serverName()) & 077, mode_t{0});

        // A runtime folder others may enter is not used; a folder of our own
        // in the temporary folder is, unless others may enter that too.
        QVERIFY(QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                          QFile::ReadOther | QFile::ExeOther));
        const QString fallback = temporary.path() + "/pelorin-" + QString::number(::getuid());
        QCOMPARE(SingleInstance::userServerName(), fallback + "/Vellmark.Ombrelo.server");
        QCOMPARE(modeOf(fallback) & 0777, mode_t{0700});
        QVERIFY(QFile::setPermissions(fallback, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                    QFile::ReadGroup | QFile::ExeGroup));
        QVERIFY(SingleInstance::userServerName().isEmpty());
        QCOMPARE(SingleInstance(QString()).start(), SingleInstance::Start::NoServer);
    }

    void aSecondLaunchHandsItsFileOverAndEnds() {
        QTemporaryDir runtime;
        SingleInstance first(runtime.filePath("Vellmark.Ombrelo.server"));
        QCOMPARE(first.start(), SingleInstance::Start::Serving);
        QSignalSpy paths(&first, &SingleInstance::scanInfoFileHandedOver);
        QSignalSpy frontRequests(&first, &SingleInstance::bringFrontRequested);
        const auto launch = [&](const QStringList& arguments) {
            QProcess second;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("XDG_RUNTIME_DIR", runtime.path());
            environment.insert("QT_QPA_PLATFORM", "offscreen");
            second.setProcessEnvironment(environment);
            second.setWorkingDirectory(runtime.path());
            second.start(PELORIN_APP, arguments);
            // The first instance answers while the second runs.
            QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 20000);
            QCOMPARE(second.exitStatus(), QProcess::NormalExit);
            QCOMPARE(second.exitCode(), 0);
        };

        launch({"card.rvx"});  // relative to where it was started
        QTRY_COMPARE(paths.size(), 1);
        QCOMPARE(paths.first().first().toString(), runtime.path() + "/card.rvx");
        launch({});
        QTRY_COMPARE(frontRequests.size(), 1);
        QCOMPARE(paths.size(), 1);
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
