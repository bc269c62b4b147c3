#pragma once
// Pictures for the preview window out of a found file's bytes: what kind of
// preview a file gets, the cover art of an MP3's ID3 tag, the preview JPEG
// inside a camera raw file, the composite image of a Photoshop document, and
// the sizes pictures are shown at. All of it works on bytes in memory and may
// run on any thread.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>

namespace pelorin::ui {

enum class PreviewKind {
    Picture,      // something QImage reads
    CameraRaw,    // a raw file: its embedded preview JPEG
    Photoshop,    // a PSD: its composite image
    Media,        // audio or video, for the player
    Unsupported,  // a dump of the first bytes
};

// By the file name's extension (the part after its last ".").
PreviewKind previewKindFor(const QString& fileName);
// True for a Nikon NEF, whose tiny pictures are blown up to 300 x 200.
bool isNikonRaw(const QString& fileName);

// Drops bits 31, 23, 15 and 7 of a synchsafe integer and packs the other 28.
uint32_t synchsafeValue(uint32_t value);

// The picture of the first APIC frame of an ID3v2 tag at the start of the
// bytes; empty when there is none or a size points outside the tag or the bytes.
QByteArray id3CoverArt(const QByteArray& bytes);

// The largest JPEG the raw file's own structure points to within the bytes
// (TIFF directories and their sub-directories, RAF's header; other layouts:
// the largest JPEG stream found in them). Empty when there is none.
QByteArray cameraRawPreviewJpeg(const QByteArray& bytes);

// The composite image stored at the end of a PSD (8-bit grey, RGB or CMYK;
// raw or RLE). Null when the bytes hold none of those.
QImage photoshopComposite(const QByteArray& bytes);

// The size a picture of `size` is shown at: fitted into `box` keeping its
// aspect ratio when it is larger, else unchanged.
QSize fittedSize(QSize size, QSize box);
// The preview window's rule: fitted into 400 x 250; a NEF below 50 pixels
// either way is shown at 300 x 200.
QSize previewDisplaySize(QSize size, bool nikonRaw);

// Decodes picture-like bytes of a kind (a raw file's preview, a PSD's
// composite, anything QImage reads) fitted into `box`, or by the preview
// window's rule when `box` is empty. JPEGs are decoded at the smaller size
// directly. Null when undecodable.
QImage decodePicture(const QByteArray& bytes, PreviewKind kind, QSize box = {}, bool nikonRaw = false);

// A printable dump: every byte below 32 or from 127 up becomes ".".
QString printableDump(const QByteArray& bytes);

}  // namespace pelorin::ui
