// Stand-ins for add-ons that load but are not what the program binds, built
// twice: as a CD add-on lacking BASS_CD_GetTrackLength (ODD_CD) and as a
// mixer of version 2.3 (ODD_MIXER).
#include "platform/audio/basscd.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

#if defined(ODD_CD)
EXPORT BOOL BASS_CD_GetInfo(DWORD, BASS_CD_INFO*) {
    return FALSE;
}
EXPORT HSTREAM BASS_CD_StreamCreateFile(const char*, DWORD) {
    return 0;
}
#elif defined(ODD_MIXER)
EXPORT DWORD BASS_Mixer_GetVersion(void) {
    return 0x02030000;
}
#endif
