// The calling thread's error code (BASS_ErrorGetCode).
//
// Every entry point sets it: BASS_OK on success, a BASS_ERROR_* code on
// failure. The helpers set the code and return the failure value of each
// return type, so an entry point can write `return failBool(BASS_ERROR_HANDLE);`.
#pragma once

#include "platform/audio/bass.h"

namespace qaudio {

void setError(int code);
int lastError();

inline BOOL failBool(int code) {
    setError(code);
    return FALSE;
}
// Handles: 0 is failure.
inline DWORD failHandle(int code) {
    setError(code);
    return 0;
}
// Counts and positions: all bits set is failure.
inline DWORD failDword(int code) {
    setError(code);
    return static_cast<DWORD>(-1);
}
inline QWORD failQword(int code) {
    setError(code);
    return static_cast<QWORD>(-1);
}

}  // namespace qaudio
