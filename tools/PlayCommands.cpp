#include "tools/PlayCommands.h"

#include <array>
#include <charconv>
#include <string>
#include <utility>

namespace quillet::tools {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Splits off the next word; empty when none is left.
std::string_view nextWord(std::string_view& rest) {
    size_t at = 0;
    while (at < rest.size() && isBlank(rest[at])) ++at;
    size_t end = at;
    while (end < rest.size() && !isBlank(rest[end])) ++end;
    const std::string_view word = rest.substr(at, end - at);
    rest.remove_prefix(end);
    return word;
}

std::optional<uint32_t> parseNumber(std::string_view word) {
    if (word.empty()) return std::nullopt;
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, 10);
    if (error != std::errc() || end != word.data() + word.size()) return std::nullopt;
    return value;
}

constexpr std::array<std::pair<std::string_view, PlayCommand>, 10> kWords{{
    {"pause", PlayCommand::Pause},
    {"resume", PlayCommand::Resume},
    {"play", PlayCommand::Play},
    {"stop", PlayCommand::Stop},
    {"seek", PlayCommand::Seek},
    {"volume", PlayCommand::Volume},
    {"mute", PlayCommand::Mute},
    {"unmute", PlayCommand::Unmute},
    {"next", PlayCommand::Next},
    {"quit", PlayCommand::Quit},
}};

}  // namespace

std::optional<ParsedCommand> parsePlayCommand(std::string_view line) {
    std::string_view rest = line;
    const std::string_view word = nextWord(rest);
    for (const auto& [name, command] : kWords) {
        if (word != name) continue;
        ParsedCommand parsed{command, 0};
        if (command == PlayCommand::Seek || command == PlayCommand::Volume) {
            const auto value = parseNumber(nextWord(rest));
            if (!value) return std::nullopt;
            parsed.value = *value;
        }
        if (!nextWord(rest).empty()) return std::nullopt;
        return parsed;
    }
    return std::nullopt;
}

}  // namespace quillet::tools
