#pragma once
// The third page, while a scan runs: the drive, the time it has taken, how far
// it has come and how many files it has found, with pause, stop and a window
// listing the types it looks for.

#include <QWidget>
#include <cstdint>
#include <vector>

#include "drives/DriveList.h"
#include "engine/FileTypes.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace pelorin::ui {

class SelectedTypesModel;
class SelectedTypesWindow;

class ScanningPage final : public QWidget {
    Q_OBJECT
public:
    explicit ScanningPage(QWidget* parent = nullptr);

    // A scan of `drive` for the types given (in key order) is about to start.
    void begin(const ChosenDrive& drive, std::vector<FileType> tickedInKeyOrder);
    void showProgress(double percent, uint64_t filesFound);
    // The scan is done and split files are being put back together: said
    // under the progress bar; Pause has nothing left to pause.
    void showReassembling();
    // Sets the pause button without reporting it.
    void setPaused(bool paused);
    void closeSelectedTypesWindow();

    // The elapsed-time clock: from "00" once a second while it runs; stopping
    // sets it back to 0.
    void startClock();
    void stopClock();
    bool clockRunning() const;

    SelectedTypesModel& selectedTypes() { return *typesModel; }
    SelectedTypesWindow* selectedTypesWindow() const { return typesWindow; }

public slots:
    // One second more.
    void tick();

signals:
    void pauseToggled(bool paused);
    void stopClicked();

private:
    void showTime();
    void showPauseState(bool paused);
    void openSelectedTypesWindow();

    int seconds = 0, minutes = 0, hours = 0;
    QTimer* clock;
    QLabel* driveName;
    QLabel* serial;
    QLabel* size;
    QLabel* hoursField;
    QLabel* minutesField;
    QLabel* secondsField;
    QProgressBar* progress;
    QLabel* percentage;
    QLabel* filesFound;
    QLabel* stage;
    QPushButton* pause;
    SelectedTypesModel* typesModel;
    SelectedTypesWindow* typesWindow = nullptr;
};

}  // namespace pelorin::ui
