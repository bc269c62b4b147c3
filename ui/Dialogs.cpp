#include "ui/Dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace pelorin::ui {

int QtDialogs::alert(QWidget* parent, const Alert& alert) {
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("Pelorin"));
    // The title is the alert's main line, as the desktop's alerts have it.
    box.setText(alert.title);
    if (!alert.message.isEmpty()) box.setInformativeText(alert.message);
    if (!alert.informativeText.isEmpty())
        box.setInformativeText(alert.message.isEmpty() ? alert.informativeText
                                                       : alert.message + "\n\n" + alert.informativeText);
    switch (alert.icon) {
        case Alert::Icon::Information: box.setIcon(QMessageBox::Information); break;
        case Alert::Icon::Warning: box.setIcon(QMessageBox::Warning); break;
        case Alert::Icon::Critical: box.setIcon(QMessageBox::Critical); break;
        case Alert::Icon::Question: box.setIcon(QMessageBox::Question); break;
    }
    // One role for all keeps the buttons in the order given, the default first.
    QList<QAbstractButton*> buttons;
    for (const QString& text : alert.buttons) buttons << box.addButton(text, QMessageBox::ActionRole);
    if (!buttons.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton*>(buttons.first()));
        // Escape and closing press the last, which changes nothing.
        box.setEscapeButton(buttons.last());
    }
    box.exec();
    const int pressed = static_cast<int>(buttons.indexOf(box.clickedButton()));
    return pressed >= 0 ? pressed : static_cast<int>(buttons.size()) - 1;
}

QString QtDialogs::chooseFolder(QWidget* parent, const FileChoice& choice) {
    return QFileDialog::getExistingDirectory(parent, choice.title, choice.startFolder, QFileDialog::ShowDirsOnly);
}

QString QtDialogs::chooseFileToOpen(QWidget* parent, const FileChoice& choice) {
    return QFileDialog::getOpenFileName(parent, choice.title, choice.startFolder, choice.nameFilter);
}

QString QtDialogs::chooseFileToSave(QWidget* parent, const FileChoice& choice) {
    const QString start = choice.suggestedName.isEmpty() ? choice.startFolder
                                                         : choice.startFolder + "/" + choice.suggestedName;
    return QFileDialog::getSaveFileName(parent, choice.title, start, choice.nameFilter);
}

bool QtDialogs::openUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

}  // namespace pelorin::ui
