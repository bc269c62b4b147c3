// The seam every dialog goes through answers as scripted and records what was shown.

#include <QtTest>

#include "support/ScriptedDialogs.h"

using namespace pelorin::ui;

class DialogsSeamTest : public QObject {
    Q_OBJECT
private slots:
    void answersByButtonTextAndRecords() {
        testing::ScriptedDialogs dialogs;
        dialogs.answer("No");
        const int pressed = dialogs.alert(nullptr, {"Do you want to close the application?", {}, {"Yes", "No"}});
        QCOMPARE(pressed, 1);
        QCOMPARE(dialogs.alerts.size(), 1);
        QCOMPARE(dialogs.alerts[0].title, QString("Do you want to close the application?"));
        // Unscripted alerts press their last button, which changes nothing.
        QCOMPARE(dialogs.alert(nullptr, {"Q", {}, {"Yes", "Cancel", "No"}}), 2);
        QCOMPARE(dialogs.unscripted, 1);
    }
};

QTEST_MAIN(DialogsSeamTest)
#include "DialogsSeamTest.moc"
