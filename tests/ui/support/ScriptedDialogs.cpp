#include "support/ScriptedDialogs.h"

namespace pelorin::ui::testing {

int ScriptedDialogs::alert(QWidget*, const Alert& alert) {
    alerts << alert;
    if (answers.isEmpty()) {
        ++unscripted;
        return static_cast<int>(alert.buttons.size()) - 1;
    }
    const QString wanted = answers.dequeue();
    const int index = static_cast<int>(alert.buttons.indexOf(wanted));
    // A script that names a button the alert does not have is a test's fault.
    Q_ASSERT_X(index >= 0, "ScriptedDialogs", qPrintable("no button " + wanted + " in " + alert.title));
    return index < 0 ? static_cast<int>(alert.buttons.size()) - 1 : index;
}

QString ScriptedDialogs::nextChoice(const FileChoice& choice) {
    chooserRequests << choice;
    return choices.isEmpty() ? QString() : choices.dequeue();
}

QString ScriptedDialogs::chooseFolder(QWidget*, const FileChoice& choice) { return nextChoice(choice); }
QString ScriptedDialogs::chooseFileToOpen(QWidget*, const FileChoice& choice) { return nextChoice(choice); }
QString ScriptedDialogs::chooseFileToSave(QWidget*, const FileChoice& choice) { return nextChoice(choice); }

bool ScriptedDialogs::openUrl(const QUrl& url) {
    openedUrls << url;
    return true;
}

}  // namespace pelorin::ui::testing
