#include "shell/ButtonSettings.h"

#include <algorithm>
#include <utility>

#include "shell/Settings.h"

namespace {

constexpr std::pair<const char*, const char*> kLabels[] = {
    {"Play", "播放"}, {"Prev", "前一首"}, {"Next", "后一首"}, {"Stop", "停止"},
    {"Open", "打开"}, {"Mute", "静音"},   {"List", "列表"},   {"Visual", "图形"},
};

}  // namespace

std::string ButtonLabel(std::string_view name) {
    for (const auto& [n, label] : kLabels)
        if (name == n) return label;
    return std::string(name);
}

std::string ButtonName(std::string_view label) {
    for (const auto& [name, l] : kLabels)
        if (label == l) return name;
    return std::string(label);
}

std::string JoinSettingList(const std::vector<std::string>& words) {
    std::string joined;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i > 0) joined += ',';
        joined += words[i];
    }
    return joined;
}

std::vector<std::string> PaddedCheck(const std::vector<std::string>& order, std::vector<std::string> check) {
    if (check.size() < order.size()) check.resize(order.size(), "n");
    return check;
}

TButtonLists ToggleButton(std::string_view order, std::string_view check, std::string_view name,
                          bool visible) {
    std::vector<std::string> names = SplitSettingList(order);
    std::vector<std::string> flags = PaddedCheck(names, SplitSettingList(check));
    const auto at = std::find(names.begin(), names.end(), name);
    const std::string flag = visible ? "y" : "n";
    if (at == names.end()) {
        // The check list may be longer than the order: the new pair goes at
        // the order's end, where the two lists still line up.
        flags.insert(flags.begin() + std::ptrdiff_t(names.size()), flag);
        names.emplace_back(name);
    } else {
        flags[size_t(at - names.begin())] = flag;
    }
    return {JoinSettingList(names), JoinSettingList(flags)};
}
