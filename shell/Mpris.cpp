#include "shell/Mpris.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "shell/CommandLine.h"
#include "shell/UMainApp.h"
#include "shell/Ufuncs.h"

// ---- the Playlists interface's structures ----

struct TMprisPlaylist {
    QDBusObjectPath id;
    QString name;
    QString icon;
    bool operator==(const TMprisPlaylist& other) const {
        return id == other.id && name == other.name && icon == other.icon;
    }
};
struct TMaybePlaylist {
    bool valid = false;
    TMprisPlaylist playlist;
    bool operator==(const TMaybePlaylist& other) const {
        return valid == other.valid && playlist == other.playlist;
    }
};
Q_DECLARE_METATYPE(TMprisPlaylist)
Q_DECLARE_METATYPE(TMaybePlaylist)

QDBusArgument& operator<<(QDBusArgument& arg, const TMprisPlaylist& p) {
    arg.beginStructure();
    arg << p.id << p.name << p.icon;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, TMprisPlaylist& p) {
    arg.beginStructure();
    arg >> p.id >> p.name >> p.icon;
    arg.endStructure();
    return arg;
}
QDBusArgument& operator<<(QDBusArgument& arg, const TMaybePlaylist& p) {
    arg.beginStructure();
    arg << p.valid << p.playlist;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, TMaybePlaylist& p) {
    arg.beginStructure();
    arg >> p.valid >> p.playlist;
    arg.endStructure();
    return arg;
}

namespace {

constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kTrackPrefix = "/quillet/track/";
constexpr const char* kPlaylistPrefix = "/quillet/playlist/";
constexpr const char* kErrorPrefix = "org.mpris.MediaPlayer2.quillet.Error.";

QString playlistPath(std::size_t row) {
    return kPlaylistPrefix + QString::number(row);
}

QString invalidArgs() {
    return QDBusError::errorString(QDBusError::InvalidArgs);
}

constexpr const char* kIntrospection = R"xml(
<interface name="org.mpris.MediaPlayer2">
  <method name="Raise"/>
  <method name="Quit"/>
  <property name="CanQuit" type="b" access="read"/>
  <property name="CanRaise" type="b" access="read"/>
  <property name="Fullscreen" type="b" access="read"/>
  <property name="CanSetFullscreen" type="b" access="read"/>
  <property name="HasTrackList" type="b" access="read"/>
  <property name="Identity" type="s" access="read"/>
  <property name="DesktopEntry" type="s" access="read"/>
  <property name="SupportedUriSchemes" type="as" access="read"/>
  <property name="SupportedMimeTypes" type="as" access="read"/>
</interface>
<interface name="org.mpris.MediaPlayer2.Player">
  <method name="Next"/>
  <method name="Previous"/>
  <method name="Pause"/>
  <method name="PlayPause"/>
  <method name="Stop"/>
  <method name="Play"/>
  <method name="Seek"><arg name="Offset" type="x" direction="in"/></method>
  <method name="SetPosition"><arg name="TrackId" type="o" direction="in"/><arg name="Position" type="x" direction="in"/></method>
  <method name="OpenUri"><arg name="Uri" type="s" direction="in"/></method>
  <signal name="Seeked"><arg name="Position" type="x"/></signal>
  <property name="PlaybackStatus" type="s" access="read"/>
  <property name="LoopStatus" type="s" access="readwrite"/>
  <property name="Rate" type="d" access="readwrite"/>
  <property name="Shuffle" type="b" access="readwrite"/>
  <property name="Metadata" type="a{sv}" access="read"/>
  <property name="Volume" type="d" access="readwrite"/>
  <property name="Position" type="x" access="read"/>
  <property name="MinimumRate" type="d" access="read"/>
  <property name="MaximumRate" type="d" access="read"/>
  <property name="CanGoNext" type="b" access="read"/>
  <property name="CanGoPrevious" type="b" access="read"/>
  <property name="CanPlay" type="b" access="read"/>
  <property name="CanPause" type="b" access="read"/>
  <property name="CanSeek" type="b" access="read"/>
  <property name="CanControl" type="b" access="read"/>
</interface>
<interface name="org.mpris.MediaPlayer2.Playlists">
  <method name="ActivatePlaylist"><arg name="PlaylistId" type="o" direction="in"/></method>
  <method name="GetPlaylists">
    <arg name="Index" type="u" direction="in"/><arg name="MaxCount" type="u" direction="in"/>
    <arg name="Order" type="s" direction="in"/><arg name="ReverseOrder" type="b" direction="in"/>
    <arg name="Playlists" type="a(oss)" direction="out"/>
  </method>
  <signal name="PlaylistChanged"><arg name="Playlist" type="(oss)"/></signal>
  <property name="PlaylistCount" type="u" access="read"/>
  <property name="Orderings" type="as" access="read"/>
  <property name="ActivePlaylist" type="(b(oss))" access="read"/>
</interface>
)xml";

// Extension (lower case, without the dot) to MIME types.
const std::multimap<std::string, std::string>& mimeTable() {
    static const std::multimap<std::string, std::string> table{
        {"mp1", "audio/mpeg"},   {"mp2", "audio/mpeg"},     {"mp3", "audio/mpeg"},
        {"mp3", "audio/x-mp3"},  {"ogg", "audio/ogg"},      {"ogg", "audio/x-vorbis+ogg"},
        {"wav", "audio/x-wav"},  {"wav", "audio/wav"},      {"aiff", "audio/x-aiff"},
        {"aif", "audio/x-aiff"}, {"wma", "audio/x-ms-wma"}, {"asf", "video/x-ms-asf"},
        {"mod", "audio/x-mod"},  {"mtm", "audio/x-mod"},    {"umx", "audio/x-mod"},
        {"xm", "audio/x-xm"},    {"it", "audio/x-it"},      {"s3m", "audio/x-s3m"},
        {"mo3", "audio/x-mo3"},  {"mid", "audio/midi"},     {"midi", "audio/midi"},
        {"rmi", "audio/midi"},   {"kar", "audio/midi"},     {"cda", "application/x-cda"},
    };
    return table;
}

}  // namespace

QStringList MimeTypesForPatterns(const std::string& patterns) {
    QStringList types;
    for (const QString& pattern : QString::fromStdString(patterns).split(';', Qt::SkipEmptyParts)) {
        const QString ext = pattern.section('.', -1).toLower();
        const auto [first, last] = mimeTable().equal_range(ext.toStdString());
        for (auto it = first; it != last; ++it) types << QString::fromStdString(it->second);
    }
    types.sort();
    types.removeDuplicates();
    return types;
}

TMpris::TMpris(TMainApp& app, TCommandQueue& queue) : m_app(app), m_queue(queue) {
    qDBusRegisterMetaType<TMprisPlaylist>();
    qDBusRegisterMetaType<TMaybePlaylist>();
    qDBusRegisterMetaType<QList<TMprisPlaylist>>();
}

TMpris::~TMpris() {
    Unregister();
}

bool TMpris::Register(const QDBusConnection& bus) {
    TVAVIVerovu* player = m_app.Player();
    if (m_registered || player == nullptr) return false;
    m_bus = bus;
    if (!m_bus.registerVirtualObject(kPath, this)) return false;
    m_registered = true;
    // Follow the player: its mode (and with it the track) and a stream's
    // titles. The controller's handlers keep running first.
    m_prevModeChange = player->OnModeChange;
    player->OnModeChange = [this](TVAVIVerovu* sender, TPlayerMode oldMode, TPlayerMode newMode) {
        if (m_prevModeChange) m_prevModeChange(sender, oldMode, newMode);
        if (newMode == plmReady) ++m_track;  // every stream opened is a new track
        Refresh();
    };
    m_prevGetMeta = player->OnGetMeta;
    player->OnGetMeta = [this](TVAVIVerovu* sender, const std::string& content) {
        if (m_prevGetMeta) m_prevGetMeta(sender, content);
        Refresh();
    };
    // Seeks and volume changes made with the mouse.
    TFMain& form = m_app.Form();
    for (QWidget* w : {static_cast<QWidget*>(form.imgProgress), static_cast<QWidget*>(form.btnthumb),
                       static_cast<QWidget*>(form.imgVol)})
        if (w != nullptr) w->installEventFilter(this);
    for (const char* iface : {kRoot, kPlayer, kPlaylists}) m_sent[iface] = Properties(iface);
    return true;
}

void TMpris::Unregister() {
    if (!m_registered) return;
    m_registered = false;
    m_bus.unregisterObject(kPath);
    if (m_app.Closed()) return;  // the player and the form's handlers are gone
    TFMain& form = m_app.Form();
    for (QWidget* w : {static_cast<QWidget*>(form.imgProgress), static_cast<QWidget*>(form.btnthumb),
                       static_cast<QWidget*>(form.imgVol)})
        if (w != nullptr) w->removeEventFilter(this);
    // Put the handlers that were there before back.
    if (TVAVIVerovu* player = m_app.Player()) {
        player->OnModeChange = std::move(m_prevModeChange);
        player->OnGetMeta = std::move(m_prevGetMeta);
    }
}

bool TMpris::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        const bool seek = watched != m_app.Form().imgVol;
        QTimer::singleShot(0, this, [this, seek] {
            if (m_app.Closed()) return;
            if (seek) emitSeeked();
            Refresh();
        });
    }
    return false;
}

QString TMpris::introspect(const QString&) const {
    return QString::fromUtf8(kIntrospection);
}

// ---- replies ----

void TMpris::reply(const QDBusMessage& message, const QVariantList& arguments) {
    if (message.isReplyRequired()) m_bus.send(message.createReply(arguments));
}

void TMpris::error(const QDBusMessage& message, const QString& name, const QString& text) {
    m_bus.send(message.createErrorReply(name, text));
}

void TMpris::command(const QDBusMessage& message, std::function<QString()> run) {
    message.setDelayedReply(true);
    m_queue.Enqueue([this, message, run = std::move(run)] {
        if (m_app.Closed()) {
            error(message, QString(kErrorPrefix) + "Closed", "the player is closing");
            return;
        }
        const QString failure = run();
        if (failure.isEmpty())
            reply(message);
        else
            error(message, QDBusError::errorString(QDBusError::InvalidArgs), failure);
        Refresh();
    });
}

// ---- dispatch ----

bool TMpris::handleMessage(const QDBusMessage& message, const QDBusConnection&) {
    if (message.type() != QDBusMessage::MethodCallMessage) return false;
    const QString iface = message.interface();
    if (iface == "org.freedesktop.DBus.Introspectable" || iface == "org.freedesktop.DBus.Peer") return false;
    if (m_app.Closed()) {
        error(message, QString(kErrorPrefix) + "Closed", "the player is closing");
        return true;
    }
    bool handled = false;
    if (iface == kProperties)
        handled = handleProperties(message);
    else if (iface == kRoot)
        handled = handleRoot(message);
    else if (iface == kPlayer)
        handled = handlePlayer(message);
    else if (iface == kPlaylists)
        handled = handlePlaylists(message);
    if (!handled)
        error(
            message, QDBusError::errorString(QDBusError::UnknownMethod),
            "no method " + message.member() + " with signature \"" + message.signature() + "\" in " + iface);
    return true;
}

bool TMpris::handleProperties(const QDBusMessage& message) {
    const QString member = message.member();
    const QVariantList args = message.arguments();
    const auto knownInterface = [](const QString& i) {
        return i == kRoot || i == kPlayer || i == kPlaylists;
    };
    if (member == "Get" && message.signature() == "ss") {
        const QString iface = args[0].toString();
        const QString name = args[1].toString();
        const QVariantMap props = Properties(iface);
        if (!knownInterface(iface) || !props.contains(name)) {
            error(message, QDBusError::errorString(QDBusError::UnknownProperty),
                  "no property " + name + " in " + iface);
            return true;
        }
        reply(message, {QVariant::fromValue(QDBusVariant(props.value(name)))});
        return true;
    }
    if (member == "GetAll" && message.signature() == "s") {
        const QString iface = args[0].toString();
        if (!knownInterface(iface) && !iface.isEmpty()) {
            error(message, QDBusError::errorString(QDBusError::UnknownInterface), "no interface " + iface);
            return true;
        }
        reply(message, {Properties(iface)});
        return true;
    }
    if (member == "Set" && message.signature() == "ssv") {
        setProperty(message, args[0].toString(), args[1].toString(), args[2].value<QDBusVariant>().variant());
        return true;
    }
    return false;
}

void TMpris::setProperty(const QDBusMessage& message, const QString& iface, const QString& name,
                         const QVariant& value) {
    if (!Properties(iface).contains(name)) {
        error(message, QDBusError::errorString(QDBusError::UnknownProperty),
              "no property " + name + " in " + iface);
        return;
    }
    const bool writable =
        iface == kPlayer && (name == "Volume" || name == "LoopStatus" || name == "Shuffle" || name == "Rate");
    if (!writable) {
        error(message, QDBusError::errorString(QDBusError::PropertyReadOnly), name + " is read-only");
        return;
    }
    QString failure;
    if (name == "Volume")
        failure = setVolume(value);
    else if (name == "LoopStatus")
        failure = setLoopStatus(value);
    else if (name == "Shuffle")
        failure = setShuffle(value);
    else if (value.metaType().id() != QMetaType::Double)  // Rate: only 1.0 is played, others are ignored
        failure = "Rate is a double";
    if (!failure.isEmpty()) {
        error(message, invalidArgs(), failure);
        return;
    }
    reply(message);
    Refresh();
}

QString TMpris::setVolume(const QVariant& value) {
    if (value.metaType().id() != QMetaType::Double) return "Volume is a double";
    const double v = value.toDouble();
    if (!std::isfinite(v)) return "Volume must be a finite number";
    TVAVIVerovu* player = m_app.Player();
    player->SetVolume(std::uint32_t(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)));
    m_app.Form().DrawVolume(int(player->Volume()));
    return {};
}

QString TMpris::setLoopStatus(const QVariant& value) {
    const QString loop = value.toString();
    if (value.metaType().id() != QMetaType::QString ||
        (loop != "Track" && loop != "None" && loop != "Playlist"))
        return "LoopStatus is None, Track or Playlist";
    TPlayListModel* model = m_app.Model();
    if (loop == "Playlist") {
        if (model->PlayMode() == TPlayMode::CurrentOnly) model->OrderPlay1Click(TPlayMode::InOrder);
        return {};
    }
    model->OrderPlay1Click(TPlayMode::CurrentOnly);
    if (model->Loop() != (loop == "Track")) model->PlayOneRecycle1Click();
    return {};
}

QString TMpris::setShuffle(const QVariant& value) {
    if (value.metaType().id() != QMetaType::Bool) return "Shuffle is a boolean";
    TPlayListModel* model = m_app.Model();
    if (value.toBool())
        model->OrderPlay1Click(TPlayMode::Random);
    else if (model->PlayMode() == TPlayMode::Random)
        model->OrderPlay1Click(TPlayMode::InOrder);
    return {};
}

bool TMpris::handleRoot(const QDBusMessage& message) {
    if (!message.signature().isEmpty()) return false;
    const QString member = message.member();
    if (member == "Raise") {
        command(message, [this] {
            if (IMiniPlaylist* playlist = m_app.Playlist()) playlist->ShowWindow();
            return QString();
        });
        return true;
    }
    if (member == "Quit") {
        // Answered first: the reply must leave before the program ends.
        reply(message);
        m_queue.Enqueue([this] {
            if (!m_app.Closed()) m_app.Close1Click();
        });
        return true;
    }
    return false;
}

std::function<void()> TMpris::transport(const QString& member) {
    if (member == "Play") return [this] { play(); };
    if (member == "Pause")
        return [this] {
            if (m_app.Player()->Mode() == plmPlaying) m_app.Controller()->btnPauseClick();
        };
    if (member == "PlayPause")
        return [this] {
            if (m_app.Player()->Mode() == plmPlaying)
                m_app.Controller()->btnPauseClick();
            else
                play();
        };
    if (member == "Stop")
        return [this] {
            const TPlayerMode mode = m_app.Player()->Mode();
            if (mode == plmPlaying || mode == plmPaused) m_app.Controller()->btnStopClick();
        };
    if (member == "Next") return [this] { m_app.Controller()->btnNextClick(); };
    if (member == "Previous") return [this] { m_app.Controller()->btnPrevClick(); };
    return {};
}

bool TMpris::handlePlayer(const QDBusMessage& message) {
    const QString member = message.member();
    const QString sig = message.signature();
    const QVariantList args = message.arguments();
    if (m_app.Controller() == nullptr || m_app.Player() == nullptr) return false;
    if (sig.isEmpty()) {
        std::function<void()> run = transport(member);
        if (!run) return false;
        command(message, [run] {
            run();
            return QString();
        });
        return true;
    }
    if (member == "Seek" && sig == "x") {
        const qint64 offsetUs = args[0].toLongLong();
        command(message, [this, offsetUs] { return seekBy(offsetUs); });
        return true;
    }
    if (member == "SetPosition" && sig == "ox") {
        const QString track = args[0].value<QDBusObjectPath>().path();
        const qint64 positionUs = args[1].toLongLong();
        command(message, [this, track, positionUs] { return setPositionOf(track, positionUs); });
        return true;
    }
    if (member == "OpenUri" && sig == "s") {
        const std::string uri = args[0].toString().toStdString();
        command(message, [this, uri] { return openUri(uri); });
        return true;
    }
    return false;
}

QString TMpris::seekBy(qint64 offsetUs) {
    TVAVIVerovu* player = m_app.Player();
    const std::int64_t length = player->PlayLength();
    if (!player->CanSeek() || length <= 0) return {};  // nothing to seek in: ignored
    const std::int64_t target = std::int64_t(player->Position()) + offsetUs / 1000;
    if (target > length) {
        m_app.Controller()->btnNextClick();  // past the end: as Next
        return {};
    }
    return seekTo(std::max<std::int64_t>(target, 0));
}

QString TMpris::setPositionOf(const QString& track, qint64 positionUs) {
    const TVAVIVerovu* player = m_app.Player();
    // Another track's path or a position outside the track: ignored.
    if (track != TrackId() || positionUs < 0 || positionUs / 1000 > std::int64_t(player->PlayLength()) ||
        !player->CanSeek())
        return {};
    return seekTo(positionUs / 1000);
}

QString TMpris::openUri(const std::string& uri) {
    std::string why;
    const std::string name = ResolveName(uri, QDir::currentPath().toStdString(), &why);
    if (name.empty()) return QString::fromStdString("cannot open " + uri + ": " + why);
    OpenNames(m_app, {name});
    return {};
}

bool TMpris::handlePlaylists(const QDBusMessage& message) {
    const QString member = message.member();
    const QVariantList args = message.arguments();
    if (member == "GetPlaylists" && message.signature() == "uusb") {
        const std::size_t index = args[0].toUInt();
        const std::size_t maxCount = args[1].toUInt();
        const bool reverse = args[3].toBool();  // every ordering is the user's own (the list order)
        QList<TMprisPlaylist> all;
        const TPlayListModel* model = m_app.Model();
        for (std::size_t row = 1; model != nullptr && row < model->ListCount(); ++row)
            all.push_back(
                {QDBusObjectPath(playlistPath(row)), QString::fromStdString(model->ListName(row)), {}});
        if (reverse) std::reverse(all.begin(), all.end());
        QList<TMprisPlaylist> page;
        for (std::size_t i = index; i < std::size_t(all.size()) && std::size_t(page.size()) < maxCount; ++i)
            page.push_back(all[qsizetype(i)]);
        reply(message, {QVariant::fromValue(page)});
        return true;
    }
    if (member == "ActivatePlaylist" && message.signature() == "o") {
        const QString path = args[0].value<QDBusObjectPath>().path();
        command(message, [this, path] { return activatePlaylist(path); });
        return true;
    }
    return false;
}

// ---- commands ----

void TMpris::play() {
    TVAVIVerovu* player = m_app.Player();
    TMainController* controller = m_app.Controller();
    switch (player->Mode()) {
        case plmPlaying:
            return;
        case plmPaused:
            controller->btnPlayClick();  // resumes
            return;
        case plmReady:
        case plmStopped:
            player->Play();  // the stream that is open
            return;
        case plmStandby:
            break;
    }
    // Nothing open: the next entry of the playing list. A media key must not
    // open the playlist window, which the play button does when it is hidden.
    IMiniPlaylist* playlist = m_app.Playlist();
    if (playlist->Visible()) {
        controller->btnPlayClick();
        return;
    }
    const std::string name = playlist->NextTrack();
    if (!name.empty() && controller->OpenAndPlay(name))
        m_app.Form().TotalTimeText = FormatDuration(player->PlayLength());
}

QString TMpris::seekTo(std::int64_t ms) {
    TVAVIVerovu* player = m_app.Player();
    player->SetPosition(std::uint32_t(std::min<std::int64_t>(ms, UINT32_MAX)));
    if (!m_app.Closed()) m_app.Controller()->Timer_stepTimer();
    emitSeeked();
    return {};
}

QString TMpris::activatePlaylist(const QString& path) {
    TPlayListModel* model = m_app.Model();
    bool ok = false;
    const std::size_t row =
        path.startsWith(kPlaylistPrefix) ? path.mid(int(strlen(kPlaylistPrefix))).toUInt(&ok) : 0;
    if (!ok || row == 0 || row >= model->ListCount()) return "no playlist " + path;
    model->ListsSelectCell(row);
    if (model->Displayed().Items.empty()) {
        model->MakeDisplayedListPlaying();
        return {};
    }
    if (model->ListDblClick(0)) m_app.Form().TotalTimeText = FormatDuration(m_app.Player()->PlayLength());
    return {};
}

void TMpris::emitSeeked() {
    if (!m_registered || m_app.Closed()) return;
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kPlayer, "Seeked");
    signal << qint64(m_app.Player()->Position()) * 1000;
    m_bus.send(signal);
}

// ---- properties ----

QString TMpris::TrackId() const {
    const TVAVIVerovu* player = m_app.Closed() ? nullptr : m_app.Player();
    if (player == nullptr || player->Mode() == plmStandby || player->StreamName().empty()) return kNoTrack;
    return kTrackPrefix + QString::number(m_track);
}

QString TMpris::playbackStatus() const {
    switch (m_app.Player()->Mode()) {
        case plmPlaying:
            return "Playing";
        case plmPaused:
            return "Paused";
        default:
            return "Stopped";
    }
}

QString TMpris::loopStatus() const {
    const TPlayListModel* model = m_app.Model();
    if (model->PlayMode() != TPlayMode::CurrentOnly) return "Playlist";  // the list wraps
    return model->Loop() ? "Track" : "None";
}

QVariantMap TMpris::metadata() const {
    const TVAVIVerovu* player = m_app.Player();
    QVariantMap m;
    const QString track = TrackId();
    m["mpris:trackid"] = QVariant::fromValue(QDBusObjectPath(track));
    if (track == kNoTrack) return m;
    const TStreamInfo& info = player->StreamInfo();
    const std::string& name = player->StreamName();
    const QString qname = QString::fromStdString(name);
    if (player->PlayLength() > 0) m["mpris:length"] = qint64(player->PlayLength()) * 1000;
    const bool stream = TPlayListModel::IsStreamURL(name);
    m["xesam:url"] = stream ? QUrl(qname).toString(QUrl::FullyEncoded)
                            : QUrl::fromLocalFile(qname).toString(QUrl::FullyEncoded);
    QString title = QString::fromStdString(info.Title);
    if (title.isEmpty()) title = stream ? qname : QFileInfo(qname).completeBaseName();
    m["xesam:title"] = title;
    if (!info.Artist.empty()) m["xesam:artist"] = QStringList{QString::fromStdString(info.Artist)};
    if (!info.Album.empty()) m["xesam:album"] = QString::fromStdString(info.Album);
    return m;
}

QVariantMap TMpris::Properties(const QString& iface) const {
    QVariantMap props;
    if (m_app.Closed() || m_app.Player() == nullptr || m_app.Model() == nullptr) return props;
    const TVAVIVerovu* player = m_app.Player();
    const TPlayListModel* model = m_app.Model();
    if (iface == kRoot || iface.isEmpty()) {
        props["CanQuit"] = true;
        props["CanRaise"] = true;
        props["Fullscreen"] = false;
        props["CanSetFullscreen"] = false;
        props["HasTrackList"] = false;
        props["Identity"] = QStringLiteral("Quillet");
        props["DesktopEntry"] = QStringLiteral("quillet");
        props["SupportedUriSchemes"] = QStringList{"file", "http", "mms"};
        props["SupportedMimeTypes"] = MimeTypesForPatterns(player->NativeFileExts());
    }
    if (iface == kPlayer || iface.isEmpty()) {
        props["PlaybackStatus"] = playbackStatus();
        props["LoopStatus"] = loopStatus();
        props["Rate"] = 1.0;
        props["MinimumRate"] = 1.0;
        props["MaximumRate"] = 1.0;
        props["Shuffle"] = model->PlayMode() == TPlayMode::Random;
        props["Metadata"] = metadata();
        props["Volume"] = double(player->Volume()) / 255.0;
        props["Position"] = qint64(player->Position()) * 1000;
        props["CanGoNext"] = true;
        props["CanGoPrevious"] = true;
        props["CanPlay"] = true;
        props["CanPause"] = true;
        props["CanSeek"] = player->CanSeek();
        props["CanControl"] = true;
    }
    if (iface == kPlaylists || iface.isEmpty()) {
        props["PlaylistCount"] = uint(model->ListCount() - 1);
        props["Orderings"] = QStringList{"UserDefined"};
        TMaybePlaylist active;
        const std::size_t row = model->PlayingRow();
        if (row > 0) {
            active.valid = true;
            active.playlist = {
                QDBusObjectPath(playlistPath(row)), QString::fromStdString(model->ListName(row)), {}};
        } else {
            active.playlist.id = QDBusObjectPath("/");
        }
        props["ActivePlaylist"] = QVariant::fromValue(active);
    }
    return props;
}

void TMpris::Refresh() {
    if (!m_registered || m_app.Closed()) return;
    for (const char* iface : {kRoot, kPlayer, kPlaylists}) {
        QVariantMap now = Properties(iface);
        now.remove("Position");  // changes all the time; clients ask or follow Seeked
        QVariantMap& sent = m_sent[iface];
        QVariantMap changed;
        for (auto it = now.cbegin(); it != now.cend(); ++it)
            if (!sent.contains(it.key()) || sent.value(it.key()) != it.value())
                changed.insert(it.key(), it.value());
        sent = now;
        if (changed.isEmpty()) continue;
        QDBusMessage signal = QDBusMessage::createSignal(kPath, kProperties, "PropertiesChanged");
        signal << QString(iface) << changed << QStringList();
        m_bus.send(signal);
    }
}
