// libbassmix.so: the mixer add-on. The program asks it for its version only
// (a mixer of another major version makes it say so at start-up) and uses
// nothing else of it, so the version is all it offers.
#include "platform/audio/bassmix.h"

extern "C" __attribute__((visibility("default"))) DWORD BASS_Mixer_GetVersion(void) {
    return BASSMIX_VERSION;
}
