#pragma once
// The small panel shown while a short task runs (writing or reading a scan
// information file): a title, a line of text and a busy indicator.

#include <QDialog>

class QLabel;

namespace pelorin::ui {

class InformationPanel final : public QDialog {
    Q_OBJECT
public:
    explicit InformationPanel(QWidget* parent = nullptr);
    void showActivity(const QString& title, const QString& text);

private:
    QLabel* text;
};

}  // namespace pelorin::ui
