// The mixer and MIDI add-ons: what the program binds of them, and nothing more.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "platform/audio/bassmix.h"
#include "tests/audio-addons/AddonTest.h"

namespace {

struct Library {
    explicit Library(const std::string& name)
        : handle(dlopen((addontest::exeDir() + "/" + name).c_str(), RTLD_NOW)) {}
    ~Library() {
        if (handle) dlclose(handle);
    }
    void* symbol(const char* name) const { return dlsym(handle, name); }
    void* handle;
};

TEST(MixerAddon, ReportsVersion24) {
    Library mix("libbassmix.so");
    ASSERT_NE(mix.handle, nullptr) << dlerror();
    auto getVersion = reinterpret_cast<BASS_Mixer_GetVersion_t>(mix.symbol("BASS_Mixer_GetVersion"));
    ASSERT_NE(getVersion, nullptr);
    EXPECT_EQ(getVersion() >> 16, 0x0204u);
}

TEST(MidiAddon, LoadsAndOffersNoDecoding) {
    Library midi("libbassmidi.so");
    ASSERT_NE(midi.handle, nullptr) << dlerror();
    // MIDI is not decoded: no entry point pretends it is.
    for (const char* name : {"BASS_MIDI_StreamCreateFile", "BASS_MIDI_StreamCreateURL", "BASS_MIDI_FontInit",
                             "BASS_MIDI_StreamSetFonts", "qaudio_plugin_register"}) {
        EXPECT_EQ(midi.symbol(name), nullptr) << name;
    }
}

}  // namespace
