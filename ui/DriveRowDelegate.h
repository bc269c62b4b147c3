#pragma once
// Draws a row of the drive column: the drive's icon at the left, its title
// over its device path at the right of it.

#include <QStyledItemDelegate>

#include "ui/DriveKind.h"

namespace pelorin::ui {

class DriveRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int kIconSize = kDriveIconSize;
    static constexpr int kInset = 10;
    static constexpr int kTitlePointSize = 14;
    static constexpr int kSubtitlePointSize = 12;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The height a row needs for the icon or the two lines of text.
    static int rowHeight(const QFont& base);
};

}  // namespace pelorin::ui
