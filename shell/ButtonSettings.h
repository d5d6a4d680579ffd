// The mini window's button settings as the options dialog and the button
// menu edit them: the names of the row's controls and their labels in the
// dialog, and the comma lists button_order and button_check. No Qt.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The eight controls of the row, in the order of the button menu's items
// (tags 0 to 7).
inline constexpr const char* kButtonNames[8] = {"Play", "Prev", "Next", "Stop",
                                                "Mute", "Open", "List", "Visual"};

// The dialog's label of a control name ("Prev" -> "前一首"); any other text
// is returned unchanged, so an unknown name survives a round trip.
std::string ButtonLabel(std::string_view name);
// The control name of a label ("前一首" -> "Prev"); any other text unchanged.
std::string ButtonName(std::string_view label);

// Joins words with commas, no comma at the end.
std::string JoinSettingList(const std::vector<std::string>& words);

// `check` padded with "n" to the length of `order`: an entry the file does
// not have counts as hidden. Longer lists are kept as they are.
std::vector<std::string> PaddedCheck(const std::vector<std::string>& order, std::vector<std::string> check);

struct TButtonLists {
    std::string order;
    std::string check;
};

// One control shown or hidden: the entry of button_check at the name's place
// in button_order becomes "y" or "n" (the check list padded first); a name the
// order lacks is appended to both lists with its new state.
TButtonLists ToggleButton(std::string_view order, std::string_view check, std::string_view name,
                          bool visible);
