#include "ui/QtPrompts.h"

#include <QCoreApplication>
#include <QThread>

#include "app/Texts.h"
#include "ui/Dialogs.h"

namespace pelorin::ui {

QtPrompts::QtPrompts(Dialogs& dialogs_, QWidget* window_, QObject* parent)
    : QObject(parent), dialogs(dialogs_), window(window_) {
    qRegisterMetaType<pelorin::SaveProgressUpdate>("pelorin::SaveProgressUpdate");
    qRegisterMetaType<pelorin::Activity>("pelorin::Activity");
}

void QtPrompts::onMainThread(const std::function<void()>& work) {
    if (QThread::currentThread() == thread())
        work();
    else
        QMetaObject::invokeMethod(this, work, Qt::BlockingQueuedConnection);
}

void QtPrompts::notify(const Notice& notice) {
    onMainThread([this, notice] {
        if (beforeNotice) beforeNotice(notice);
        if (notice.kind == NoticeKind::SaveSourceUnreadable) {
            if (sourceLossShown) return;
            sourceLossShown = true;
        }
        const texts::AlertText text = texts::alertFor(notice);
        if (!text.logLine.empty()) qWarning("%s", text.logLine.c_str());
        Alert alert{QString::fromStdString(text.title), QString::fromStdString(text.message),
                    {QString::fromStdString(text.button)}};
        switch (notice.kind) {
        case NoticeKind::SavingCompleted:
        case NoticeKind::SavingAborted:
        case NoticeKind::ScanInfoSaved: alert.icon = Alert::Icon::Information; break;
        default: alert.icon = Alert::Icon::Warning; break;
        }
        if (explainNotice) alert.informativeText = explainNotice(notice);
        dialogs.alert(window, alert);
    });
}

bool QtPrompts::ask(Question question) {
    bool yes = false;
    onMainThread([this, question, &yes] {
        const texts::QuestionText text = texts::questionFor(question);
        Alert alert{QString::fromUtf8(text.title.data(), qsizetype(text.title.size())),
                    QString::fromUtf8(text.message.data(), qsizetype(text.message.size())),
                    {QStringLiteral("Yes"), QStringLiteral("No")}, Alert::Icon::Question};
        yes = dialogs.alert(window, alert) == 0;
    });
    return yes;
}

void QtPrompts::updateTreeProgress(const SaveProgressUpdate& update) {
    // Queued: the copy loop never waits for the window to draw.
    QMetaObject::invokeMethod(this, [this, update] { emit saveProgress(update); }, Qt::QueuedConnection);
}

void QtPrompts::startActivity(Activity activity) {
    QMetaObject::invokeMethod(this, [this, activity] { emit activityStarted(activity); }, Qt::QueuedConnection);
}

void QtPrompts::stopActivity() {
    QMetaObject::invokeMethod(this, [this] { emit activityStopped(); }, Qt::QueuedConnection);
}

}  // namespace pelorin::ui
