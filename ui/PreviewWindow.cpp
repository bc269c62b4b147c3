#include "ui/PreviewWindow.h"

#include <QAudioOutput>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFileIconProvider>
#include <QLabel>
#include <QMediaMetaData>
#include <QMediaPlayer>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>

#include "ui/PreviewPicture.h"

namespace pelorin::ui {

namespace {

const QSize kCoverBox(100, 100);

QLabel* centredLabel() {
    auto* label = new QLabel;
    label->setAlignment(Qt::AlignCenter);
    return label;
}

}  // namespace

PreviewWindow::PreviewWindow(QWidget* parent)
    : QWidget(parent, Qt::Window),
      fileNameLabel_(centredLabel()),
      pages_(new QStackedWidget),
      imageLabel_(centredLabel()),
      textView_(new QPlainTextEdit),
      mediaView_(new QStackedWidget),
      coverLabel_(centredLabel()),
      mediaNameLabel_(centredLabel()),
      mediaStatusLabel_(centredLabel()),
      playButton_(new QPushButton(style()->standardIcon(QStyle::SP_MediaPlay), tr("Play"))),
      statusLabel_(centredLabel()) {
    setWindowTitle(tr("Preview"));
    fileNameLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    fileNameLabel_->setWordWrap(true);

    auto* loading = new QWidget;
    auto* loadingLayout = new QVBoxLayout(loading);
    auto* busy = new QProgressBar;
    busy->setRange(0, 0);
    busy->setMaximumWidth(240);
    loadingLayout->addStretch();
    loadingLayout->addWidget(new QLabel(tr("Loading preview…")), 0, Qt::AlignCenter);
    loadingLayout->addWidget(busy, 0, Qt::AlignCenter);
    loadingLayout->addStretch();

    textView_->setReadOnly(true);
    textView_->setUndoRedoEnabled(false);
    textView_->setTextInteractionFlags(Qt::NoTextInteraction);
    textView_->setFont(QFont(QStringLiteral("monospace")));
    textView_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    textView_->setWordWrapMode(QTextOption::WrapAnywhere);

    auto* media = new QWidget;
    auto* mediaLayout = new QVBoxLayout(media);
    mediaView_->addWidget(coverLabel_);
    mediaView_->setMinimumSize(320, 200);
    mediaNameLabel_->setWordWrap(true);
    mediaLayout->addWidget(mediaView_, 1);
    mediaLayout->addWidget(mediaNameLabel_);
    mediaLayout->addWidget(mediaStatusLabel_);
    mediaLayout->addWidget(playButton_, 0, Qt::AlignCenter);

    pages_->addWidget(loading);
    pages_->addWidget(imageLabel_);
    pages_->addWidget(textView_);
    pages_->addWidget(media);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    for (const auto key : {QKeySequence::Cancel, QKeySequence::Close})
        connect(new QShortcut(key, this), &QShortcut::activated, this, &QWidget::close);
    statusLabel_->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fileNameLabel_);
    layout->addWidget(pages_, 1);
    layout->addWidget(statusLabel_);
    layout->addWidget(buttons);
    pages_->setMinimumSize(420, 280);
}

// The media framework starts with the first player: made at the first audio or video.
void PreviewWindow::makePlayer() {
    if (player_) return;
    videoWidget_ = new QVideoWidget;
    mediaView_->addWidget(videoWidget_);
    player_ = new QMediaPlayer(this);
    audio_ = new QAudioOutput(this);
    player_->setAudioOutput(audio_);
    player_->setVideoOutput(videoWidget_);
    connect(playButton_, &QPushButton::clicked, player_, &QMediaPlayer::play);
    connect(player_, &QMediaPlayer::mediaStatusChanged, this, &PreviewWindow::mediaStatusChanged);
    connect(player_, &QMediaPlayer::hasVideoChanged, this, [this](bool video) {
        mediaView_->setCurrentWidget(video ? static_cast<QWidget*>(videoWidget_) : coverLabel_);
    });
    connect(player_, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error) {
        if (error == QMediaPlayer::NoError) return;
        mediaStatusLabel_->setText(QStringLiteral("!Error: could not initialize"));
        mediaNameLabel_->setText(mediaFileName_);
    });
}

PreviewWindow::~PreviewWindow() { clear(); }

void PreviewWindow::showLoading(const QString& fileName) {
    clear();
    fileNameLabel_->setText(fileName);
    statusLabel_->clear();
    pages_->setCurrentIndex(int(Page::Loading));
}

void PreviewWindow::showPicture(const QImage& picture, const QString& fileName) {
    picture_ = picture;
    fileNameLabel_->setText(fileName);
    imageLabel_->setPixmap(QPixmap::fromImage(picture));
    pages_->setCurrentIndex(int(Page::Image));
}

void PreviewWindow::showFolder(const QString& folderName) {
    const QIcon icon = QIcon::fromTheme(QStringLiteral("folder"), QFileIconProvider().icon(QFileIconProvider::Folder));
    showPicture(icon.pixmap(128, 128).toImage().scaled(128, 128, Qt::KeepAspectRatio, Qt::SmoothTransformation),
                folderName);
}

void PreviewWindow::showText(const QString& dump) {
    picture_ = {};
    imageLabel_->clear();
    textView_->setPlainText(dump);
    pages_->setCurrentIndex(int(Page::Text));
}

void PreviewWindow::showMedia(const QByteArray& bytes, const QString& fileName) {
    clear();
    mediaFileName_ = fileName;
    fileNameLabel_->setText(fileName);
    mediaNameLabel_->setText(fileName);
    mediaStatusLabel_->setText(QStringLiteral(" "));
    mediaView_->setCurrentWidget(coverLabel_);
    showCover(QImage::fromData(id3CoverArt(bytes)));
    pages_->setCurrentIndex(int(Page::Media));
    makePlayer();
    // The buffer outlives the player's use of it: it goes only after the source is dropped.
    mediaBytes_ = std::make_unique<QBuffer>();
    mediaBytes_->setData(bytes);
    mediaBytes_->open(QIODevice::ReadOnly);
    player_->setSourceDevice(mediaBytes_.get(), QUrl(fileName));
}

void PreviewWindow::setStatus(const QString& status) { statusLabel_->setText(status); }

void PreviewWindow::clear() {
    if (player_) {
        player_->stop();
        player_->setSourceDevice(nullptr);
    }
    mediaBytes_.reset();
    mediaFileName_.clear();
    picture_ = {};
    cover_ = {};
    imageLabel_->clear();
    coverLabel_->clear();
}

PreviewWindow::Page PreviewWindow::page() const { return Page(pages_->currentIndex()); }
QString PreviewWindow::fileName() const { return fileNameLabel_->text(); }
QString PreviewWindow::status() const { return statusLabel_->text(); }
QString PreviewWindow::text() const { return textView_->toPlainText(); }
QString PreviewWindow::mediaName() const { return mediaNameLabel_->text(); }
QString PreviewWindow::mediaStatus() const { return mediaStatusLabel_->text(); }

void PreviewWindow::closeEvent(QCloseEvent* event) {
    clear();
    event->accept();
    emit closed();
}

void PreviewWindow::mediaStatusChanged() {
    switch (player_->mediaStatus()) {
    case QMediaPlayer::LoadedMedia: {
        const QMediaMetaData meta = player_->metaData();
        const QString title = meta.stringValue(QMediaMetaData::Title);
        if (!title.isEmpty()) mediaNameLabel_->setText(title);
        mediaStatusLabel_->setText(QStringLiteral("Click Play button"));
        for (const auto key : {QMediaMetaData::CoverArtImage, QMediaMetaData::ThumbnailImage}) {
            const QImage poster = meta.value(key).value<QImage>();
            if (!poster.isNull()) {
                showCover(poster);
                break;
            }
        }
        break;
    }
    case QMediaPlayer::InvalidMedia:
        if (mediaStatusLabel_->text() != QStringLiteral("!Error: could not initialize")) {
            mediaStatusLabel_->setText(QStringLiteral("!Error. Cannot initialise the movie"));
            mediaNameLabel_->setText(mediaFileName_);
        }
        break;
    default: break;
    }
}

void PreviewWindow::showCover(const QImage& image) {
    if (image.isNull()) return;
    cover_ = image.scaled(fittedSize(image.size(), kCoverBox), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    coverLabel_->setPixmap(QPixmap::fromImage(cover_));
}

}  // namespace pelorin::ui
