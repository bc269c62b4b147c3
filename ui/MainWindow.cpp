#include "ui/MainWindow.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QStackedWidget>

namespace pelorin::ui {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), pages_(new QStackedWidget(this)) {
    setCentralWidget(pages_);
    setAcceptDrops(true);
    setWindowTitle(QStringLiteral("Pelorin"));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The controller asks first, and quits the application itself.
    event->ignore();
    emit closeRequested();
}

namespace {
QStringList localFiles(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    return paths;
}
}  // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (localFiles(event->mimeData()).size() == 1) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QStringList paths = localFiles(event->mimeData());
    if (paths.size() != 1) return;
    event->acceptProposedAction();
    emit filesDropped(paths);
}

}  // namespace pelorin::ui
