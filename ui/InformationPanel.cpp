#include "ui/InformationPanel.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace pelorin::ui {

InformationPanel::InformationPanel(QWidget* parent) : QDialog(parent), text(new QLabel(this)) {
    setModal(false);
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    text->setWordWrap(true);  // a long device path must not be cut off
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    auto* busy = new QProgressBar(this);
    busy->setRange(0, 0);  // indeterminate
    busy->setTextVisible(false);
    layout->addWidget(busy);
    setMinimumWidth(320);
}

void InformationPanel::showActivity(const QString& title, const QString& line) {
    setWindowTitle(title);
    text->setText(line);
    adjustSize();
    show();
    raise();
}

}  // namespace pelorin::ui
