// The choice between a file's two ID3 tags for the readers that own both.
#pragma once

#include "mediainfo/ID3v1.h"
#include "mediainfo/ID3v2.h"
#include "mediainfo/MediaReader.h"

namespace mediainfo {

// The ID3v1 tag's fields when the file has one, else the ID3v2 tag's when it
// has one, else none.
TTagFields preferredID3Fields(const TID3v1& v1, const TID3v2& v2);

}  // namespace mediainfo
