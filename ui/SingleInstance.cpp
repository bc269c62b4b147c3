#include "ui/SingleInstance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <cerrno>
#include <memory>

#include "ui/AppController.h"

namespace pelorin::ui {

namespace {

// Far more than any path; a sender that goes on is not listened to.
constexpr qsizetype kLongestMessage = 64 * 1024;

// A real folder (not a link to one) of this user's that nobody else may enter.
bool isPrivateFolder(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

}  // namespace

QString SingleInstance::userServerName() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && isPrivateFolder(runtime)) return QFile::decodeName(runtime) + '/' + kServerName;
    // No runtime folder: a folder of our own in the temporary folder. One
    // that someone else made first, or opened to others, is not used.
    const QByteArray folder = QFile::encodeName(QDir::tempPath()) + "/pelorin-" + QByteArray::number(::getuid());
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST) return {};
    if (!isPrivateFolder(folder)) return {};
    return QFile::decodeName(folder) + '/' + kServerName;
}

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent), serverName_(std::move(serverName)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

SingleInstance::Start SingleInstance::start() {
    if (serverName_.isEmpty()) return Start::NoServer;
    // Asked first: listening would put a new socket in the place of a
    // running instance's. Where nobody answers, the socket is one left by an
    // instance that crashed.
    QLocalSocket probe;
    probe.connectToServer(serverName_);
    if (probe.waitForConnected(1000)) {
        probe.disconnectFromServer();
        return Start::AnotherIsRunning;
    }
    QLocalServer::removeServer(serverName_);
    if (server_.listen(serverName_)) return Start::Serving;
    qWarning("Running without a message server (%s): %s", qPrintable(serverName_), qPrintable(server_.errorString()));
    return Start::NoServer;
}

QString SingleInstance::messageForLaunch(const QString& file) {
    // The first instance runs in another folder: it needs the whole path.
    if (file.endsWith(QStringLiteral(".rvx"))) return QFileInfo(file).absoluteFilePath();
    return kBringFront;
}

bool SingleInstance::send(const QString& serverName, const QString& message, int timeoutMs) {
    if (serverName.isEmpty()) return false;
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(message.toUtf8());
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(timeoutMs)) return false;
    // The end of the connection ends the message.
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMs);
    return true;
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        struct Received {
            QByteArray text;
            bool tooLong = false;
        };
        auto received = std::make_shared<Received>();
        connect(socket, &QLocalSocket::readyRead, socket, [socket, received] {
            received->text += socket->readAll();
            if (received->text.size() > kLongestMessage) {
                received->tooLong = true;
                socket->abort();
            }
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, received] {
            received->text += socket->readAll();
            socket->deleteLater();
            if (!received->tooLong) dispatch(QString::fromUtf8(received->text));
        });
    }
}

void SingleInstance::dispatch(const QString& message) {
    if (message.isEmpty()) return;  // a launch that only looked whether we run
    if (message == kBringFront)
        emit bringFrontRequested();
    else if (message == kAlreadyRunning)
        emit alreadyRunningReported();
    else
        emit scanInfoFileHandedOver(message);
}

void SingleInstance::deliverTo(AppController& controller) {
    connect(this, &SingleInstance::bringFrontRequested, &controller, &AppController::bringMainWindowToFront);
    connect(this, &SingleInstance::alreadyRunningReported, &controller, &AppController::displayAlreadyRunningPanel);
    connect(this, &SingleInstance::scanInfoFileHandedOver, &controller, &AppController::openHandedOverScanInfo);
}

}  // namespace pelorin::ui
