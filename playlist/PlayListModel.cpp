#include "playlist/PlayListModel.h"

#include <algorithm>
#include <cctype>
#include <numeric>
#include <unordered_set>

#include "platform/text/Text.h"
#include "playlist/PlayListTexts.h"

TPlayListModel::TPlayListModel(std::string fileName, IPlayListDialogs& dialogs, IPlayListEngine& engine)
    : m_fileName(std::move(fileName)),
      m_dialogs(dialogs),
      m_engine(engine),
      m_random(std::random_device{}()) {
    resetToTemporaryList();
}

std::size_t TPlayListModel::rowOf(const TPlayList* list) const {
    for (std::size_t i = 0; i < m_lists.size(); ++i) {
        if (m_lists[i].get() == list) return i;
    }
    return 0;  // not reached: both marks always point into the set
}

void TPlayListModel::changed(TPlayListChange what) const {
    if (OnChange) OnChange(what);
}

std::string TPlayListModel::PlayingFileName(std::size_t index) const {
    return index < m_playing->Items.size() ? m_playing->Items[index].StreamInfo.FileName : std::string();
}

void TPlayListModel::MakeDisplayedListPlaying() {
    if (m_playing == m_displayed) return;
    m_playing = m_displayed;
    m_current = -1;  // an index into the previous list means nothing here
    changed(TPlayListChange::Current);
}

void TPlayListModel::SelectTemporaryList() {
    ListsSelectCell(0);
}

void TPlayListModel::ListsSelectCell(std::size_t row) {
    if (row >= m_lists.size() || m_lists[row].get() == m_displayed) return;
    m_displayed = m_lists[row].get();
    changed(TPlayListChange::Items);
}

// ---- Adding ----

std::vector<std::size_t> TPlayListModel::AddFilesToList() {
    if (!m_engine.BASSReady()) {
        m_dialogs.ShowMessage(plt::kEngineNotReady, plt::kEngineNotReadyCaption, TMsgIcon::None);
        return {};
    }
    const std::string patterns = m_engine.NativeFileExts();
    const std::string filter = plt::kNativeFilterPrefix + patterns + ")|" + patterns + "|";
    std::vector<std::string> files;
    if (!m_dialogs.OpenFiles(filter, files)) return {};

    return sortKeepingRows(appendNames(files));
}

std::vector<std::size_t> TPlayListModel::AddNamesToList(const std::vector<std::string>& names) {
    if (!m_engine.BASSReady()) return {};
    return sortKeepingRows(appendNames(names));
}

bool TPlayListModel::IsStreamURL(std::string_view name) {
    const auto startsWith = [name](std::string_view prefix) {
        if (name.size() < prefix.size()) return false;
        for (std::size_t i = 0; i < prefix.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(name[i])) != prefix[i]) return false;
        return true;
    };
    return startsWith("http://") || startsWith("mms://");
}

std::vector<std::size_t> TPlayListModel::appendNames(const std::vector<std::string>& names) {
    std::vector<TMediaInf>& items = m_displayed->Items;
    std::vector<std::size_t> rows;
    for (const std::string& name : names) {
        TStreamInfo info;
        if (IsStreamURL(name)) {
            if (!m_engine.Open(name)) continue;  // the engine reports why
            info = m_engine.StreamInfo();
        } else if (!m_engine.GetStreamInfo(name, info)) {
            continue;  // not playable: skipped quietly
        }
        TMediaInf& entry = items.emplace_back();
        entry.OpenIndex = static_cast<int32_t>(items.size() - 1);
        entry.StreamInfo = std::move(info);
        rows.push_back(items.size() - 1);
    }
    return rows;
}

std::vector<std::size_t> TPlayListModel::sortKeepingRows(const std::vector<std::size_t>& rows) {
    const std::vector<std::size_t> newRow = sortDisplayed();
    std::vector<std::size_t> sorted;
    sorted.reserve(rows.size());
    for (std::size_t row : rows) sorted.push_back(newRow[row]);
    changed(TPlayListChange::Items);
    return sorted;
}

void TPlayListModel::Files1Click() {
    AddFilesToList();
    m_modified = true;
}

bool TPlayListModel::AddURL1Click() {
    std::string url;
    if (!m_dialogs.InputQuery(plt::kUrlCaption, plt::kUrlPrompt, url) || url.empty()) return false;
    if (!m_engine.Open(url)) return false;
    std::vector<TMediaInf>& items = m_displayed->Items;
    TMediaInf& entry = items.emplace_back();
    entry.OpenIndex = static_cast<int32_t>(items.size() - 1);
    entry.StreamInfo = m_engine.StreamInfo();
    m_modified = true;
    changed(TPlayListChange::Items);
    return true;
}

// ---- Removing ----

void TPlayListModel::followRemoval(std::size_t row) {
    if (m_displayed != m_playing || m_current < 0) return;
    const auto current = static_cast<std::size_t>(m_current);
    if (row == current) {
        m_current = -1;
    } else if (row < current) {
        --m_current;
    }
}

void TPlayListModel::DeleteSelected1Click(int itemRow) {
    std::vector<TMediaInf>& items = m_displayed->Items;
    if (itemRow >= 0 && static_cast<std::size_t>(itemRow) < items.size()) {
        const auto row = static_cast<std::size_t>(itemRow);
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(row));
        followRemoval(row);
        changed(TPlayListChange::Items);
    }
    m_modified = true;
}

void TPlayListModel::ClearList1Click() {
    if (!m_dialogs.AskYesNo(plt::kConfirmClear, plt::kCaption)) return;
    m_displayed->Items.clear();
    // The playing entry is gone; a stale index would mark whatever is added
    // next as playing.
    if (m_displayed == m_playing) m_current = -1;
    m_modified = true;
    changed(TPlayListChange::Items);
}

void TPlayListModel::DeleteList1Click() {
    const std::size_t row = DisplayedRow();
    if (row == 0) return;
    if (!m_dialogs.AskYesNo(plt::kConfirmDeleteList, plt::kCaption)) return;
    if (m_playing == m_displayed) {
        // The playing list is gone: play on from the temporary list, with
        // nothing current yet.
        m_playing = m_lists.front().get();
        m_current = -1;
    }
    m_lists.erase(m_lists.begin() + static_cast<std::ptrdiff_t>(row));
    m_displayed = m_lists[std::min(row, m_lists.size() - 1)].get();
    m_modified = true;
    changed(TPlayListChange::Lists);
}

// ---- Lists ----

std::string TPlayListModel::ProposedListName() const {
    std::unordered_set<std::string_view> names;
    for (const auto& list : m_lists) names.insert(list->Name);
    for (std::size_t n = 1;; ++n) {
        std::string name = plt::kNewListName + std::to_string(n);
        if (!names.contains(name)) return name;
    }
}

bool TPlayListModel::askListName(const std::string& prompt, std::string& name) {
    return m_dialogs.InputQuery(plt::kListNameCaption, prompt, name);
}

void TPlayListModel::NewGroup1Click() {
    std::string name = ProposedListName();
    if (!askListName(plt::kListNamePrompt, name)) return;
    auto list = std::make_unique<TPlayList>();
    list->Name = std::move(name);
    m_lists.push_back(std::move(list));
    m_modified = true;
    changed(TPlayListChange::Lists);
}

void TPlayListModel::SaveList1Click() {
    std::string name = ProposedListName();
    if (!askListName(plt::kListNamePrompt, name)) return;
    auto list = std::make_unique<TPlayList>();
    list->Name = std::move(name);
    list->Items = m_displayed->Items;
    m_lists.push_back(std::move(list));
    m_modified = true;
    changed(TPlayListChange::Lists);
}

void TPlayListModel::RenameList1Click() {
    std::string name = m_displayed->Name;
    if (!askListName(plt::kRenamePrompt, name)) return;
    m_displayed->Name = std::move(name);
    m_modified = true;
    changed(TPlayListChange::Lists);
}

// ---- Moving and copying ----

std::vector<std::string> TPlayListModel::PickerEntries() const {
    std::vector<std::string> names;
    names.reserve(m_lists.size());
    for (const auto& list : m_lists) {
        if (list.get() != m_displayed) names.push_back(list->Name);
    }
    return names;
}

TPlayList* TPlayListModel::pickTarget() {
    const std::vector<std::string> names = PickerEntries();
    const int chosen = m_dialogs.PickList(names);
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= names.size()) return nullptr;
    // The first list of that name wins; the displayed list was not offered,
    // so it is never the target even when another list shares its name.
    for (const auto& list : m_lists) {
        if (list.get() != m_displayed && list->Name == names[static_cast<std::size_t>(chosen)])
            return list.get();
    }
    return nullptr;
}

void TPlayListModel::MovetoList1Click(int itemRow) {
    std::vector<TMediaInf>& items = m_displayed->Items;
    if (itemRow < 0 || static_cast<std::size_t>(itemRow) >= items.size()) return;
    TPlayList* target = pickTarget();
    if (!target) return;
    const auto row = static_cast<std::size_t>(itemRow);
    target->Items.push_back(std::move(items[row]));
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(row));
    followRemoval(row);
    m_modified = true;
    changed(TPlayListChange::Items);
}

void TPlayListModel::CopytoList1Click(int itemRow) {
    const std::vector<TMediaInf>& items = m_displayed->Items;
    if (itemRow < 0 || static_cast<std::size_t>(itemRow) >= items.size()) return;
    TPlayList* target = pickTarget();
    if (!target) return;
    target->Items.push_back(items[static_cast<std::size_t>(itemRow)]);
    m_modified = true;
    changed(TPlayListChange::Items);
}

// ---- Sorting ----

std::vector<std::size_t> TPlayListModel::sortDisplayed() {
    std::vector<TMediaInf>& items = m_displayed->Items;
    const std::size_t n = items.size();
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (m_sortKey == TSortKey::OpenIndex) {
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return items[a].OpenIndex < items[b].OpenIndex;
        });
    } else {
        // Text compares as its GBK form byte by byte with a-z folded, so
        // Chinese names come in the order their readers expect. The keys are
        // made once, not per comparison.
        std::vector<std::string> keys(n);
        for (std::size_t i = 0; i < n; ++i) {
            const TStreamInfo& s = items[i].StreamInfo;
            const std::string& text = m_sortKey == TSortKey::FileName ? s.FileName
                                      : m_sortKey == TSortKey::Title  ? s.Title
                                      : m_sortKey == TSortKey::Artist ? s.Artist
                                                                      : s.Album;
            keys[i] = qtext::gbkSortKey(text);
        }
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    }
    std::vector<TMediaInf> sorted;
    sorted.reserve(n);
    std::vector<std::size_t> newRow(n);
    for (std::size_t i = 0; i < n; ++i) {
        newRow[order[i]] = i;
        sorted.push_back(std::move(items[order[i]]));
    }
    items = std::move(sorted);
    // The current entry stays current wherever the sort put it.
    if (m_displayed == m_playing && m_current >= 0 && static_cast<std::size_t>(m_current) < n) {
        m_current = static_cast<int>(newRow[static_cast<std::size_t>(m_current)]);
    }
    return newRow;
}

void TPlayListModel::sortCommand(TSortKey key) {
    m_sortKey = key;
    sortDisplayed();
    m_modified = true;
    changed(TPlayListChange::Items);
}

// ---- Playing ----

bool TPlayListModel::ListDblClick(int itemRow) {
    const std::vector<TMediaInf>& items = m_displayed->Items;
    if (itemRow < 0 || static_cast<std::size_t>(itemRow) >= items.size()) return false;
    m_engine.Stop();
    if (!m_engine.Open(items[static_cast<std::size_t>(itemRow)].StreamInfo.FileName)) return false;
    if (OnPlayLength) OnPlayLength(m_engine.PlayLength());
    m_engine.Play();
    m_playing = m_displayed;
    m_current = itemRow;
    changed(TPlayListChange::Current);
    return true;
}

std::string TPlayListModel::NextTrack() {
    return StepTrack(+1);
}

std::string TPlayListModel::PrevTrack() {
    return StepTrack(-1);
}

std::string TPlayListModel::StepTrack(int direction) {
    const std::size_t n = m_playing->Items.size();
    if (n == 0) return {};
    const long long last = static_cast<long long>(n) - 1;
    long long i = 0;
    switch (m_playMode) {
        case TPlayMode::Random:
            i = std::uniform_int_distribution<long long>(0, last)(m_random);
            break;
        case TPlayMode::InOrder:
            i = static_cast<long long>(m_current) + direction;
            break;
        case TPlayMode::CurrentOnly:
            if (!m_loop) {
                m_current = -1;
                changed(TPlayListChange::Current);
                return {};
            }
            i = m_current;
            break;
    }
    // Past either end: forwards wraps to the first entry, backwards to the
    // last (so looping with nothing current starts at the first entry going
    // forwards).
    if (i < 0 || i > last) i = direction > 0 ? 0 : last;
    m_current = static_cast<int>(i);
    changed(TPlayListChange::Current);
    return m_playing->Items[static_cast<std::size_t>(i)].StreamInfo.FileName;
}
