#include "ui/DriveKind.h"

#include <QApplication>
#include <QStyle>

namespace pelorin::ui {

DriveKind driveKind(const MediaDictionary& row) {
    const std::string icon = row.textOrEmpty(mediakey::kIconName);
    if (icon == "drive-optical") return DriveKind::Optical;
    if (icon == "media-flash") return DriveKind::CardReader;
    if (row.textOrEmpty(mediakey::kDevicePath).starts_with("/dev/loop")) return DriveKind::DiskImage;
    if (row.flag(mediakey::kWhetherUSB)) return DriveKind::Usb;
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
    if (QIcon::hasThemeIcon(QString::fromLatin1(look.themeName))) return QIcon::fromTheme(QString::fromLatin1(look.themeName));
    return QIcon::fromTheme(QString::fromLatin1(look.alternativeThemeName),
                            QApplication::style()->standardIcon(look.fallback));
}

}  // namespace pelorin::ui
