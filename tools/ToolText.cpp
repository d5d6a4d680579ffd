#include "tools/ToolText.h"

#include <cstdio>

#include "platform/text/Text.h"

namespace quillet::tools {

std::string jsonString(std::string_view text) {
    const std::string utf8 = qtext::toUtf8(text);
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (u < 0x20 || u == 0x7f) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", u);
                    out += buf;
                } else {
                    out += c;  // UTF-8 lead and continuation bytes pass unchanged
                }
        }
    }
    out += '"';
    return out;
}

namespace {

void addString(std::string& out, const char* key, std::string_view value) {
    out += ",\"";
    out += key;
    out += "\":";
    out += jsonString(value);
}

void addNumber(std::string& out, const char* key, unsigned long value) {
    out += ",\"";
    out += key;
    out += "\":";
    out += std::to_string(value);
}

}  // namespace

std::string hexBytes(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        out += kDigits[u >> 4];
        out += kDigits[u & 0x0f];
    }
    return out;
}

std::string streamInfoJson(std::string_view path, bool ok, const TStreamInfo& info) {
    std::string out = "{\"path\":" + jsonString(path);
    out += ok ? ",\"ok\":true" : ",\"ok\":false";
    for (const TStreamInfoField& field : kStreamInfoFields) {
        if (field.isText()) {
            addString(out, field.name, field.text(info));
        } else {
            addNumber(out, field.name, field.number(info));
        }
    }
    // "path" is shown text; a name that is not UTF-8 changes in it, so the exact
    // bytes go last, for callers that match the line to their file.
    addString(out, "path_bytes", hexBytes(path));
    out += '}';
    return out;
}

std::string oneLine(std::string_view text) {
    const std::string utf8 = qtext::toUtf8(text);
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\r') {
            if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
            out += "\\n";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace quillet::tools
