/* The mixer add-on (libbassmix.so). Only its version is offered. */
#ifndef QUILLET_BASSMIX_H
#define QUILLET_BASSMIX_H

#include "platform/audio/bass.h"

#ifdef __cplusplus
extern "C" {
#endif

/* High word 0x0204 (2.4), low word the revision. */
#define BASSMIX_VERSION 0x02040000u

DWORD BASS_Mixer_GetVersion(void);
typedef DWORD (*BASS_Mixer_GetVersion_t)(void);

#ifdef __cplusplus
}
#endif

#endif /* QUILLET_BASSMIX_H */
