// One running program per user session. The first start becomes the
// primary and receives the names later starts hand over; a later start hands
// its names over and ends. Through the session bus where there is one (the
// primary owns the bus name the media-player interface is published under),
// otherwise through a local socket in the user's runtime folder, guarded by
// a lock file so two starts never both listen; a socket left by a crashed
// program is taken over. Qt; user-interface thread only.
#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QLocalServer>
#include <QLockFile>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <string>

class TSingleInstance {
  public:
    // The bus name of the running program.
    static constexpr const char* kBusName = "org.mpris.MediaPlayer2.quillet";
    static constexpr const char* kObjectPath = "/quillet/Instance";
    static constexpr const char* kInterface = "quillet.Instance";

    enum class TRole {
        Primary,     // this process is the running program
        HandedOver,  // another one runs and took the names
        Failed,      // another one runs but did not answer
    };

    struct TOptions {
        // Use the session bus when one is reachable (the tests turn it off to
        // exercise the socket).
        bool useBus = true;
        // The folder of the socket and its lock; empty: the user's runtime
        // folder.
        std::string runtimeFolder;
        // How long a later start waits for the primary's answer.
        int timeoutMs = 30000;
    };

    explicit TSingleInstance(TOptions options);
    TSingleInstance();
    ~TSingleInstance();
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    // Becomes the primary, or hands `names` (resolved; empty: show the
    // playlist window) to the primary that runs.
    TRole Claim(const QStringList& names);
    TRole Role() const { return m_role; }
    // Why a hand-over failed.
    const QString& Error() const { return m_error; }
    // The bus the primary owns its name on; not connected when the socket
    // serves.
    const QDBusConnection& Bus() const { return m_bus; }
    bool OnBus() const { return m_onBus; }
    QString SocketPath() const;

    // The primary: called with each hand-over, in the order they came, one
    // at a time, from the event loop (never inside a bus or socket handler).
    // Hand-overs that came before it was set are delivered once it is.
    void SetReceiver(std::function<void(const QStringList&)> receiver);
    // Hand-overs received and not yet delivered.
    std::size_t Pending() const { return m_pending.size(); }

    // Queues a hand-over for delivery (the bus object and the socket call it).
    void Receive(const QStringList& names);

  private:
    bool busAvailable() const;
    TRole claimOnBus(const QStringList& names);
    TRole claimOnSocket(const QStringList& names);
    bool handOverOnSocket(const QStringList& names);
    void acceptSocket();
    void scheduleDelivery();
    void deliver();

    TOptions m_options;
    TRole m_role = TRole::Failed;
    QString m_error;
    QDBusConnection m_bus{QString()};
    bool m_onBus = false;
    std::unique_ptr<QDBusVirtualObject> m_busObject;
    std::unique_ptr<QLocalServer> m_server;
    std::unique_ptr<QLockFile> m_lock;
    std::function<void(const QStringList&)> m_receiver;
    std::deque<QStringList> m_pending;
    bool m_delivering = false;
    bool m_scheduled = false;
    QObject m_context;  // owns the timers and socket connections
};
