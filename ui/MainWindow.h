#pragma once
// The one main window: the wizard's pages one at a time in a stacked widget,
// the menus, and the window's own events (closing, files dropped on it),
// which it hands to the controller.

#include <QMainWindow>

class QStackedWidget;

namespace pelorin::ui {

class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    QStackedWidget* pages() const { return pages_; }

signals:
    // The window's close button; the window itself never closes, the
    // controller quits the application instead.
    void closeRequested();
    void filesDropped(const QStringList& paths);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QStackedWidget* pages_;
};

}  // namespace pelorin::ui
