// Loads libbass.so as the engine does: dlopen from the program's folder and
// every entry point resolved by name, all or nothing.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/audio/bass.h"

namespace {

const char* const kEntryPoints[] = {"BASS_GetVersion",
                                    "BASS_ErrorGetCode",
                                    "BASS_SetConfig",
                                    "BASS_Init",
                                    "BASS_GetInfo",
                                    "BASS_Free",
                                    "BASS_PluginLoad",
                                    "BASS_PluginFree",
                                    "BASS_StreamCreate",
                                    "BASS_StreamCreateFile",
                                    "BASS_StreamCreateURL",
                                    "BASS_StreamFree",
                                    "BASS_StreamGetFilePosition",
                                    "BASS_MusicLoad",
                                    "BASS_MusicFree",
                                    "BASS_ChannelGetInfo",
                                    "BASS_ChannelGetTags",
                                    "BASS_ChannelIsActive",
                                    "BASS_ChannelPlay",
                                    "BASS_ChannelPause",
                                    "BASS_ChannelStop",
                                    "BASS_ChannelGetLength",
                                    "BASS_ChannelGetPosition",
                                    "BASS_ChannelSetPosition",
                                    "BASS_ChannelBytes2Seconds",
                                    "BASS_ChannelSeconds2Bytes",
                                    "BASS_ChannelGetData",
                                    "BASS_ChannelSetAttribute",
                                    "BASS_ChannelSlideAttribute",
                                    "BASS_ChannelSetSync",
                                    "BASS_ChannelRemoveSync"};

}  // namespace

TEST(AudioBinding, EveryEntryPointResolvesFromTheProgramFolder) {
    const auto dir = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    void* lib = dlopen((dir / "libbass.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    int resolved = 0;
    for (const char* name : kEntryPoints) {
        EXPECT_NE(dlsym(lib, name), nullptr) << name;
        resolved += dlsym(lib, name) != nullptr;
    }
    EXPECT_EQ(resolved, 31);
    // Internals stay hidden: only the C entry points are exported.
    EXPECT_EQ(dlsym(lib, "_ZN6qaudio8setErrorEi"), nullptr);
    EXPECT_EQ(dlsym(lib, "BASS_GetConfig"), nullptr);

    auto version = reinterpret_cast<BASS_GetVersion_t>(dlsym(lib, "BASS_GetVersion"));
    auto init = reinterpret_cast<BASS_Init_t>(dlsym(lib, "BASS_Init"));
    auto info = reinterpret_cast<BASS_GetInfo_t>(dlsym(lib, "BASS_GetInfo"));
    auto freeLib = reinterpret_cast<BASS_Free_t>(dlsym(lib, "BASS_Free"));
    auto error = reinterpret_cast<BASS_ErrorGetCode_t>(dlsym(lib, "BASS_ErrorGetCode"));
    ASSERT_TRUE(version && init && info && freeLib && error);
    EXPECT_EQ(version() >> 16, 0x0204u);
    ASSERT_TRUE(init(0, 44100, 0, nullptr, nullptr)) << error();
    BASS_INFO i{};
    EXPECT_TRUE(info(&i));
    EXPECT_GE(i.dsver, 8u);
    EXPECT_TRUE(freeLib());
    EXPECT_FALSE(freeLib());
    EXPECT_EQ(error(), BASS_ERROR_INIT);
    EXPECT_EQ(dlclose(lib), 0);
}
