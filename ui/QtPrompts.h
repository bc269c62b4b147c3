#pragma once
// What saving, the scan and the scan-info files tell and ask the user, shown
// in the window. They call in from their worker threads; every alert and
// question is shown on the main thread while the caller waits, and progress is
// handed over without waiting.

#include <QObject>
#include <functional>

#include "engine/Prompts.h"

class QWidget;

namespace pelorin::ui {

class Dialogs;

class QtPrompts final : public QObject, public Prompts {
    Q_OBJECT
public:
    // Lives on the main thread; `window` is the alerts' parent.
    QtPrompts(Dialogs& dialogs, QWidget* window, QObject* parent = nullptr);

    void notify(const Notice& notice) override;
    bool ask(Question question) override;
    void updateTreeProgress(const SaveProgressUpdate& update) override;
    void startActivity(Activity activity) override;
    void stopActivity() override;

    // Runs on the main thread just before a notice is shown (a save ends
    // with its controls back before the "Saving Completed" alert).
    std::function<void(const Notice&)> beforeNotice;
    // Informative text added under a notice's alert; may return empty.
    std::function<QString(const Notice&)> explainNotice;

    // A save that loses its drive reports it once per folder; within one
    // task (a save, a scan) the user is told once.
    void beginTask() { sourceLossShown = false; }

signals:
    void saveProgress(const pelorin::SaveProgressUpdate& update);
    void activityStarted(pelorin::Activity activity);
    void activityStopped();

private:
    // Runs `work` on the main thread and returns when it is done.
    void onMainThread(const std::function<void()>& work);

    Dialogs& dialogs;
    QWidget* window;
    bool sourceLossShown = false;
};

}  // namespace pelorin::ui
