#include "support/AppHarness.h"

#include <QAbstractButton>
#include <QFile>

#include "tools/ImageLayout.h"
#include "ui/FileTypesPage.h"

namespace pelorin::ui::testing {

AppHarness::AppHarness() {
    AppParts parts;
    parts.dialogs = &dialogs;
    parts.devices = std::make_unique<RecordedDeviceDatabase>();
    parts.keepAwake = std::make_unique<NoKeepAwake>();
    parts.quit = [this] { ++quitCount; };
    parts.wallClock = [] { return std::time_t{1765000000}; };
    controller = std::make_unique<AppController>(std::move(parts));
}

QString AppHarness::buildImage(const QString& name, const QString& layout) {
    const QString layoutPath = folder.filePath(name + ".layout");
    QFile file(layoutPath);
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(layoutPath));
    file.write(layout.toUtf8());
    file.close();
    const QString image = folder.filePath(name);
    tools::buildImage(tools::readLayout(layoutPath.toStdString()), PELORIN_FIXTURES_DIR, image.toStdString());
    return image;
}

QByteArray AppHarness::fixture(const QString& relativePath) {
    QFile file(QStringLiteral(PELORIN_FIXTURES_DIR "/") + relativePath);
    if (!file.open(QIODevice::ReadOnly)) qFatal("no fixture %s", qPrintable(relativePath));
    return file.readAll();
}

void AppHarness::clickType(const QString& label) {
    for (QAbstractButton* box : app().fileTypesPage()->findChildren<QAbstractButton*>())
        if (box->text() == label && box->isCheckable()) {
            box->click();
            return;
        }
    qFatal("no check box %s", qPrintable(label));
}

void AppHarness::scanImage(const QString& image, const QStringList& untick) {
    QVERIFY(app().chooseDiskImage(image));
    for (const QString& label : untick) clickType(label);
    QSignalSpy finished(&app(), &AppController::scanFinished);
    app().scan();
    QVERIFY(finished.wait(60000));
    QCOMPARE(app().currentPage(), Page::Results);
}

QStringList AppHarness::treeLines() const {
    QStringList lines;
    const FoundNode* root = controller->root();
    if (!root) return lines;
    for (const auto& folder : root->children())
        for (const auto& file : folder->children())
            lines << QString::fromStdString(folder->fileName() + "/" + file->fileName() + " " +
                                            std::to_string(file->fileSize()));
    return lines;
}

FoundNode* AppHarness::folderNamed(const QString& name) const {
    const FoundNode* root = controller->root();
    if (!root) return nullptr;
    for (const auto& folder : root->children())
        if (QString::fromStdString(folder->fileName()) == name) return folder.get();
    return nullptr;
}

}  // namespace pelorin::ui::testing
