// The playlist's records: one entry (TMediaInf) and one named list (TPlayList).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/types/StreamInfo.h"

// One playlist entry. Owned by exactly one list; copying an entry to another
// list copies the record.
struct TMediaInf {
    // The position the entry had when it entered its list (the list's length
    // just before it was appended), or its number in the playlist file. Only
    // used to restore the open order; never written to the file.
    int32_t OpenIndex = 0;
    // Name of the list the entry was read into from the file; empty for
    // entries added during the run. Never written to the file.
    std::string SourceList;
    // The media description the engine gave for the file or URL.
    TStreamInfo StreamInfo;

    bool operator==(const TMediaInf&) const = default;
};

// One named list. The name lives beside its entries, so names and lists can
// never drift apart. Names need not be unique and may be empty.
struct TPlayList {
    std::string Name;
    std::vector<TMediaInf> Items;
};
