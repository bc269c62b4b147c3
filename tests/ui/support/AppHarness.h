#pragma once
// The whole application with scripted dialogs, recorded drives and no
// watcher, over a disk image assembled at test time from the fixtures.

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "drives/DeviceDatabase.h"
#include "support/ScriptedDialogs.h"
#include "ui/AppController.h"

namespace pelorin::ui::testing {

struct NoKeepAwake final : KeepAwake {
    void poke() override {}
};

class AppHarness {
public:
    AppHarness();

    AppController& app() { return *controller; }
    ScriptedDialogs dialogs;
    QTemporaryDir folder;
    int quitCount = 0;

    // Builds an image from a layout text (see tools/ImageLayout.h) whose
    // files are taken from tests/fixtures; returns its path.
    QString buildImage(const QString& name, const QString& layout);
    // The fixture's bytes.
    static QByteArray fixture(const QString& relativePath);

    // Starts a scan of the image with every type but `untick` ticked, and
    // waits for the results page.
    void scanImage(const QString& image, const QStringList& untick = {});
    // Clicks the check box of a type on the file types page.
    void clickType(const QString& label);

    // The found-file tree as "folder/file size" lines, in tree order.
    QStringList treeLines() const;
    FoundNode* folderNamed(const QString& name) const;

private:
    std::unique_ptr<AppController> controller;
};

}  // namespace pelorin::ui::testing
