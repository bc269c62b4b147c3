#pragma once
// The preview window: a found file as a picture, in a player (audio and
// video, with a play button and its cover art), as a dump of its first bytes,
// or a folder as the theme's folder icon. It shows what it is given; the
// Previewer decides what that is.

#include <QBuffer>
#include <QImage>
#include <QWidget>
#include <memory>

class QLabel;
class QMediaPlayer;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QVideoWidget;
class QAudioOutput;

namespace pelorin::ui {

class PreviewWindow : public QWidget {
    Q_OBJECT
public:
    enum class Page { Loading, Image, Text, Media };

    explicit PreviewWindow(QWidget* parent = nullptr);
    ~PreviewWindow() override;

    void showLoading(const QString& fileName);
    void showPicture(const QImage& picture, const QString& fileName);
    void showFolder(const QString& folderName);
    void showText(const QString& dump);
    // Hands the bytes to the player; the name's extension tells it the type.
    void showMedia(const QByteArray& bytes, const QString& fileName);
    void setStatus(const QString& status);
    // Stops and drops the media, and forgets the picture.
    void clear();

    Page page() const;
    QString fileName() const;
    QString status() const;
    QImage picture() const { return picture_; }
    QString text() const;
    QString mediaName() const;
    QString mediaStatus() const;
    QImage cover() const { return cover_; }
    // Null until the first audio or video.
    QMediaPlayer* player() const { return player_; }
    QPushButton& playButton() const { return *playButton_; }
    QVideoWidget* videoWidget() const { return videoWidget_; }

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void makePlayer();
    void mediaStatusChanged();
    void showCover(const QImage& image);

    QLabel* fileNameLabel_;
    QStackedWidget* pages_;
    QLabel* imageLabel_;
    QPlainTextEdit* textView_;
    QStackedWidget* mediaView_;
    QVideoWidget* videoWidget_ = nullptr;
    QLabel* coverLabel_;
    QLabel* mediaNameLabel_;
    QLabel* mediaStatusLabel_;
    QPushButton* playButton_;
    QLabel* statusLabel_;
    QMediaPlayer* player_ = nullptr;
    QAudioOutput* audio_ = nullptr;
    std::unique_ptr<QBuffer> mediaBytes_;
    QString mediaFileName_;
    QImage picture_;
    QImage cover_;
};

}  // namespace pelorin::ui
