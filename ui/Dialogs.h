#pragma once
// Every dialog the window shows goes through here: alerts, questions, file and
// folder choosers, and the browser. The application shows the real ones; a
// test answers them from a script and reads back what was asked.

#include <QString>
#include <QStringList>
#include <QUrl>

class QWidget;

namespace pelorin::ui {

struct Alert {
    enum class Icon { Information, Warning, Critical, Question };
    QString title;
    QString message;  // may be empty
    // In the order default, alternate, other; at least one.
    QStringList buttons;
    Icon icon = Icon::Information;
    // Shown under the message in a smaller font; may be empty.
    QString informativeText = {};
};

struct FileChoice {
    QString title;
    QString startFolder;
    QString suggestedName = {};  // save choosers only
    QString nameFilter = {};     // e.g. "Scan information (*.rvx)"; empty for any file
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Modal; the index in alert.buttons of the button pressed. Closing the
    // box counts as the last button (the one that changes nothing).
    virtual int alert(QWidget* parent, const Alert& alert) = 0;
    // Empty when the user cancels.
    virtual QString chooseFolder(QWidget* parent, const FileChoice& choice) = 0;
    virtual QString chooseFileToOpen(QWidget* parent, const FileChoice& choice) = 0;
    virtual QString chooseFileToSave(QWidget* parent, const FileChoice& choice) = 0;
    // Opens a page or a folder in the desktop's browser or file manager.
    virtual bool openUrl(const QUrl& url) = 0;
};

// The real ones: QMessageBox, QFileDialog, QDesktopServices.
class QtDialogs final : public Dialogs {
public:
    int alert(QWidget* parent, const Alert& alert) override;
    QString chooseFolder(QWidget* parent, const FileChoice& choice) override;
    QString chooseFileToOpen(QWidget* parent, const FileChoice& choice) override;
    QString chooseFileToSave(QWidget* parent, const FileChoice& choice) override;
    bool openUrl(const QUrl& url) override;
};

}  // namespace pelorin::ui
