// A scan run for the window: progress reaches the window at a bounded rate
// whatever the scan's speed, a source that goes away is told on the main
// thread and the tree found so far comes back, and a running scan can be
// dropped at any time.

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>
#include <cerrno>
#include <cstring>

#include "support/ScriptedDialogs.h"
#include "support/TestBytes.h"
#include "ui/QtPrompts.h"
#include "ui/ScanSession.h"

using namespace pelorin;
using namespace pelorin::ui;
using pelorin::ui::testing::ZeroSource;

namespace {

TypeSelection allTypes() { return TypeSelection().set(); }

}  // namespace

class ScanSessionTest : public QObject {
    Q_OBJECT
private slots:
    void progressReachesTheWindowAtMostTenTimesASecond() {
        testing::ScriptedDialogs dialogs;
        QtPrompts prompts(dialogs, nullptr);
        ScanSession session(std::make_unique<ZeroSource>(uint64_t{3} << 30), "zeros", 512, allTypes(), prompts);
        QSignalSpy progress(&session, &ScanSession::progress);
        QSignalSpy ended(&session, &ScanSession::scanEnded);
        QElapsedTimer clock;
        clock.start();
        session.start();
        QVERIFY(ended.wait(300000));
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(progress.size() <= elapsed / 100 + 2,
                 qPrintable(QString("%1 progress reports in %2 ms").arg(progress.size()).arg(elapsed)));
        // The last report is the end: every sector offered.
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(0).toDouble(), 100.0);
        QCOMPARE(ended.first().first().value<ScanOutcome>().how, ScanOutcome::Completed);
        QVERIFY(session.takeRoot() != nullptr);
    }

    void aSourceThatGoesAwayIsToldOnTheMainThreadAndTheTreeComesBack() {
        testing::ScriptedDialogs dialogs;
        QtPrompts prompts(dialogs, nullptr);
        QThread* shownOn = nullptr;
        prompts.beforeNotice = [&shownOn](const Notice&) { shownOn = QThread::currentThread(); };
        ScanSession session(std::make_unique<ZeroSource>(uint64_t{64} << 20, uint64_t{8} << 20), "card", 512,
                            allTypes(), prompts);
        QSignalSpy ended(&session, &ScanSession::scanEnded);
        session.start();
        QVERIFY(ended.wait(60000));
        QCOMPARE(ended.first().first().value<ScanOutcome>().how, ScanOutcome::SourceFailed);
        QCOMPARE(dialogs.alerts.size(), 1);
        QCOMPARE(dialogs.alerts.first().title, QString("Error!"));
        QCOMPARE(dialogs.alerts.first().message, QString("Drive cannot open or not found"));
        QCOMPARE(shownOn, QThread::currentThread());
        QVERIFY(session.takeRoot() != nullptr);
    }

    void aRunningScanCanBeDroppedAtAnyTime() {
        testing::ScriptedDialogs dialogs;
        QtPrompts prompts(dialogs, nullptr);
        // Far too large to finish: dropping it must stop it, not wait for it.
        auto session = std::make_unique<ScanSession>(std::make_unique<ZeroSource>(uint64_t{1} << 40), "huge", 512,
                                                     allTypes(), prompts);
        session->start();
        session->setPaused(true);
        QTest::qWait(50);
        QVERIFY(session->running());
        session.reset();
    }
};

QTEST_MAIN(ScanSessionTest)
#include "ScanSessionTest.moc"
