#pragma once
// One running Pelorin per user. The first to start serves a local socket; a
// later start hands its wish to it (come to the front, or open a scan-info
// file) and ends. One text arrives per connection:
//   "BringFront"      the window comes to the front
//   "AlreadyRunning"  the window says a file cannot be opened now
//   anything else     the path of a scan-info file to open
// The socket lies in a folder only its user can enter and is made for its
// user alone, so no other user can send it paths or serve the name first.

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace pelorin::ui {

class AppController;

class SingleInstance final : public QObject {
    Q_OBJECT
public:
    static inline const QString kServerName = QStringLiteral("Vellmark.Ombrelo.server");
    static inline const QString kBringFront = QStringLiteral("BringFront");
    static inline const QString kAlreadyRunning = QStringLiteral("AlreadyRunning");

    // The socket's path for the user running this process: in
    // $XDG_RUNTIME_DIR when that is the user's own private folder, else in a
    // private folder of the user's in the temporary folder. Empty when
    // neither can be had safely.
    static QString userServerName();

    enum class Start { Serving, AnotherIsRunning, NoServer };

    explicit SingleInstance(QString serverName, QObject* parent = nullptr);

    const QString& serverName() const { return serverName_; }
    // Serves the name, unless another instance answers on it. A socket left
    // behind by an instance that crashed is removed first.
    Start start();

    // What a second launch with `file` (may be empty) sends: a scan-info
    // file by its absolute path, otherwise a request to come to the front.
    static QString messageForLaunch(const QString& file);
    // Delivers one message to the instance serving `serverName`; false when
    // none took it within the time.
    static bool send(const QString& serverName, const QString& message, int timeoutMs = 3000);

    // Routes every message received to the controller's actions.
    void deliverTo(AppController& controller);

signals:
    void bringFrontRequested();
    void alreadyRunningReported();
    void scanInfoFileHandedOver(const QString& path);

private:
    void acceptConnections();
    void dispatch(const QString& message);

    QString serverName_;
    QLocalServer server_;
};

}  // namespace pelorin::ui
