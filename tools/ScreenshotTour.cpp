// pelorin-screenshots: walks the window through the flow on a disk image and
// writes a PNG of every page and of the alerts on the way, for the README and
// the manual. Run under a real X server (scripts/screenshots.sh uses Xvfb):
//   pelorin-screenshots IMAGE OUTPUT_FOLDER

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMediaPlayer>
#include <QMessageBox>
#include <QPainter>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>
#include <QPushButton>
#include <QQueue>
#include <QTableView>
#include <QTimer>
#include <QTreeView>
#include <cstdio>

#include "drives/LibudevDeviceDatabase.h"
#include "ui/AppController.h"
#include "ui/Dialogs.h"
#include "ui/DriveListPage.h"
#include "ui/FoundTreeModel.h"
#include "ui/MainWindow.h"
#include "ui/Previewer.h"
#include "ui/ResultsPage.h"
#include "ui/ScanningPage.h"
#include "ui/SelectedTypesWindow.h"
#include "ui/ThumbnailView.h"

namespace {

using namespace pelorin::ui;

void settle(int milliseconds = 300) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Real message boxes, shown long enough to be photographed, answered from a script.
class TourDialogs final : public Dialogs {
public:
    explicit TourDialogs(QString folder) : folder(std::move(folder)) {}

    // The next alert: the button to press, and the picture to take of it (may be empty).
    void expect(const QString& button, const QString& picture = {}) { script.enqueue({button, picture}); }
    void choose(const QString& path) { choices.enqueue(path); }

    int alert(QWidget* parent, const Alert& alert) override {
        const auto [button, picture] = script.isEmpty() ? Step{alert.buttons.last(), {}} : script.dequeue();
        QMessageBox box(parent);
        box.setWindowTitle(QStringLiteral("Pelorin"));
        box.setText(alert.title);
        box.setInformativeText(alert.message);
        box.setIcon(alert.icon == Alert::Icon::Question ? QMessageBox::Question : QMessageBox::Information);
        for (const QString& text : alert.buttons) box.addButton(text, QMessageBox::AcceptRole);
        box.show();
        settle();
        if (!picture.isEmpty()) box.grab().save(folder + "/" + picture);
        box.close();
        return std::max<int>(0, int(alert.buttons.indexOf(button)));
    }
    QString chooseFolder(QWidget*, const FileChoice&) override { return next(); }
    QString chooseFileToOpen(QWidget*, const FileChoice&) override { return next(); }
    QString chooseFileToSave(QWidget*, const FileChoice&) override { return next(); }
    bool openUrl(const QUrl&) override { return true; }

private:
    struct Step {
        QString button;
        QString picture;
    };
    QString next() { return choices.isEmpty() ? QString() : choices.dequeue(); }

    QString folder;
    QQueue<Step> script;
    QQueue<QString> choices;
};

void shoot(AppController& app, const QString& folder, const QString& name) {
    settle();
    app.window()->grab().save(folder + "/" + name);
    std::fprintf(stderr, "%s\n", qPrintable(folder + "/" + name));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelorin"));
    QApplication::setOrganizationName(QStringLiteral("Pelorin screenshots"));
    if (argc != 3) {
        std::fprintf(stderr, "usage: pelorin-screenshots IMAGE OUTPUT_FOLDER\n");
        return 2;
    }
    const QString image = QString::fromLocal8Bit(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(folder);
    const QString work = QDir::temp().filePath(QStringLiteral("pelorin-screenshots"));
    QDir(work).removeRecursively();
    QDir().mkpath(work + "/Recovered");

    TourDialogs dialogs(folder);
    AppParts parts;
    parts.dialogs = &dialogs;
    parts.devices = std::make_unique<pelorin::LibudevDeviceDatabase>();
    parts.quit = [] {};
    AppController app(std::move(parts));
    app.window()->show();

    // The drive list, with its first drive chosen.
    auto* drives = app.driveListPage()->findChild<QTableView*>();
    if (drives && drives->model()->rowCount() > 0) drives->selectRow(0);
    shoot(app, folder, "01-drive-list.png");

    // A copy of the image, made larger with zeros, so the scan runs long enough to be seen.
    const QString card = work + "/camera-card.img";
    QFile::copy(image, card);
    QFile(card).resize(qint64{8} << 30);
    app.chooseDiskImage(card);
    shoot(app, folder, "02-file-types.png");

    app.scan();
    settle(1500);
    app.pause(true);
    shoot(app, folder, "03-scanning.png");
    for (QAbstractButton* button : app.scanningPage()->findChildren<QAbstractButton*>())
        if (button->text() == QStringLiteral("Selected File Types")) button->click();
    if (QWidget* types = app.scanningPage()->selectedTypesWindow()) {
        settle();
        types->grab().save(folder + "/03-selected-types.png");
    }
    dialogs.expect("Yes");
    app.stopScanning();
    while (app.currentPage() != Page::Results) settle(100);

    // Results: the JPEG folder open, some files ticked.
    FoundTreeModel* model = &app.resultsPage()->model();
    auto* tree = app.resultsPage()->findChild<QTreeView*>();
    const pelorin::FoundNode* root = app.root();
    for (const auto& typeFolder : root->children())
        if (typeFolder->fileName() == "JPG Files") {
            tree->expand(model->indexOf(typeFolder.get()));
            for (int i = 0; i < typeFolder->childrenCount() && i < 7; i += 2)
                model->setData(model->indexOf(typeFolder->childAtIndex(i)).siblingAtColumn(3), Qt::Checked,
                               Qt::CheckStateRole);
            tree->setCurrentIndex(model->indexOf(typeFolder->childAtIndex(1)));
        }
    shoot(app, folder, "04-results.png");

    dialogs.expect("Yes", "05-save-warning.png");
    dialogs.choose(work + "/Recovered");
    dialogs.expect("OK");
    app.saveData();
    while (app.saving()) settle(100);
    shoot(app, folder, "06-saved.png");

    // Preview and thumbnails, on a copy of the sample image with a camera raw file added after it.
    dialogs.expect("No");  // no scan information kept
    app.home();
    const QString withRaw = work + "/camera-card-raw.img";
    QFile::copy(image, withRaw);
    {
        QFile raw(QStringLiteral(PELORIN_FIXTURES_DIR "/raw/preview.cr2"));
        QFile card(withRaw);
        if (!raw.open(QIODevice::ReadOnly) || !card.open(QIODevice::ReadWrite)) return 1;
        card.resize(qint64{8} << 20);
        card.seek(qint64{8400} * 512);
        card.write(raw.readAll());
    }
    app.chooseDiskImage(withRaw);
    app.scan();
    while (app.currentPage() != Page::Results) settle(100);
    tree = app.resultsPage()->findChild<QTreeView*>();
    auto fileOf = [&](const std::string& name, int row = 0) -> pelorin::FoundNode* {
        for (const auto& typeFolder : app.root()->children())
            if (typeFolder->fileName() == name && int(typeFolder->children().size()) > row)
                return typeFolder->childAtIndex(row);
        return nullptr;
    };
    Previewer* previewer = app.previewer();
    auto preview = [&](pelorin::FoundNode* node, const QString& picture, auto&& whenShown) {
        if (!node) return;
        tree->setCurrentIndex(model->indexOf(node));
        app.resultsPage()->viewButton().click();
        settle(800);
        whenShown();
        QPixmap shot = previewer->window().grab();
        // The video is drawn on a surface of its own, which grab() does not see: its frame is painted in.
        QVideoWidget* video = previewer->window().videoWidget();
        if (video && video->isVisible()) {
            const QImage frame = video->videoSink()->videoFrame().toImage();
            if (!frame.isNull()) {
                QPainter painter(&shot);
                const QRect area(video->mapTo(&previewer->window(), QPoint()), video->size());
                const QSize size = frame.size().scaled(area.size(), Qt::KeepAspectRatio);
                painter.fillRect(area, Qt::black);
                painter.drawImage(QRect(area.center() - QPoint(size.width() / 2, size.height() / 2), size), frame);
            }
        }
        shot.save(folder + "/" + picture);
        std::fprintf(stderr, "%s\n", qPrintable(folder + "/" + picture));
    };
    dialogs.expect("Preview");  // the advice to save scan information, once
    preview(fileOf("JPG Files", 2), "07-preview-image.png", [] {});
    preview(fileOf("CR2 Files"), "08-preview-raw.png", [] {});
    preview(fileOf("MP4 Files"), "09-preview-video.png", [&] {
        previewer->window().playButton().click();
        settle(700);
        previewer->window().player()->pause();
        settle(200);

    });
    previewer->close();

    for (const auto& typeFolder : app.root()->children())
        if (typeFolder->fileName() == "JPG Files") tree->setCurrentIndex(model->indexOf(typeFolder.get()));
    app.resultsPage()->thumbnailsButton().click();
    ThumbnailModel& thumbnails = app.resultsPage()->thumbnailView().model();
    while (thumbnails.loading()) settle(100);
    shoot(app, folder, "10-thumbnails.png");
    app.resultsPage()->thumbnailsButton().click();  // back to the tree

    // A photo a used card split around another file, put back together: its
    // mark in the tree, and its preview whole.
    dialogs.expect("No");  // no scan information kept
    app.home();
    const QString splitCard = work + "/split-card.img";
    {
        constexpr qsizetype kCluster = 4096;
        auto fixture = [](const char* name) {
            QFile file(QStringLiteral(PELORIN_FIXTURES_DIR "/") + name);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        auto clusters = [&](QByteArray bytes) {
            bytes.resize((bytes.size() + kCluster - 1) / kCluster * kCluster, '\0');
            return bytes;
        };
        const QByteArray photo = fixture("split/camera.jpg");
        QFile card(splitCard);
        if (photo.isEmpty() || !card.open(QIODevice::WriteOnly)) return 1;
        card.write(QByteArray(4 * kCluster, '\0'));
        card.write(photo.left(3 * kCluster));
        card.write(clusters(fixture("mp3/sine-sync.mp3")));
        card.write(clusters(photo.mid(3 * kCluster)));
        for (const char* name : {"split/baseline.jpg", "split/444.jpg", "split/progressive.jpg"})
            card.write(clusters(fixture(name)));
        card.resize(qint64{8} << 20);
    }
    app.chooseDiskImage(splitCard);
    app.scan();
    while (app.currentPage() != Page::Results) settle(100);
    pelorin::FoundNode* putTogether = nullptr;
    for (const auto& typeFolder : app.root()->children())
        if (typeFolder->fileName() == "JPG Files") {
            tree->expand(model->indexOf(typeFolder.get()));
            for (const auto& file : typeFolder->children())
                if (file->isReassembled()) putTogether = file.get();
        }
    if (!putTogether) return 1;
    tree->setCurrentIndex(model->indexOf(putTogether));
    shoot(app, folder, "11-split-photo.png");
    preview(putTogether, "12-split-photo-preview.png", [] {});
    previewer->close();
    return 0;
}
