// Prints what the tag readers read from each file given, one JSON object per
// line, for the comparison with another tag library (compare_mutagen.py).
#include <cstdio>
#include <string>

#include "mediainfo/APETag.h"
#include "mediainfo/ID3v1.h"
#include "mediainfo/ID3v2.h"
#include "platform/text/Text.h"

namespace {

std::string quoted(const std::string& raw) {
    const std::string s = qtext::toUtf8(raw);  // APE values are bytes
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string field(const char* name, const std::string& value) {
    return std::string("\"") + name + "\":" + quoted(value);
}
std::string field(const char* name, long value) {
    return std::string("\"") + name + "\":" + std::to_string(value);
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        mediainfo::TID3v1 v1;
        mediainfo::TID3v2 v2;
        mediainfo::TAPETag ape;
        const bool ok1 = v1.ReadFromFile(argv[i]);
        const bool ok2 = v2.ReadFromFile(argv[i]);
        const bool ok3 = ape.ReadFromFile(argv[i]);
        std::string line = "{" + field("file", argv[i]) + ",\"id3v1\":{" + field("ok", ok1) + "," +
                           field("exists", v1.exists()) + "," + field("version", v1.version()) + "," +
                           field("title", v1.title()) + "," + field("artist", v1.artist()) + "," +
                           field("album", v1.album()) + "," + field("year", v1.year()) + "," +
                           field("comment", v1.comment()) + "," + field("track", v1.track()) + "," +
                           field("genreID", v1.genreID()) + "," + field("lyrics3", v1.lyrics3Present()) + "}";
        line += ",\"id3v2\":{" + field("ok", ok2) + "," + field("exists", v2.exists()) + "," +
                field("version", v2.version()) + "," + field("size", v2.size()) + "," +
                field("title", v2.title()) + "," + field("artist", v2.artist()) + "," +
                field("album", v2.album()) + "," + field("track", v2.track()) + "," +
                field("trackText", v2.trackText()) + "," + field("year", v2.year()) + "," +
                field("genre", v2.genre()) + "," + field("comment", v2.comment()) + "," +
                field("composer", v2.composer()) + "}";
        line += ",\"ape\":{" + field("ok", ok3) + "," + field("exists", ape.exists()) + "," +
                field("version", ape.version()) + "," + field("size", ape.size()) + ",\"items\":[";
        for (std::size_t k = 0; k < ape.items().size(); ++k) {
            line += (k ? ",[" : "[") + quoted(ape.items()[k].name) + "," + quoted(ape.items()[k].value) + "]";
        }
        std::printf("%s]}}\n", line.c_str());
    }
    return 0;
}
