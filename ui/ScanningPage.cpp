#include "ui/ScanningPage.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "engine/SizeText.h"
#include "ui/SelectedTypesModel.h"
#include "ui/SelectedTypesWindow.h"

namespace pelorin::ui {
namespace {

QLabel* field(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString twoDigits(int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); }

}  // namespace

ScanningPage::ScanningPage(QWidget* parent)
    : QWidget(parent), clock(new QTimer(this)), typesModel(new SelectedTypesModel(this)) {
    clock->setInterval(1000);
    connect(clock, &QTimer::timeout, this, &ScanningPage::tick);

    driveName = field("driveNameField", this);
    serial = field("serialField", this);
    size = field("sizeField", this);
    hoursField = field("hoursField", this);
    minutesField = field("minutesField", this);
    secondsField = field("secondsField", this);
    filesFound = field("filesFoundField", this);
    percentage = field("percentageField", this);
    percentage->setMinimumWidth(percentage->fontMetrics().horizontalAdvance(QStringLiteral("100%")));
    percentage->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    stage = field("stageField", this);
    progress = new QProgressBar(this);
    progress->setRange(0, 100);
    progress->setTextVisible(false);

    auto* time = new QHBoxLayout;
    time->addWidget(hoursField);
    time->addWidget(new QLabel(tr("h"), this));
    time->addWidget(minutesField);
    time->addWidget(new QLabel(tr("min"), this));
    time->addWidget(secondsField);
    time->addWidget(new QLabel(tr("s"), this));
    time->addStretch();

    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(progress, 1);
    progressRow->addWidget(percentage);

    auto* drive = new QGroupBox(tr("Drive"), this);
    auto* driveForm = new QFormLayout(drive);
    driveForm->addRow(tr("Name:"), driveName);
    driveForm->addRow(tr("Serial:"), serial);
    driveForm->addRow(tr("Size:"), size);

    auto* scan = new QGroupBox(tr("Scanning"), this);
    auto* scanForm = new QFormLayout(scan);
    scanForm->addRow(tr("Elapsed time:"), time);
    scanForm->addRow(tr("Progress:"), progressRow);
    scanForm->addRow(tr("Files found:"), filesFound);
    scanForm->addRow(QString(), stage);

    QStyle* style = this->style();
    pause = new QPushButton(this);
    pause->setCheckable(true);
    auto* stop = new QPushButton(style->standardIcon(QStyle::SP_MediaStop), tr("Stop"), this);
    auto* showTypes = new QPushButton(style->standardIcon(QStyle::SP_FileDialogDetailedView), tr("Selected File Types"), this);
    showPauseState(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(showTypes);
    buttons->addStretch();
    buttons->addWidget(pause);
    buttons->addWidget(stop);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(drive);
    layout->addWidget(scan);
    layout->addStretch();
    layout->addLayout(buttons);

    connect(pause, &QPushButton::toggled, this, &ScanningPage::showPauseState);
    connect(pause, &QPushButton::clicked, this, &ScanningPage::pauseToggled);
    connect(stop, &QPushButton::clicked, this, &ScanningPage::stopClicked);
    connect(showTypes, &QPushButton::clicked, this, &ScanningPage::openSelectedTypesWindow);

    showTime();
    showProgress(0, 0);
}

void ScanningPage::begin(const ChosenDrive& drive, std::vector<FileType> tickedInKeyOrder) {
    serial->setText(QString::fromStdString(drive.serial));
    size->setText(QString::fromStdString(sizeText(drive.sizeInBytes)));
    driveName->setText(QString::fromStdString(drive.displayName));
    typesModel->setTypes(std::move(tickedInKeyOrder));
    setPaused(false);
    pause->setEnabled(true);
    stage->clear();
    showProgress(0, 0);
}

void ScanningPage::showProgress(double percent, uint64_t found) {
    // Truncated, not rounded: 99.9 % is not done yet.
    const int whole = percent >= 0 ? static_cast<int>(std::min(percent, 100.0)) : 0;
    progress->setValue(whole);
    percentage->setText(QStringLiteral("%1%").arg(whole));
    filesFound->setText(QString::number(found));
}

void ScanningPage::showReassembling() {
    stage->setText(tr("Putting split photos back together\u2026"));
    pause->setEnabled(false);
}

void ScanningPage::setPaused(bool paused) { pause->setChecked(paused); }

void ScanningPage::showPauseState(bool paused) {
    pause->setText(paused ? tr("Resume") : tr("Pause"));
    pause->setIcon(style()->standardIcon(paused ? QStyle::SP_MediaPlay : QStyle::SP_MediaPause));
}

void ScanningPage::startClock() {
    seconds = minutes = hours = 0;
    showTime();
    clock->start();
}

void ScanningPage::stopClock() {
    clock->stop();
    seconds = minutes = hours = 0;
    showTime();
}

bool ScanningPage::clockRunning() const { return clock->isActive(); }

void ScanningPage::tick() {
    if (++seconds > 59) {
        seconds = 0;
        ++minutes;
    }
    if (minutes > 59) {
        minutes = 0;
        ++hours;
    }
    showTime();
}

void ScanningPage::showTime() {
    hoursField->setText(twoDigits(hours));
    minutesField->setText(twoDigits(minutes));
    secondsField->setText(twoDigits(seconds));
}

void ScanningPage::openSelectedTypesWindow() {
    if (!typesWindow) typesWindow = new SelectedTypesWindow(*typesModel, this);
    typesWindow->show();
    typesWindow->raise();
    typesWindow->activateWindow();
}

void ScanningPage::closeSelectedTypesWindow() {
    if (typesWindow) typesWindow->hide();
}

}  // namespace pelorin::ui
