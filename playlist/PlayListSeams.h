// What the playlist model needs from the outside: the dialogs its commands
// ask, and the player component. The playlist window implements the first
// with real dialogs, the player binding implements the second; tests use
// scripted stand-ins.
//
// Both are called only on the user-interface thread, from inside a playlist
// command, and may block there (modal dialogs). The model does not own them;
// they must outlive it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/types/StreamInfo.h"

enum class TMsgIcon { None, Information, Warning, Error, Question };

class IPlayListDialogs {
  public:
    virtual ~IPlayListDialogs() = default;

    // A modal input box with OK and Cancel. `value` comes in as the initial
    // text and goes out as the text entered. True on OK; on Cancel the
    // result is false and `value` is not to be used.
    virtual bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) = 0;

    // A modal Yes/No question with the question icon. True on Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;

    // A modal message box with an OK button.
    virtual void ShowMessage(const std::string& text, const std::string& caption, TMsgIcon icon) = 0;

    // The shared open-file dialog, started with an empty file name, multiple
    // selection allowed. `filter` is description|patterns| pairs, patterns
    // separated by ';' ("Music (*.mp3;*.ogg)|*.mp3;*.ogg|"). True with the
    // chosen paths (in the dialog's order) in `files`; false when cancelled.
    virtual bool OpenFiles(const std::string& filter, std::vector<std::string>& files) = 0;

    // The target-list picker: a modal list box holding `names` in order, with
    // OK and Cancel (texts in PlayListTexts.h). Returns the index into
    // `names` of the entry selected when OK was pressed, or -1 when cancelled
    // or nothing was selected.
    virtual int PickList(const std::vector<std::string>& names) = 0;
};

class IPlayListEngine {
  public:
    virtual ~IPlayListEngine() = default;

    // True when the audio library is loaded and initialised.
    virtual bool BASSReady() const = 0;
    // The patterns the library plays, "*.mp3;*.ogg;..." (each ends with ';');
    // empty when not ready.
    virtual std::string NativeFileExts() const = 0;
    // The media description of a file or URL without opening it for play.
    // False when it cannot be obtained; `info` is then not to be used.
    virtual bool GetStreamInfo(const std::string& name, TStreamInfo& info) = 0;
    // Opens a file or URL for play, replacing the open stream. False on
    // failure (the engine reports its own errors).
    virtual bool Open(const std::string& name) = 0;
    // Starts playing the open stream.
    virtual void Play() = 0;
    // Stops playing (keeps the stream open).
    virtual void Stop() = 0;
    // Length of the open stream in milliseconds; 0 when nothing is open.
    virtual uint32_t PlayLength() const = 0;
    // The media description of the open stream.
    virtual TStreamInfo StreamInfo() const = 0;
};
