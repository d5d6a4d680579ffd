#include "shell/SingleInstance.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

namespace {

constexpr quint32 kSocketMagic = 0x51756931;  // "Qui1": a hand-over follows
constexpr quint32 kMaxHandOverBytes = 16 * 1024 * 1024;
constexpr qint64 kHeaderBytes = 8;
constexpr char kAck = 'k';

void putU32(QByteArray& out, quint32 v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.append(char((v >> shift) & 0xff));
}

quint32 getU32(const QByteArray& in, int at) {
    quint32 v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | quint8(in[at + i]);
    return v;
}

// A hand-over on the socket: the magic, the payload's length (both 32-bit,
// big-endian), then the names in UTF-8, separated by NUL characters.
QByteArray encodeHandOver(const QStringList& names) {
    const QByteArray payload = names.join(QChar(0)).toUtf8();
    QByteArray out;
    putU32(out, kSocketMagic);
    putU32(out, quint32(payload.size()));
    return out + payload;
}

enum class TDecoded { Incomplete, Bad, Done };

TDecoded decodeHandOver(QIODevice* in, QStringList& names) {
    if (in->bytesAvailable() < kHeaderBytes) return TDecoded::Incomplete;
    const QByteArray header = in->peek(kHeaderBytes);
    const quint32 length = getU32(header, 4);
    if (getU32(header, 0) != kSocketMagic || length > kMaxHandOverBytes) return TDecoded::Bad;
    if (in->bytesAvailable() < kHeaderBytes + qint64(length)) return TDecoded::Incomplete;
    in->skip(kHeaderBytes);
    const QByteArray payload = in->read(length);
    if (!payload.isEmpty()) names = QString::fromUtf8(payload).split(QChar(0));
    return TDecoded::Done;
}

// The primary's object on the bus: Open(as) hands names over.
class TInstanceObject : public QDBusVirtualObject {
  public:
    explicit TInstanceObject(TSingleInstance& owner) : m_owner(owner) {}

    QString introspect(const QString&) const override {
        return QStringLiteral(
            "<interface name=\"quillet.Instance\">"
            "<method name=\"Open\"><arg name=\"names\" type=\"as\" direction=\"in\"/></method>"
            "</interface>");
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != TSingleInstance::kInterface && !message.interface().isEmpty())
            return false;
        if (message.member() != "Open") return false;
        if (message.signature() != "as") {
            connection.send(
                message.createErrorReply(QDBusError::InvalidArgs, "Open takes a list of names (as)"));
            return true;
        }
        m_owner.Receive(message.arguments().at(0).toStringList());
        connection.send(message.createReply());
        return true;
    }

  private:
    TSingleInstance& m_owner;
};

}  // namespace

TSingleInstance::TSingleInstance(TOptions options) : m_options(std::move(options)) {}
TSingleInstance::TSingleInstance() : TSingleInstance(TOptions{}) {}

TSingleInstance::~TSingleInstance() {
    if (m_onBus && m_role == TRole::Primary) {
        m_bus.unregisterService(kBusName);
        m_bus.unregisterObject(kObjectPath);
    }
    if (m_server) m_server->close();  // removes the socket file
}

QString TSingleInstance::SocketPath() const {
    QString folder = QString::fromStdString(m_options.runtimeFolder);
    if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder + "/quillet.sock";
}

bool TSingleInstance::busAvailable() const {
    if (!m_options.useBus) return false;
    // Only a bus that is already there: asking libdbus for a session bus
    // without an address may start one.
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + "/bus").exists();
}

TSingleInstance::TRole TSingleInstance::Claim(const QStringList& names) {
    if (busAvailable()) {
        m_bus = QDBusConnection::sessionBus();
        if (m_bus.isConnected()) {
            m_onBus = true;
            m_role = claimOnBus(names);
            return m_role;
        }
    }
    m_role = claimOnSocket(names);
    return m_role;
}

// ---- the bus ----

TSingleInstance::TRole TSingleInstance::claimOnBus(const QStringList& names) {
    // The object first, so a later start that finds the name also finds it.
    m_busObject = std::make_unique<TInstanceObject>(*this);
    if (!m_bus.registerVirtualObject(kObjectPath, m_busObject.get())) {
        m_error = "cannot register " + QString(kObjectPath) + " on the session bus";
        m_busObject.reset();
        return TRole::Failed;
    }
    const QDeadlineTimer deadline(m_options.timeoutMs);
    for (;;) {
        if (m_bus.registerService(kBusName)) return TRole::Primary;
        QDBusMessage call = QDBusMessage::createMethodCall(kBusName, kObjectPath, kInterface, "Open");
        call << names;
        const QDBusMessage reply =
            m_bus.call(call, QDBus::Block, int(std::max<qint64>(deadline.remainingTime(), 1)));
        if (reply.type() == QDBusMessage::ReplyMessage) {
            m_bus.unregisterObject(kObjectPath);
            m_busObject.reset();
            return TRole::HandedOver;
        }
        m_error = reply.errorMessage();
        // The primary may be going (its name is released) or coming (its
        // object is not there yet): try again until the time is up.
        if (deadline.hasExpired()) break;
        QThread::msleep(50);
    }
    m_bus.unregisterObject(kObjectPath);
    m_busObject.reset();
    return TRole::Failed;
}

// ---- the socket ----

TSingleInstance::TRole TSingleInstance::claimOnSocket(const QStringList& names) {
    const QString path = SocketPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QDeadlineTimer deadline(m_options.timeoutMs);
    while (!deadline.hasExpired()) {
        // A running program takes the names without the lock; only a start
        // that finds none takes the lock and looks again before listening.
        if (handOverOnSocket(names)) return TRole::HandedOver;
        QLockFile lock(path + ".lock");
        if (!lock.tryLock(int(std::max<qint64>(deadline.remainingTime(), 0)))) {
            m_error = "cannot lock " + path + ".lock";
            return TRole::Failed;
        }
        QLocalSocket probe;
        probe.connectToServer(path);
        const bool answered = probe.waitForConnected(2000);
        const QLocalSocket::LocalSocketError why = probe.error();
        // Only a socket nobody listens on (left by a crashed program) or none
        // at all is taken over; a busy program (a full backlog) is waited for.
        if (!answered &&
            (why == QLocalSocket::ConnectionRefusedError || why == QLocalSocket::ServerNotFoundError)) {
            QLocalServer::removeServer(path);
            m_server = std::make_unique<QLocalServer>();
            m_server->setSocketOptions(QLocalServer::UserAccessOption);
            m_server->setMaxPendingConnections(128);  // a burst of later starts
            if (!m_server->listen(path)) {
                m_error = "cannot listen on " + path + ": " + m_server->errorString();
                m_server.reset();
                return TRole::Failed;
            }
            QObject::connect(m_server.get(), &QLocalServer::newConnection, &m_context,
                             [this] { acceptSocket(); });
            return TRole::Primary;
        }
        lock.unlock();
        QThread::msleep(50);
    }
    if (m_error.isEmpty()) m_error = "the running program did not answer on " + path;
    return TRole::Failed;
}

bool TSingleInstance::handOverOnSocket(const QStringList& names) {
    QLocalSocket socket;
    socket.connectToServer(SocketPath());
    if (!socket.waitForConnected(2000)) {
        m_error = socket.errorString();
        return false;
    }
    const QByteArray bytes = encodeHandOver(names);
    socket.write(bytes);
    if (!socket.waitForBytesWritten(m_options.timeoutMs)) {
        m_error = socket.errorString();
        return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(m_options.timeoutMs)) {
            m_error = "no answer: " + socket.errorString();
            return false;
        }
    }
    char ack = 0;
    return socket.getChar(&ack) && ack == kAck;
}

void TSingleInstance::acceptSocket() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            QStringList names;
            const TDecoded state = decodeHandOver(socket, names);
            if (state == TDecoded::Incomplete) return;
            if (state == TDecoded::Bad) {
                socket->abort();
                return;
            }
            Receive(names);
            socket->putChar(kAck);
            socket->flush();
            socket->disconnectFromServer();
        });
    }
}

// ---- delivery ----

void TSingleInstance::Receive(const QStringList& names) {
    m_pending.push_back(names);
    scheduleDelivery();
}

void TSingleInstance::SetReceiver(std::function<void(const QStringList&)> receiver) {
    m_receiver = std::move(receiver);
    scheduleDelivery();
}

void TSingleInstance::scheduleDelivery() {
    if (!m_receiver || m_pending.empty() || m_scheduled || m_delivering) return;
    m_scheduled = true;
    QTimer::singleShot(0, &m_context, [this] { deliver(); });
}

void TSingleInstance::deliver() {
    m_scheduled = false;
    if (!m_receiver || m_pending.empty() || m_delivering) return;
    // One at a time: a hand-over that comes while one is played (the engine
    // may wait with the event loop running) waits for the next turn.
    m_delivering = true;
    const QStringList names = m_pending.front();
    m_pending.pop_front();
    m_receiver(names);
    m_delivering = false;
    scheduleDelivery();
}
