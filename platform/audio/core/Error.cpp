#include "platform/audio/core/Error.h"

namespace qaudio {

namespace {
thread_local int t_error = BASS_OK;
}

void setError(int code) {
    t_error = code;
}
int lastError() {
    return t_error;
}

}  // namespace qaudio
