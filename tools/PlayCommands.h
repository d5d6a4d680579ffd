// The commands quillet-play reads from its standard input, one per line.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillet::tools {

enum class PlayCommand {
    Pause,   // "pause"
    Resume,  // "resume"
    Play,    // "play"
    Stop,    // "stop"
    Seek,    // "seek MS"
    Volume,  // "volume N"
    Mute,    // "mute"
    Unmute,  // "unmute"
    Next,    // "next"
    Quit,    // "quit"
};

struct ParsedCommand {
    PlayCommand command;
    uint32_t value = 0;  // the argument of seek and volume
    bool operator==(const ParsedCommand&) const = default;
};

// Parses one line (without or with its line break). Spaces and tabs around the words
// are ignored. seek and volume take one decimal number from 0 to 4294967295; the
// other commands take nothing. Returns nothing for anything else.
std::optional<ParsedCommand> parsePlayCommand(std::string_view line);

}  // namespace quillet::tools
