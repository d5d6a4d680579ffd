#include <gtest/gtest.h>

#include "shell/ButtonSettings.h"

namespace {

TEST(ButtonLabels, TranslateBothWaysAndKeepUnknownText) {
    const std::pair<const char*, const char*> table[] = {
        {"Play", "播放"}, {"Prev", "前一首"}, {"Next", "后一首"}, {"Stop", "停止"},
        {"Open", "打开"}, {"Mute", "静音"},   {"List", "列表"},   {"Visual", "图形"},
    };
    for (const auto& [name, label] : table) {
        EXPECT_EQ(ButtonLabel(name), label);
        EXPECT_EQ(ButtonName(label), name);
    }
    // Neither a name nor a label: shown and written back unchanged.
    for (const char* other : {"Lyric", "play", "", "播放 "}) {
        EXPECT_EQ(ButtonLabel(other), other);
        EXPECT_EQ(ButtonName(other), other);
    }
    EXPECT_EQ(JoinSettingList({"a", "", "b"}), "a,,b");
    EXPECT_EQ(JoinSettingList({}), "");
}

TEST(ButtonLists, ShortCheckListsArePaddedWithHidden) {
    const std::vector<std::string> order{"Play", "Prev", "Next"};
    EXPECT_EQ(PaddedCheck(order, {"y"}), (std::vector<std::string>{"y", "n", "n"}));
    EXPECT_EQ(PaddedCheck(order, {}), (std::vector<std::string>{"n", "n", "n"}));
    EXPECT_EQ(PaddedCheck(order, {"y", "y", "y", "y"}).size(), 4u);
}

struct ToggleCase {
    const char* order;
    const char* check;
    const char* name;
    bool visible;
    const char* wantOrder;
    const char* wantCheck;
};

TEST(ButtonLists, ToggleSetsTheEntryAtTheNamesPlace) {
    const ToggleCase cases[] = {
        // Stop unchecked: "n" at Stop's place, the order untouched.
        {"Visual,Play,Prev,Next,Stop,Mute,Open,List", "y,y,y,y,y,y,y,y", "Stop", false,
         "Visual,Play,Prev,Next,Stop,Mute,Open,List", "y,y,y,y,n,y,y,y"},
        {"Play,Stop", "n,n", "Play", true, "Play,Stop", "y,n"},
        // A check list shorter than the order: padded, never indexed past its end.
        {"Play,Prev,Next,Stop", "y", "Stop", true, "Play,Prev,Next,Stop", "y,n,n,y"},
        {"Play,Prev,Next,Stop", "", "Next", false, "Play,Prev,Next,Stop", "n,n,n,n"},
        // A name the order lacks is appended with its state.
        {"Play,Prev", "y,y", "Visual", true, "Play,Prev,Visual", "y,y,y"},
        {"Play,Prev", "y", "Mute", false, "Play,Prev,Mute", "y,n,n"},
        {"", "", "List", true, "List", "y"},
        // A longer check list keeps its tail behind the new pair.
        {"Play", "y,n,y", "Stop", true, "Play,Stop", "y,y,n,y"},
    };
    for (const ToggleCase& c : cases) {
        const TButtonLists got = ToggleButton(c.order, c.check, c.name, c.visible);
        EXPECT_EQ(got.order, c.wantOrder) << c.order << " / " << c.name;
        EXPECT_EQ(got.check, c.wantCheck) << c.order << " / " << c.name;
    }
}

}  // namespace
