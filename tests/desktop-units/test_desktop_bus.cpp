// The running program's side of the desktop, in process: hand-overs from 50
// real later starts at once (over the session bus and over the socket) lose
// no name, and bus calls with wrong types or absurd values are refused or
// ignored. Offscreen, with the player on the no-sound device, in a private
// session bus (the test starts itself again under dbus-run-session).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <cmath>
#include <cstdio>
#include <limits>
#include <set>

#include "platform/win/MessageLayer.h"
#include "platform/win/qt/QtMessagePump.h"
#include "shell/DesktopSession.h"
#include "shell/Mpris.h"
#include "shell/SingleInstance.h"
#include "shell/UMainApp.h"
#include "tests/engine/EngineTest.h"
#include "tests/shell-app/AppTest.h"

namespace {

using quillet::test::waitFor;

// Fifty later starts on a busy machine take a while.
constexpr int kLong = 30000;

const QString kLow = QStringLiteral(QUILLET_FIXTURES "/desktop/tone 440 (low).mp3");

class Desktop : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        boxes = std::make_shared<quillet::win::RecordingMessageBoxPresenter>();
        quillet::win::setMessageBoxPresenter(boxes);
        TMainApp::TOptions o = quillet::test::TestAppOptions(dir.path());
        app = std::make_unique<TMainApp>(std::move(o));
        ASSERT_TRUE(app->FormCreate());
        queue = std::make_unique<TCommandQueue>([] { return quillet::win::MessageWaitDepth() == 0; });
    }
    void TearDown() override {
        mpris.reset();
        instance.reset();
        queue.reset();
        app.reset();
        quillet::win::setMessageBoxPresenter(nullptr);
    }
    // Becomes the running program; hand-overs open their names.
    void becomePrimary(bool bus) {
        TSingleInstance::TOptions o;
        o.useBus = bus;
        o.runtimeFolder = dir.filePath("run").toStdString();
        instance = std::make_unique<TSingleInstance>(o);
        ASSERT_EQ(instance->Claim({}), TSingleInstance::TRole::Primary) << instance->Error().toStdString();
        ASSERT_EQ(instance->OnBus(), bus);
        instance->SetReceiver([this](const QStringList& names) {
            std::vector<std::string> v;
            for (const QString& n : names) v.push_back(n.toStdString());
            queue->Enqueue([this, v] { HandOver(*app, v); });
        });
    }
    std::vector<std::string> temporaryList() const {
        std::vector<std::string> names;
        for (const TMediaInf& m : app->Model()->List(0).Items) names.push_back(m.StreamInfo.FileName);
        return names;
    }

    QTemporaryDir dir;
    std::shared_ptr<quillet::win::RecordingMessageBoxPresenter> boxes;
    std::unique_ptr<TMainApp> app;
    std::unique_ptr<TCommandQueue> queue;
    std::unique_ptr<TSingleInstance> instance;
    std::unique_ptr<TMpris> mpris;
};

class Flood : public Desktop, public ::testing::WithParamInterface<bool> {};

}  // namespace

TEST_P(Flood, FiftyLaterStartsAtOnceLoseNoName) {
    const bool bus = GetParam();
    becomePrimary(bus);
    ASSERT_TRUE(QDir().mkpath(dir.filePath("run")));
    QFile::setPermissions(dir.filePath("run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    if (!bus) {
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        env.insert("XDG_RUNTIME_DIR", dir.filePath("run"));
    }
    std::set<std::string> expected;
    std::vector<std::unique_ptr<QProcess>> starts;
    for (int i = 0; i < 50; ++i) {
        const QString name = dir.filePath(QString("song %1.mp3").arg(i, 2, 10, QChar('0')));
        ASSERT_TRUE(QFile::link(kLow, name));
        expected.insert(name.toStdString());
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->setProgram(QCoreApplication::applicationDirPath() + "/quilletplay");
        // Relative to the later start's own folder.
        p->setWorkingDirectory(dir.path());
        p->setArguments({QFileInfo(name).fileName()});
        p->start();
        starts.push_back(std::move(p));
    }
    // The running program answers while they come.
    for (auto& p : starts) {
        ASSERT_TRUE(waitFor([&] { return p->state() == QProcess::NotRunning; }, 120000));
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    ASSERT_TRUE(waitFor(
        [&] { return temporaryList().size() >= 50 && queue->Size() == 0 && instance->Pending() == 0; },
        kLong));
    const std::vector<std::string> got = temporaryList();
    EXPECT_EQ(std::set<std::string>(got.begin(), got.end()), expected);
    EXPECT_EQ(got.size(), 50u);
    EXPECT_EQ(app->Player()->Mode(), plmPlaying);
    EXPECT_FALSE(app->Model()->Modified());
    EXPECT_TRUE(boxes->boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(BusAndSocket, Flood, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "bus" : "socket"; });

TEST_F(Desktop, BusCallsWithWrongTypesOrAbsurdValuesAreRefusedOrIgnored) {
    becomePrimary(true);
    mpris = std::make_unique<TMpris>(*app, *queue);
    ASSERT_TRUE(mpris->Register(instance->Bus()));
    QDBusConnection client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "client");
    ASSERT_TRUE(client.isConnected());
    const auto call = [&](const QString& iface, const QString& member, const QVariantList& args) {
        QDBusMessage m =
            QDBusMessage::createMethodCall(TSingleInstance::kBusName, TMpris::kPath, iface, member);
        m.setArguments(args);
        QDBusPendingCall pending = client.asyncCall(m, 20000);
        EXPECT_TRUE(waitFor([&] { return pending.isFinished(); }, kLong));
        return pending.reply();
    };
    const auto set = [&](const QString& name, const QVariant& value) {
        return call("org.freedesktop.DBus.Properties", "Set",
                    {TMpris::kPlayer, name, QVariant::fromValue(QDBusVariant(value))});
    };
    const auto get = [&](const QString& iface, const QString& name) {
        const QDBusMessage r = call("org.freedesktop.DBus.Properties", "Get", {iface, name});
        return r.arguments().value(0).value<QDBusVariant>().variant();
    };
    EXPECT_EQ(get(TMpris::kRoot, "Identity").toString(), "Quillet");
    EXPECT_EQ(get(TMpris::kRoot, "DesktopEntry").toString(), "quillet");

    // OpenUri with a percent-encoded file URI plays it from the temporary list.
    const QString uri = QUrl::fromLocalFile(kLow).toString(QUrl::FullyEncoded);
    EXPECT_EQ(call(TMpris::kPlayer, "OpenUri", {uri}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(app->Player()->Mode(), plmPlaying);
    EXPECT_EQ(temporaryList(), (std::vector<std::string>{kLow.toStdString()}));
    const QString track = mpris->TrackId();
    EXPECT_TRUE(track.startsWith("/quillet/track/")) << track.toStdString();

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const QVariant& bad :
         {QVariant(nan), QVariant(inf), QVariant(-inf), QVariant("loud"), QVariant(1)}) {
        EXPECT_EQ(set("Volume", bad).type(), QDBusMessage::ErrorMessage) << bad.toString().toStdString();
        EXPECT_EQ(app->Player()->Volume(), 255u);
    }
    EXPECT_EQ(set("Volume", 0.5).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(app->Player()->Volume(), 128u);
    EXPECT_EQ(set("Volume", -1e300).type(), QDBusMessage::ReplyMessage);  // clamped
    EXPECT_EQ(app->Player()->Volume(), 0u);
    EXPECT_EQ(set("Metadata", QVariantMap()).type(), QDBusMessage::ErrorMessage);  // read-only
    EXPECT_EQ(set("Shuffle", "yes").type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(set("LoopStatus", "Forever").type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(set("LoopStatus", "Track").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(app->Model()->PlayMode(), TPlayMode::CurrentOnly);
    EXPECT_TRUE(app->Model()->Loop());
    EXPECT_EQ(set("Shuffle", true).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(get(TMpris::kPlayer, "LoopStatus").toString(), "Playlist");  // random play wraps

    // Wrong argument types: no such method.
    EXPECT_EQ(call(TMpris::kPlayer, "Seek", {QString("10")}).type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(call(TMpris::kPlayer, "SetPosition", {track, qint64(0)}).type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(call(TMpris::kRoot, "Quit", {1}).type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(call("no.such.Interface", "Play", {}).type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(
        call(TMpris::kPlaylists, "ActivatePlaylist", {QVariant::fromValue(QDBusObjectPath("/quillet/x"))})
            .type(),
        QDBusMessage::ErrorMessage);

    // Positions: another track's path, negative and past the end are ignored.
    const auto setPosition = [&](const QString& path, qint64 us) {
        return call(TMpris::kPlayer, "SetPosition", {QVariant::fromValue(QDBusObjectPath(path)), us});
    };
    EXPECT_EQ(setPosition(track, 5000000).type(), QDBusMessage::ReplyMessage);
    EXPECT_NEAR(app->Player()->Position(), 5000, 400);
    for (const auto& [path, us] : std::vector<std::pair<QString, qint64>>{
             {"/quillet/track/987654", 15000000}, {track, -1}, {track, std::numeric_limits<qint64>::max()}}) {
        EXPECT_EQ(setPosition(path, us).type(), QDBusMessage::ReplyMessage);
        EXPECT_LT(app->Player()->Position(), 9000u) << path.toStdString() << " " << us;
    }
    EXPECT_EQ(call(TMpris::kPlayer, "Seek", {std::numeric_limits<qint64>::min()}).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_LT(app->Player()->Position(), 500u);
    EXPECT_EQ(app->Player()->Mode(), plmPlaying);
    EXPECT_TRUE(boxes->boxes().empty());
}

int main(int argc, char** argv) {
    // A session bus of the test's own: run again inside one.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        std::vector<char*> args{const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
        for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        ::execvp("dbus-run-session", args.data());
        std::perror("dbus-run-session");
        return 1;
    }
    TFMain::PrepareApplication();
    QApplication a(argc, argv);
    quillet::win::QtMessagePump pump;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
