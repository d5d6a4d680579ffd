#include "mediainfo/ID3Tags.h"

namespace mediainfo {

TTagFields preferredID3Fields(const TID3v1& v1, const TID3v2& v2) {
    if (v1.exists()) return v1.tagFields();
    if (v2.exists()) return v2.tagFields();
    return {};
}

}  // namespace mediainfo
