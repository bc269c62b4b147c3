#include "ui/DriveKind.h"

#include <QApplication>
#include <QStyle>
#include <algorithm>

namespace pelorin::ui {

DriveKind driveKind(const MediaDictionary& row) {
    const std::string icon = row.textOrEmpty(mediakey::kIconName);
    if (icon == "drive-optical") return DriveKind::Optical;
    if (icon == "media-flash") return DriveKind::CardReader;
    if (row.textOrEmpty(mediakey::kDevicePath).starts_with("/dev/loop")) return DriveKind::DiskImage;
    // A USB or FireWire enclosure around a fixed disk is still a disk.
    if (row.flag(mediakey::kWhetherUSB) && icon != "drive-harddisk") return DriveKind::Usb;
    return DriveKind::Disk;
}

QIcon driveIcon(DriveKind kind) {
    struct Look {
        const char* themeName;
        const char* alternativeThemeName;
        QStyle::StandardPixmap fallback;
    };
    const Look look = [kind]() -> Look {
        switch (kind) {
            case DriveKind::Usb: return {"drive-removable-media-usb", "drive-removable-media", QStyle::SP_DriveFDIcon};
            case DriveKind::CardReader: return {"media-flash", "drive-removable-media", QStyle::SP_DriveFDIcon};
            case DriveKind::Optical: return {"drive-optical", "media-optical", QStyle::SP_DriveCDIcon};
            case DriveKind::DiskImage: return {"application-x-raw-disk-image", "media-optical", QStyle::SP_DriveDVDIcon};
            case DriveKind::Disk: break;
        }
        return {"drive-harddisk", "drive-harddisk", QStyle::SP_DriveHDIcon};
    }();
    for (const char* name : {look.themeName, look.alternativeThemeName})
        if (QIcon::hasThemeIcon(QString::fromLatin1(name))) return QIcon::fromTheme(QString::fromLatin1(name));
    // The style's drive icons may come at 16 pixels only; doubled pixel by
    // pixel they keep their sharp edges at the row's 32.
    QIcon icon = QApplication::style()->standardIcon(look.fallback);
    const QList<QSize> sizes = icon.availableSizes();
    if (!sizes.isEmpty() && std::all_of(sizes.begin(), sizes.end(), [](QSize s) { return s.width() < kDriveIconSize; })) {
        const QPixmap small = icon.pixmap(sizes.last());
        icon.addPixmap(small.scaled(kDriveIconSize, kDriveIconSize, Qt::KeepAspectRatio, Qt::FastTransformation));
    }
    return icon;
}

}  // namespace pelorin::ui
