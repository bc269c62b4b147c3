#pragma once
// What kind of drive a row of the drive table is, and the icon that shows it.

#include <QIcon>

#include "drives/MediaDictionary.h"

namespace pelorin::ui {

enum class DriveKind { Usb, CardReader, Optical, Disk, DiskImage };

DriveKind driveKind(const MediaDictionary& row);

inline constexpr int kDriveIconSize = 32;

// The theme's icon for the kind, else the style's own drive icon (no icon
// theme is installed on many machines).
QIcon driveIcon(DriveKind kind);

}  // namespace pelorin::ui
