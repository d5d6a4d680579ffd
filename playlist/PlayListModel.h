// The playlist set and every playlist command, without a window.
//
// The set is an ordered sequence of named lists; row 0 is always the
// temporary list, which starts empty at every run and is never saved. The
// model remembers which list is displayed (the row selected in the window's
// list-name grid), which list is playing and the current index within it.
// Both the displayed and the playing list are kept by identity, so deleting
// another list never moves either mark to a different list.
//
// The window keeps the item grid's selection and passes the selected row to
// the commands that act on it; the model tells the window what to redraw
// through OnChange. Dialogs and the player are reached through the seams of
// PlayListSeams.h. Everything runs on the user-interface thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "playlist/MediaInf.h"
#include "playlist/PlayListSeams.h"

enum class TSortKey { FileName, Title, Artist, Album, OpenIndex };
enum class TPlayMode { InOrder, Random, CurrentOnly };

// What the window must redraw after a change.
enum class TPlayListChange {
    Items,    // the displayed list's entries changed or another list is displayed: refill the item grid
    Lists,    // names or the set of lists changed: refill the list-name grid (and the item grid)
    Current,  // the current entry or the playing list changed: repaint the marks
};

class TPlayListModel {
  public:
    // A list the file announces but does not hold (its group element is
    // missing) becomes an empty list with an empty name, at most this many
    // per file. Files the program writes never lack a group; the bound only
    // stops a forged count such as 2 000 000 000 from filling memory.
    static constexpr std::size_t kMaxMissingLists = 1000;

    // `fileName` is the playlist file's full path. The seams must outlive
    // the model.
    TPlayListModel(std::string fileName, IPlayListDialogs& dialogs, IPlayListEngine& engine);

    // Called after every change the window must show; may be left empty.
    std::function<void(TPlayListChange)> OnChange;
    // Called by ListDblClick after the chosen entry opened and before it
    // plays, with the engine's PlayLength in milliseconds (the mini window
    // shows it as its total time).
    std::function<void(uint32_t)> OnPlayLength;

    // ---- The playlist file ----

    // Rebuilds the set from the file. No file: only the empty temporary list.
    // A file that cannot be read or parsed: the parser's error is shown in a
    // message box and only the temporary list exists; the file is kept and
    // moved aside (to <file>.bad) before a new one is written.
    void LoadPlaylists();
    // The same from the bytes of a file (what LoadPlaylists does after
    // reading it). False with `error` set when they are not a playlist file;
    // shows no message.
    bool LoadPlaylistsFromText(std::string_view bytes, std::string* error = nullptr);
    // Writes every list but the temporary one, replacing the file safely (a
    // failure leaves the previous file whole). A damaged file found by
    // LoadPlaylists is moved aside first. Clears the modified flag on
    // success; on failure returns false with the reason in LastError().
    bool SavePlaylists();
    // The document SavePlaylists writes.
    std::string PlaylistsText() const;
    // The shutdown step: saves when the modified flag is set, and shows a
    // failure in a message box. True when nothing had to be written or the
    // save succeeded.
    bool SaveIfModified();
    const std::string& LastError() const { return m_lastError; }
    const std::string& FileName() const { return m_fileName; }

    // ---- Reading the set ----

    std::size_t ListCount() const { return m_lists.size(); }
    const TPlayList& List(std::size_t row) const { return *m_lists.at(row); }
    const std::string& ListName(std::size_t row) const { return List(row).Name; }
    // The displayed list and its row in the list-name grid.
    const TPlayList& Displayed() const { return *m_displayed; }
    std::size_t DisplayedRow() const { return rowOf(m_displayed); }
    // The playing list and its row (the list name drawn highlighted).
    const TPlayList& Playing() const { return *m_playing; }
    std::size_t PlayingRow() const { return rowOf(m_playing); }
    // Index of the current entry in the playing list; -1 for none.
    int CurrentIndex() const { return m_current; }
    // An entry of the displayed list for in-place editing (the properties
    // dialog); the editor calls SetModified when it changed something.
    TMediaInf& DisplayedItem(std::size_t row) { return m_displayed->Items.at(row); }

    bool Modified() const { return m_modified; }
    void SetModified() { m_modified = true; }

    TSortKey SortKey() const { return m_sortKey; }
    TPlayMode PlayMode() const { return m_playMode; }
    // Starts off; the window's loop menu item shows this state.
    bool Loop() const { return m_loop; }

    // ---- Used by the mini window ----

    std::size_t PlayingCount() const { return m_playing->Items.size(); }
    // File name of an entry of the playing list; empty when out of range.
    std::string PlayingFileName(std::size_t index) const;
    // The displayed list becomes the playing list. When that is another list
    // than before, there is no current entry in it yet (-1).
    void MakeDisplayedListPlaying();
    // Row 0 (the temporary list) becomes the displayed list.
    void SelectTemporaryList();
    // Asks for files and appends those the engine can describe to the
    // displayed list, then sorts it by the current key. Returns the rows the
    // new entries have after the sort, in the order they were chosen (empty
    // when nothing was added). Does not set the modified flag.
    std::vector<std::size_t> AddFilesToList();
    // The same for names given instead of chosen in the dialog (the command
    // line, a second start, a bus client): files are added as AddFilesToList
    // adds them, "http://" and "mms://" URLs as AddURL1Click adds them (the
    // engine opens each). Names the engine cannot describe or open are
    // skipped. Returns the rows of the new entries after the sort, in the
    // order of `names`. Does not set the modified flag.
    std::vector<std::size_t> AddNamesToList(const std::vector<std::string>& names);
    // The file name of the next (previous) entry of the playing list by the
    // play mode, which becomes the current one; empty when there is none.
    std::string NextTrack();
    std::string PrevTrack();

    // ---- Commands of the playlist window ----
    // `itemRow` is the row selected in the item grid (-1 for none).

    void Files1Click();                      // add music files
    bool AddURL1Click();                     // true when a stream was added
    void DeleteSelected1Click(int itemRow);  // delete the selected entry
    void ClearList1Click();                  // clear the displayed list (asks)
    void NewGroup1Click();                   // new empty list (asks its name)
    void SaveList1Click();                   // copy of the displayed list (asks its name)
    void RenameList1Click();                 // rename the displayed list
    void DeleteList1Click();                 // delete the displayed list (asks)
    void MovetoList1Click(int itemRow);      // move the selected entry to another list
    void CopytoList1Click(int itemRow);      // copy the selected entry to another list
    void SortbyFileName1Click() { sortCommand(TSortKey::FileName); }
    void SortbyTitle1Click() { sortCommand(TSortKey::Title); }
    void SortbyArtist1Click() { sortCommand(TSortKey::Artist); }
    void SortbyAlbum1Click() { sortCommand(TSortKey::Album); }
    void SortbyOpenIndex1Click() { sortCommand(TSortKey::OpenIndex); }
    void OrderPlay1Click(TPlayMode mode) { m_playMode = mode; }
    void PlayOneRecycle1Click() { m_loop = !m_loop; }
    // Double click on either grid, or the play command: plays the selected
    // entry of the displayed list. True when it opened.
    bool ListDblClick(int itemRow);
    bool Play1Click(int itemRow) { return ListDblClick(itemRow); }
    // The user selected a row of the list-name grid.
    void ListsSelectCell(std::size_t row);

    // The name proposed for a new list: "新建列表 " and the smallest n >= 1
    // not yet among the names.
    std::string ProposedListName() const;
    // The entries shown by the target-list picker: every name but the
    // displayed list's, in order.
    std::vector<std::string> PickerEntries() const;

    // Seeds the generator of the random play mode (seeded from the system
    // at construction).
    void SeedRandom(uint32_t seed) { m_random.seed(seed); }

    // True for the names the engine opens as network streams.
    static bool IsStreamURL(std::string_view name);

  private:
    // Appends the files the engine can describe to the displayed list (and
    // opens the URLs among them); the new entries' rows before any sort.
    std::vector<std::size_t> appendNames(const std::vector<std::string>& names);
    // Sorts the displayed list and maps `rows` (before the sort) to after it.
    std::vector<std::size_t> sortKeepingRows(const std::vector<std::size_t>& rows);
    // NextTrack (+1) and PrevTrack (-1): the entry the play mode picks next.
    std::string StepTrack(int direction);
    std::size_t rowOf(const TPlayList* list) const;
    void resetToTemporaryList();
    void changed(TPlayListChange what) const;
    // Index of the entry removed from the displayed list: moves the current
    // index the way deleting must.
    void followRemoval(std::size_t row);
    // Sorts the displayed list by the current key, stably. Returns where
    // each old row went (newRow[oldRow]); the current entry follows.
    std::vector<std::size_t> sortDisplayed();
    void sortCommand(TSortKey key);
    // The target chosen in the picker, or null.
    TPlayList* pickTarget();
    bool askListName(const std::string& prompt, std::string& name);

    std::string m_fileName;
    IPlayListDialogs& m_dialogs;
    IPlayListEngine& m_engine;

    std::vector<std::unique_ptr<TPlayList>> m_lists;
    TPlayList* m_displayed = nullptr;
    TPlayList* m_playing = nullptr;
    int m_current = -1;
    bool m_modified = false;
    // The file on disk could not be loaded; move it aside before writing.
    bool m_damaged = false;
    std::string m_lastError;

    TSortKey m_sortKey = TSortKey::FileName;
    TPlayMode m_playMode = TPlayMode::InOrder;
    bool m_loop = false;
    std::mt19937 m_random;
};
