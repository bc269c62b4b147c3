// A scan run for the window: progress reaches the window at a bounded rate
// whatever the scan's speed, a source that goes away is told on the main
// thread and the tree found so far comes back, and a running scan can be
// dropped at any time.

#include <QElapsedTimer>
#include <QSemaphore>
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

    // After a scan that went through every sector the pass runs on the worker with the scan's
    // tree, source and sector size, while the window shows 100%, and what it does to the tree
    // is what the window gets; turned off, or after Stop, it does not run.
    void theReassemblyPassRunsAfterACompletedScanUnlessTurnedOff() {
        testing::ScriptedDialogs dialogs;
        QtPrompts prompts(dialogs, nullptr);
        for (const char* setting : {"on", "off", "stopped"}) {
            // Stopped at once: a source far too large to be done by then.
            auto source = std::make_unique<ZeroSource>(QString(setting) == "stopped" ? uint64_t{1} << 40 : uint64_t{1} << 20);
            const Source* scanned = source.get();
            ScanSession session(std::move(source), "card", 1024, allTypes(), prompts);
            QSemaphore passing, goOn;
            std::atomic<int> calls{0};
            std::atomic<bool> asExpected{false};
            session.setReassembly([&](FoundNode& root, Source& from, uint32_t sectorSize, const std::atomic<bool>*) {
                ++calls;
                asExpected = &from == scanned && sectorSize == 1024 && QThread::currentThread() != qApp->thread();
                passing.release();
                goOn.acquire();
                root.setFileName("put back together");
                return ReassemblyOutcome{};
            });
            if (QString(setting) == "off") session.setReassembly({});
            QSignalSpy progress(&session, &ScanSession::progress);
            QSignalSpy told(&session, &ScanSession::reassemblyStarted);
            QSignalSpy ended(&session, &ScanSession::scanEnded);
            session.start();
            if (QString(setting) == "stopped") session.cancel();
            if (QString(setting) == "on") {
                QVERIFY(passing.tryAcquire(1, 30000));
                QTRY_VERIFY(!progress.isEmpty() && progress.last().at(0).toDouble() == 100.0);
                QTRY_COMPARE(told.size(), 1);
                QVERIFY(ended.isEmpty() && session.running());
                goOn.release();
            }
            QVERIFY(!ended.isEmpty() || ended.wait(30000));
            QCOMPARE(calls.load(), QString(setting) == "on" ? 1 : 0);
            QCOMPARE(told.size(), calls.load());
            QCOMPARE(asExpected.load(), QString(setting) == "on");
            QCOMPARE(std::count_if(progress.begin(), progress.end(),
                                   [](const QList<QVariant>& shown) { return shown.at(0).toDouble() == 100.0; }),
                     QString(setting) == "stopped" ? 0 : 1);
            const auto root = session.takeRoot();
            QVERIFY(root);
            QCOMPARE(root->fileName() == "put back together", QString(setting) == "on");
        }
    }

    // Stop while the pass runs reaches the pass, which ends early; the scan still counts as done.
    void stopDuringThePassStopsThePass() {
        testing::ScriptedDialogs dialogs;
        QtPrompts prompts(dialogs, nullptr);
        ScanSession session(std::make_unique<ZeroSource>(uint64_t{1} << 20), "card", 512, allTypes(), prompts);
        QSemaphore passing;
        std::atomic<bool> sawStop{false};
        session.setReassembly([&](FoundNode&, Source&, uint32_t, const std::atomic<bool>* cancelled) {
            passing.release();
            for (int wait = 0; wait < 3000 && !(cancelled && cancelled->load()); ++wait) QThread::msleep(10);
            sawStop = cancelled && cancelled->load();
            return ReassemblyOutcome{};
        });
        QSignalSpy ended(&session, &ScanSession::scanEnded);
        session.start();
        QVERIFY(passing.tryAcquire(1, 30000));
        session.cancel();
        QVERIFY(ended.wait(30000));
        QVERIFY(sawStop.load());
        QCOMPARE(ended.first().first().value<ScanOutcome>().how, ScanOutcome::Completed);
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
