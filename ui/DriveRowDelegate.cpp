#include "ui/DriveRowDelegate.h"

#include <QApplication>
#include <QPainter>

#include "ui/DriveTableModel.h"

namespace pelorin::ui {
namespace {

QFont withPointSize(QFont font, int points) {
    font.setPointSize(points);
    return font;
}

}  // namespace

int DriveRowDelegate::rowHeight(const QFont& base) {
    const int text = QFontMetrics(withPointSize(base, kTitlePointSize)).height() +
                     QFontMetrics(withPointSize(base, kSubtitlePointSize)).height();
    return std::max(kIconSize, text) + kInset;
}

QSize DriveRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QString title = index.data(Qt::DisplayRole).toString();
    const int textWidth =
        std::max(QFontMetrics(withPointSize(option.font, kTitlePointSize)).horizontalAdvance(title),
                 QFontMetrics(withPointSize(option.font, kSubtitlePointSize))
                     .horizontalAdvance(index.data(DriveTableModel::SubtitleRole).toString()));
    return {kInset + kIconSize + kInset + textWidth + kInset, rowHeight(option.font)};
}

void DriveRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    background.state &= ~QStyle::State_HasFocus;  // whole-row selection shows the choice already
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    const QRect area = option.rect.adjusted(kInset, 0, -kInset, 0);
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = option.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;

    painter->save();
    const QRect iconRect(area.left(), area.top() + (area.height() - kIconSize) / 2, kIconSize, kIconSize);
    const QIcon icon = qvariant_cast<QIcon>(index.data(Qt::DecorationRole));
    icon.paint(painter, iconRect, Qt::AlignCenter, selected ? QIcon::Selected : QIcon::Normal);

    const QFont titleFont = withPointSize(option.font, kTitlePointSize);
    const QFont subtitleFont = withPointSize(option.font, kSubtitlePointSize);
    const QFontMetrics titleMetrics(titleFont), subtitleMetrics(subtitleFont);
    const int textLeft = iconRect.right() + 1 + kInset;
    const int textWidth = std::max(0, area.right() - textLeft + 1);
    // The two lines are centred as a pair.
    const int textTop = area.top() + (area.height() - titleMetrics.height() - subtitleMetrics.height()) / 2;

    const QColor titleColour = selected ? option.palette.color(group, QPalette::HighlightedText)
                                        : option.palette.color(group, QPalette::Text);
    const QColor subtitleColour = selected ? titleColour : QColor(Qt::gray);

    painter->setFont(titleFont);
    painter->setPen(titleColour);
    painter->drawText(QRect(textLeft, textTop, textWidth, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      titleMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, textWidth));
    painter->setFont(subtitleFont);
    painter->setPen(subtitleColour);
    painter->drawText(
        QRect(textLeft, textTop + titleMetrics.height(), textWidth, subtitleMetrics.height()),
        Qt::AlignLeft | Qt::AlignVCenter,
        subtitleMetrics.elidedText(index.data(DriveTableModel::SubtitleRole).toString(), Qt::ElideRight, textWidth));
    painter->restore();
}

}  // namespace pelorin::ui
