#pragma once
// Previews the found file selected on the results page: decides what kind of
// preview a row gets, has the loader read its bytes off the main thread (one
// read at a time; a new request stops the running one, and the row selected
// then is previewed), and shows the outcome in the preview window.

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "engine/FoundNode.h"
#include "engine/Source.h"
#include "ui/PreviewLoader.h"
#include "ui/PreviewPicture.h"
#include "ui/PreviewWindow.h"

class QWidget;

namespace pelorin::ui {

class Dialogs;

inline constexpr uint64_t kPicturePreviewLimit = 31457280;  // 30 MiB: larger pictures are not read
inline constexpr uint64_t kPreviewReadLimit = 52428800;     // 50 MiB: read for any preview at most

// The preview JPEG the scan filed for a raw file (in "RAW Jpg Files",
// starting inside the raw file's sectors), if any.
const FoundNode* filedRawPreview(const FoundNode& raw, uint32_t sectorSize);

// What to read for a file's picture: the file itself, or a raw file's filed
// preview JPEG. None for a file that is no picture, or a picture too large.
struct PictureRead {
    const FoundNode* node = nullptr;
    uint64_t length = 0;
    PreviewKind kind = PreviewKind::Picture;
};
std::optional<PictureRead> pictureReadFor(const FoundNode& file, uint32_t sectorSize);

// Where found files are read from, and their sector size.
struct PreviewSource {
    std::shared_ptr<Source> source;
    uint32_t sectorSize = 512;
};

// What the previewer asks the application for.
struct PreviewHooks {
    std::function<FoundNode*()> selectedNode;
    // The source of the tree in hand; null after the user was told why not.
    std::function<PreviewSource()> openSource;
    // True while the tree's scan information is not saved anywhere.
    std::function<bool()> scanInfoUnsaved;
    std::function<void()> saveScanInfo;
};

class Previewer : public QObject {
    Q_OBJECT
public:
    static constexpr uint32_t kDumpLength = 2048;

    Previewer(Dialogs& dialogs, QWidget* mainWindow, PreviewHooks hooks, QObject* parent = nullptr);

    PreviewWindow& window();
    PreviewLoader& loader() { return loader_; }

public slots:
    // The View button, a double-click.
    void request();
    // A new row selected: previewed while the window is shown.
    void selectionChanged();
    void close();

signals:
    // A preview is on show (or has failed and been told).
    void previewShown();

private:
    enum class Reading { Picture, Media, Dump };
    void requestPreview();
    void previewSelected();
    void readFile(const FoundNode& node, uint64_t length, Reading reading, PreviewKind kind);
    void readDump(const QString& status);
    void loaded(const QByteArray& bytes, const QImage& picture);
    void readFailed();
    void bringUp();

    Dialogs& dialogs_;
    QPointer<QWidget> mainWindow_;
    PreviewHooks hooks_;
    QPointer<PreviewWindow> window_;  // a window of its own, owned by the main window; made when first needed
    PreviewLoader loader_;
    bool pending_ = false;
    bool adviceGiven_ = false;
    bool takeFocus_ = false;  // an explicit request brings the window to the front with the focus

    // The file on show.
    PreviewSource source_;
    QString fileName_;
    uint64_t fileSector_ = 0;
    Reading reading_ = Reading::Dump;
};

}  // namespace pelorin::ui
