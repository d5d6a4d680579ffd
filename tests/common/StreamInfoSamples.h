// A stream-information record with every field set, built from the field
// table, for tests that must cover every field without naming each one.
#pragma once

#include <string>

#include "engine/types/StreamInfo.h"

// Every string holds its field's name, `seed` and characters that need
// escaping in XML and JSON; every number is distinct from the others and
// from 0, cut to its field's width.
inline TStreamInfo streamInfoWithEveryField(unsigned seed) {
    TStreamInfo info;
    unsigned n = 0;
    for (const TStreamInfoField& field : kStreamInfoFields) {
        ++n;
        if (field.isText()) {
            field.text(info) = std::string(field.name) + " " + std::to_string(seed) + " & <\"'>\n中";
        } else {
            field.setNumber(info, seed * 1000003u + n * 17u);
        }
    }
    return info;
}
