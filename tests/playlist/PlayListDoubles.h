// Scripted stand-ins for the dialogs and the player, and a fixture that gives
// each test a model over a playlist file in a folder of its own.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "playlist/PlayListModel.h"

struct Message {
    std::string text, caption;
    TMsgIcon icon;
};

// Answers come from queues filled by the test; a question the test did not
// expect fails the test and is answered with Cancel.
class ScriptedDialogs : public IPlayListDialogs {
  public:
    std::deque<std::optional<std::string>> inputs;  // nullopt: Cancel
    struct Asked {
        std::string caption, prompt, initial;
    };
    std::vector<Asked> inputsAsked;
    std::deque<bool> answers;
    std::vector<std::string> questions;
    std::vector<Message> messages;
    std::optional<std::vector<std::string>> files;  // nullopt: Cancel
    std::vector<std::string> filters;
    std::deque<int> picks;
    std::vector<std::vector<std::string>> pickersShown;

    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override {
        inputsAsked.push_back({caption, prompt, value});
        if (inputs.empty()) {
            ADD_FAILURE() << "unexpected input box " << caption;
            return false;
        }
        const auto answer = inputs.front();
        inputs.pop_front();
        if (answer) value = *answer;
        return answer.has_value();
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        questions.push_back(text);
        EXPECT_EQ(caption, "Quillet");
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question " << text;
            return false;
        }
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    void ShowMessage(const std::string& text, const std::string& caption, TMsgIcon icon) override {
        messages.push_back({text, caption, icon});
    }
    bool OpenFiles(const std::string& filter, std::vector<std::string>& chosen) override {
        filters.push_back(filter);
        if (!files) return false;
        chosen = *files;
        return true;
    }
    int PickList(const std::vector<std::string>& names) override {
        pickersShown.push_back(names);
        if (picks.empty()) {
            ADD_FAILURE() << "unexpected picker";
            return -1;
        }
        const int pick = picks.front();
        picks.pop_front();
        return pick;
    }
};

// A player that knows a fixed set of files and logs what it was asked.
class FakeEngine : public IPlayListEngine {
  public:
    bool ready = true;
    std::string exts = "*.mp3;*.ogg;";
    std::map<std::string, TStreamInfo> known;  // files GetStreamInfo and Open accept
    uint32_t length = 0;
    std::vector<std::string> calls;
    TStreamInfo open;

    bool BASSReady() const override { return ready; }
    std::string NativeFileExts() const override { return exts; }
    bool GetStreamInfo(const std::string& name, TStreamInfo& info) override {
        const auto it = known.find(name);
        if (it == known.end()) return false;
        info = it->second;
        return true;
    }
    bool Open(const std::string& name) override {
        calls.push_back("Open " + name);
        const auto it = known.find(name);
        if (it == known.end()) return false;
        open = it->second;
        return true;
    }
    void Play() override { calls.push_back("Play"); }
    void Stop() override { calls.push_back("Stop"); }
    uint32_t PlayLength() const override { return length; }
    TStreamInfo StreamInfo() const override { return open; }

    void add(const std::string& name, const std::string& title = {}) {
        TStreamInfo info(name);
        info.Title = title;
        info.Duration = 1000;
        known[name] = info;
    }
};

// A playlist document with the given lists (name, file names).
inline std::string playlistXml(const std::vector<std::pair<std::string, std::vector<std::string>>>& lists) {
    std::ostringstream out;
    out << "<playlist count=\"" << lists.size() << "\">";
    for (std::size_t n = 0; n < lists.size(); ++n) {
        out << "<group" << n + 1 << " caption=\"" << lists[n].first << "\" count=\"" << lists[n].second.size()
            << "\">";
        for (std::size_t k = 0; k < lists[n].second.size(); ++k) {
            out << "<item" << k << " filename=\"" << lists[n].second[k] << "\" title=\"" << lists[n].second[k]
                << "\"/>";
        }
        out << "</group" << n + 1 << ">";
    }
    out << "</playlist>";
    return out.str();
}

inline std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class PlayListTest : public ::testing::Test {
  protected:
    PlayListTest()
        : dir(std::filesystem::temp_directory_path() /
              ("quillet-playlist-" + std::to_string(getpid()) + "-" + std::to_string(counter()++))),
          file(dir / "playlist.xml"),
          model(file.string(), dialogs, engine) {
        std::filesystem::create_directories(dir);
    }
    ~PlayListTest() override { std::filesystem::remove_all(dir); }

    // Replaces the set by these lists (row 0 stays the temporary list).
    void setLists(const std::vector<std::pair<std::string, std::vector<std::string>>>& lists) {
        ASSERT_TRUE(model.LoadPlaylistsFromText(playlistXml(lists)));
    }
    std::vector<std::string> fileNames(std::size_t row) const {
        std::vector<std::string> names;
        for (const TMediaInf& m : model.List(row).Items) names.push_back(m.StreamInfo.FileName);
        return names;
    }
    std::vector<std::string> listNames() const {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < model.ListCount(); ++i) names.push_back(model.ListName(i));
        return names;
    }

    static std::atomic<int>& counter() {
        static std::atomic<int> c{0};
        return c;
    }

    std::filesystem::path dir, file;
    ScriptedDialogs dialogs;
    FakeEngine engine;
    TPlayListModel model;
};
