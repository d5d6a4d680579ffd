// Loads arbitrary bytes as a playlist file, exercises the loaded set and
// checks that what the model writes loads back to the same lists.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "playlist/PlayListModel.h"

namespace {

class NoDialogs : public IPlayListDialogs {
  public:
    bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    void ShowMessage(const std::string&, const std::string&, TMsgIcon) override {}
    bool OpenFiles(const std::string&, std::vector<std::string>&) override { return false; }
    int PickList(const std::vector<std::string>&) override { return -1; }
};

class NoEngine : public IPlayListEngine {
  public:
    bool BASSReady() const override { return false; }
    std::string NativeFileExts() const override { return {}; }
    bool GetStreamInfo(const std::string&, TStreamInfo&) override { return false; }
    bool Open(const std::string&) override { return true; }
    void Play() override {}
    void Stop() override {}
    uint32_t PlayLength() const override { return 0; }
    TStreamInfo StreamInfo() const override { return {}; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    NoDialogs dialogs;
    NoEngine engine;
    TPlayListModel model("/nonexistent/playlist.xml", dialogs, engine);
    model.SeedRandom(1);
    if (!model.LoadPlaylistsFromText(std::string_view(reinterpret_cast<const char*>(data), size))) return 0;

    // Walk every list: play its first entry, step both ways, sort.
    for (std::size_t row = 0; row < model.ListCount() && row < 8; ++row) {
        model.ListsSelectCell(row);
        model.ListDblClick(0);
        model.NextTrack();
        model.PrevTrack();
        model.OrderPlay1Click(TPlayMode::Random);
        model.NextTrack();
        model.OrderPlay1Click(TPlayMode::InOrder);
        model.SortbyTitle1Click();
        model.SortbyOpenIndex1Click();
        model.DeleteSelected1Click(0);
    }

    // What is written loads back unchanged.
    const std::string text = model.PlaylistsText();
    TPlayListModel again("/nonexistent/playlist.xml", dialogs, engine);
    if (!again.LoadPlaylistsFromText(text) || again.ListCount() != model.ListCount()) std::abort();
    for (std::size_t row = 1; row < model.ListCount(); ++row) {
        const TPlayList& a = model.List(row);
        const TPlayList& b = again.List(row);
        if (a.Name != b.Name || a.Items.size() != b.Items.size()) std::abort();
        for (std::size_t k = 0; k < a.Items.size(); ++k) {
            if (!(a.Items[k].StreamInfo == b.Items[k].StreamInfo)) std::abort();
        }
    }
    return 0;
}
