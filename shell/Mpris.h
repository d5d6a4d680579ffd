// The media-player interfaces on the session bus (MPRIS 2): the root
// interface, the player and the named lists, at /org/mpris/MediaPlayer2.
// Commands go through the mini window's handlers, so the windows show the
// change, and are answered once they have taken effect; property changes are
// signalled as they happen. Every argument is checked: a wrong type or an
// absurd value is answered with a bus error or ignored. Qt; user-interface
// thread only.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QVariantMap>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/VAVIVerovu.h"
#include "shell/DesktopSession.h"

class TMainApp;

// The MIME types of the files the engine plays, from its patterns
// ("*.mp3;*.ogg;..."), sorted, without repeats.
QStringList MimeTypesForPatterns(const std::string& patterns);

class TMpris : public QDBusVirtualObject {
  public:
    static constexpr const char* kPath = "/org/mpris/MediaPlayer2";
    static constexpr const char* kRoot = "org.mpris.MediaPlayer2";
    static constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";
    static constexpr const char* kPlaylists = "org.mpris.MediaPlayer2.Playlists";
    static constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

    // `queue` runs the commands; both must outlive this object. Register()
    // after the start-up, when the controller exists.
    TMpris(TMainApp& app, TCommandQueue& queue);
    ~TMpris() override;

    // Publishes the object on `bus` (whose name the program already owns)
    // and follows the player's events. False when the path is taken.
    bool Register(const QDBusConnection& bus);
    // Stops following the player and leaves the bus (before the shutdown).
    void Unregister();

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

    // The current values of an interface's properties.
    QVariantMap Properties(const QString& interface) const;
    // Signals the properties that changed since the last call.
    void Refresh();
    // The current track's object path (changes with every stream opened).
    QString TrackId() const;

  private:
    bool handleProperties(const QDBusMessage& message);
    bool handleRoot(const QDBusMessage& message);
    bool handlePlayer(const QDBusMessage& message);
    bool handlePlaylists(const QDBusMessage& message);
    void setProperty(const QDBusMessage& message, const QString& interface, const QString& name,
                     const QVariant& value);
    // Queues a command; its reply (or the error text it returns) goes out
    // after it ran. The setters and commands below return an error text, empty
    // on success.
    void command(const QDBusMessage& message, std::function<QString()> run);
    void reply(const QDBusMessage& message, const QVariantList& arguments = {});
    void error(const QDBusMessage& message, const QString& name, const QString& text);

    QString setVolume(const QVariant& value);
    QString setLoopStatus(const QVariant& value);
    QString setShuffle(const QVariant& value);
    // The command of a Player method without arguments; empty when unknown.
    std::function<void()> transport(const QString& member);
    QString seekBy(qint64 offsetUs);
    QString setPositionOf(const QString& track, qint64 positionUs);
    QString openUri(const std::string& uri);
    void play();
    QString seekTo(std::int64_t ms);
    QString activatePlaylist(const QString& path);
    QVariantMap metadata() const;
    QString playbackStatus() const;
    QString loopStatus() const;
    void emitSeeked();
    bool eventFilter(QObject* watched, QEvent* event) override;

    TMainApp& m_app;
    TCommandQueue& m_queue;
    QDBusConnection m_bus{QString()};
    bool m_registered = false;
    std::uint64_t m_track = 0;                // bumped by every stream opened
    TNotifyModeChangeEvent m_prevModeChange;  // the handlers this object runs first
    TNotifyNetEvent m_prevGetMeta;
    QMap<QString, QVariantMap> m_sent;  // what the clients were last told, per interface
};
