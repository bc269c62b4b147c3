#pragma once
// The window's own words: the questions asked before leaving a page or
// quitting, and the texts of the flow that the libraries do not report.

#include <QString>

namespace pelorin::ui::words {

inline const QString kYes = QStringLiteral("Yes");
inline const QString kNo = QStringLiteral("No");
inline const QString kCancel = QStringLiteral("Cancel");
inline const QString kOK = QStringLiteral("OK");

inline const QString kCloseApplication = QStringLiteral("Do you want to close the application?");
inline const QString kSaveScanInfoBeforeClosing =
    QStringLiteral("Do you want to save scan info before closing the application?");
inline const QString kSaveScanInformation = QStringLiteral("Do you want to save scan information?");
inline const QString kStopScanning = QStringLiteral("Do you want to stop the scanning process?");

inline const QString kInformation = QStringLiteral("Information");
inline const QString kSameDriveWarning = QStringLiteral(
    "Please ensure that you are not saving recovered media files to the same drive from which you are recovering. "
    "Saving the recovered media files to the same drive or volume would result in permanent data loss. Do you want "
    "to continue?");
inline const QString kSelect = QStringLiteral("Select");
inline const QString kSave = QStringLiteral("Save");

inline const QString kNotSaved = QStringLiteral("Not Saved");
inline const QString kSaved = QStringLiteral("Saved");
inline const QString kScanInfoOpened = QStringLiteral("Scan Info Opened");

inline const QString kCannotOpenScanInfoNow = QStringLiteral("Cannot open this scan info file now");
inline const QString kAlreadyRunning = QStringLiteral(
    "The program is already running. For opening this scan info file either quit the program and then launch this "
    "file or open this file from the currently running program.");

}  // namespace pelorin::ui::words
