#include "tests/audio/AudioTest.h"

#include <unistd.h>

#include <filesystem>

namespace audiotest {

HPLUGIN LibraryTest::plugin = 0;

std::string exeDir() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

std::string fixture(const std::string& name) {
    return std::string(QUILLET_FIXTURES) + "/audio/" + name;
}

std::string tempPath(const std::string& name) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path dir =
        std::filesystem::path(::testing::TempDir()) / ("quillet-audio-" + std::to_string(::getpid()));
    if (info) dir /= std::string(info->test_suite_name()) + "." + info->name();
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

std::string toneFile(const tonefile::Header& h, const std::string& name) {
    const std::string path = tempPath(name);
    EXPECT_TRUE(tonefile::write(path, h));
    return path;
}

double seconds(DWORD handle, QWORD bytes) {
    return BASS_ChannelBytes2Seconds(handle, bytes);
}

double positionSeconds(DWORD handle) {
    return BASS_ChannelBytes2Seconds(handle, BASS_ChannelGetPosition(handle, BASS_POS_BYTE));
}

int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SyncProbe::onSync(HSYNC, DWORD, DWORD data, void* user) {
    auto* p = static_cast<SyncProbe*>(user);
    int64_t zero = 0;
    p->firstAtUs.compare_exchange_strong(zero, nowUs());
    p->data = data;
    if (std::this_thread::get_id() == p->callerThread) p->onLibraryThread = false;
    ++p->calls;
}

HSYNC SyncProbe::attach(DWORD handle, DWORD type) {
    callerThread = std::this_thread::get_id();
    return BASS_ChannelSetSync(handle, type, 0, &SyncProbe::onSync, this);
}

void LibraryTest::initLibrary(int device) {
    ASSERT_TRUE(BASS_Init(device, 44100, 0, nullptr, nullptr)) << BASS_ErrorGetCode();
    plugin = BASS_PluginLoad((exeDir() + "/libqtesttone.so").c_str(), 0);
    ASSERT_NE(plugin, 0u) << BASS_ErrorGetCode();
}

void LibraryTest::freeLibrary() {
    BASS_PluginFree(0);
    plugin = 0;
    BASS_Free();
}

}  // namespace audiotest
