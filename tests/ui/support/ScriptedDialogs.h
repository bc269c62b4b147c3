#pragma once
// Dialogs answered from a script: each alert takes the next answer (a button
// text), each chooser the next path. Everything asked is recorded, so a test
// checks the titles, messages and buttons the user would have seen.

#include <QList>
#include <QQueue>
#include <QString>

#include "ui/Dialogs.h"

namespace pelorin::ui::testing {

class ScriptedDialogs final : public Dialogs {
public:
    // The button to press at the next alert, by its text.
    void answer(const QString& button) { answers.enqueue(button); }
    // The path the next chooser returns; an empty one cancels.
    void choose(const QString& path) { choices.enqueue(path); }

    int alert(QWidget* parent, const Alert& alert) override;
    QString chooseFolder(QWidget* parent, const FileChoice& choice) override;
    QString chooseFileToOpen(QWidget* parent, const FileChoice& choice) override;
    QString chooseFileToSave(QWidget* parent, const FileChoice& choice) override;
    bool openUrl(const QUrl& url) override;

    QList<Alert> alerts;        // in the order shown
    QList<FileChoice> chooserRequests;
    QList<QUrl> openedUrls;
    // Alerts for which no answer was scripted (answered with their last button).
    int unscripted = 0;

private:
    QString nextChoice(const FileChoice& choice);

    QQueue<QString> answers;
    QQueue<QString> choices;
};

}  // namespace pelorin::ui::testing
