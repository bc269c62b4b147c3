#include "ui/Previewer.h"

#include <QWidget>
#include <algorithm>

#include "app/Texts.h"
#include "ui/Dialogs.h"
#include "ui/WindowTexts.h"

namespace pelorin::ui {

namespace {

const QString kRawJpgFolder = QStringLiteral("RAW Jpg Files");
const QString kAdviceTitle = QStringLiteral("Information ");
const QString kAdvice = QStringLiteral(
    "It is strongly recommended to save 'Scan Information' before proceeding further. Though every case has been "
    "taken to avoid unexpected errors, large corrupted files might cause software to become unstable and delay the "
    "preview display. Saving 'Scan Information' would be helpful to reload the tree which would avoid rescanning "
    "the drive in unstable conditions or if any unexpected erros occur.\n");

}  // namespace

Previewer::Previewer(Dialogs& dialogs, QWidget* mainWindow, PreviewHooks hooks, QObject* parent)
    : QObject(parent),
      dialogs_(dialogs),
      mainWindow_(mainWindow),
      hooks_(std::move(hooks)) {
    connect(&loader_, &PreviewLoader::loaded, this, &Previewer::loaded);
    connect(&loader_, &PreviewLoader::aborted, this, &Previewer::previewSelected);
    connect(&loader_, &PreviewLoader::failed, this, &Previewer::readFailed);
}

// Made at the first preview: the player it holds starts the media framework.
PreviewWindow& Previewer::window() {
    if (!window_) {
        window_ = new PreviewWindow(mainWindow_);
        connect(window_, &PreviewWindow::closed, this, [this] {
            pending_ = false;
            loader_.abort();
            source_ = {};
        });
    }
    return *window_;
}

void Previewer::request() {
    takeFocus_ = true;
    requestPreview();
}

void Previewer::requestPreview() {
    pending_ = true;
    if (loader_.running()) {
        loader_.abort();  // the abort brings the request back
        return;
    }
    previewSelected();
}

void Previewer::selectionChanged() {
    // Keeps the focus where it is, so that the arrow keys go on moving through the list.
    if (window_ && window_->isVisible() && hooks_.selectedNode()) requestPreview();
}

void Previewer::close() {
    if (window_) window_->close();
}

void Previewer::previewSelected() {
    FoundNode* node = hooks_.selectedNode();
    if (!pending_ || !node) return;
    pending_ = false;
    if (!adviceGiven_ && hooks_.scanInfoUnsaved()) {
        adviceGiven_ = true;
        if (dialogs_.alert(mainWindow_, {kAdviceTitle,
                                         kAdvice,
                                         {QStringLiteral("Save ScanInfo"), QStringLiteral("Preview")},
                                         Alert::Icon::Information}) == 0) {
            hooks_.saveScanInfo();
            return;
        }
    }
    adviceGiven_ = true;
    fileName_ = QString::fromStdString(node->fileName());
    if (node->isFolder()) {
        window().clear();
        window().setStatus({});
        window().showFolder(fileName_);
        bringUp();
        emit previewShown();
        return;
    }
    source_ = hooks_.openSource();
    if (!source_.source) return;
    fileSector_ = node->sectorNumber();
    window().showLoading(fileName_);
    bringUp();

    const PreviewKind kind = previewKindFor(fileName_);
    if (kind == PreviewKind::Unsupported) {
        readDump(QStringLiteral("Preview not supported for this file type"));
    } else if (kind == PreviewKind::Media) {
        readFile(*node, std::min(node->fileSize(), kPreviewReadLimit), Reading::Media, kind);
    } else if (const auto picture = pictureReadFor(*node, source_.sectorSize)) {
        readFile(*picture->node, picture->length, Reading::Picture, picture->kind);
    } else {
        readDump(QStringLiteral("File size too large to preview"));
    }
}

void Previewer::readFile(const FoundNode& node, uint64_t length, Reading reading, PreviewKind kind) {
    reading_ = reading;
    PreviewRead read = previewReadOf(source_.source, node, source_.sectorSize, length);
    if (reading == Reading::Picture) {
        const bool nikon = isNikonRaw(fileName_);
        read.picture = [kind, nikon](const QByteArray& bytes) { return decodePicture(bytes, kind, {}, nikon); };
    }
    loader_.start(std::move(read));
}

// The first bytes of the file's first sector, whatever its start offset in it.
void Previewer::readDump(const QString& status) {
    window().setStatus(status);
    reading_ = Reading::Dump;
    loader_.start({source_.source, {{fileSector_ * source_.sectorSize, kDumpLength}}, kDumpLength, 1, {}});
}

void Previewer::loaded(const QByteArray& bytes, const QImage& picture) {
    switch (reading_) {
    case Reading::Picture:
        if (picture.isNull()) {
            readDump(QStringLiteral("Preview not available, file might be corrupt."));
            return;
        }
        window().showPicture(picture, fileName_);
        break;
    case Reading::Media: window().showMedia(bytes, fileName_); break;
    case Reading::Dump: window().showText(printableDump(bytes)); break;
    }
    bringUp();
    emit previewShown();
}

void Previewer::readFailed() {
    dialogs_.alert(mainWindow_,
                   {QString::fromUtf8(texts::kDriveCannotOpen.data(), qsizetype(texts::kDriveCannotOpen.size())),
                    QStringLiteral(" "),
                    {words::kOK},
                    Alert::Icon::Warning});
    window().close();
    emit previewShown();
}

void Previewer::bringUp() {
    window().show();
    window().raise();
    if (takeFocus_) window().activateWindow();
    takeFocus_ = false;
}

const FoundNode* filedRawPreview(const FoundNode& raw, uint32_t sectorSize) {
    const FoundNode* folder = raw.parent();
    const FoundNode* root = folder ? folder->parent() : nullptr;
    if (!root || sectorSize == 0) return nullptr;
    const uint64_t rawSectors =
        (uint64_t(std::max(raw.extraBytesToMove(), 0)) + raw.fileSize() + sectorSize - 1) / sectorSize;
    const FoundNode* best = nullptr;
    for (const auto& child : root->children()) {
        if (!child->isFolder() || QString::fromStdString(child->fileName()) != kRawJpgFolder) continue;
        for (const auto& jpeg : child->children()) {
            const uint64_t sector = jpeg->sectorNumber();
            if (sector < raw.sectorNumber() || sector - raw.sectorNumber() >= rawSectors) continue;
            if (!best || jpeg->fileSize() > best->fileSize()) best = jpeg.get();
        }
    }
    return best;
}

std::optional<PictureRead> pictureReadFor(const FoundNode& file, uint32_t sectorSize) {
    const PreviewKind kind = previewKindFor(QString::fromStdString(file.fileName()));
    switch (kind) {
    case PreviewKind::Picture:
    case PreviewKind::Photoshop:
        if (file.fileSize() >= kPicturePreviewLimit) return std::nullopt;
        return PictureRead{&file, file.fileSize(), kind};
    case PreviewKind::CameraRaw:
        if (const FoundNode* jpeg = filedRawPreview(file, sectorSize); jpeg && jpeg->fileSize() < kPicturePreviewLimit)
            return PictureRead{jpeg, jpeg->fileSize(), PreviewKind::Picture};
        return PictureRead{&file, std::min(file.fileSize(), kPreviewReadLimit), kind};
    default: return std::nullopt;
    }
}

}  // namespace pelorin::ui
