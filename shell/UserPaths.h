// Where the program's user files live. No Qt.
//
// Everything lies beside the executable (a portable folder) as long as that
// folder is writable. When it is not (an installation under /usr or /opt),
// what the program writes goes to the user's XDG folders: the settings file
// to $XDG_CONFIG_HOME/quillet (default ~/.config/quillet), playlist.xml and
// QuilletSkins/ to $XDG_DATA_HOME/quillet (default ~/.local/share/quillet);
// and what it reads is looked up there first and beside the executable
// second.
#pragma once

#include <string>
#include <vector>

struct TUserFolders {
    bool portable = true;
    // Folders to write to (no trailing separator).
    std::string configWrite;
    std::string dataWrite;
    // Folders to read from, first match wins; the write folder comes first.
    std::vector<std::string> configRead;
    std::vector<std::string> dataRead;
};

// The rule above, from explicit inputs. Environment values that are empty or
// not absolute paths are ignored, as the XDG base directory rules say; with
// neither an XDG variable nor HOME the executable's folder is used anyway.
TUserFolders ResolveUserFolders(const std::string& exeFolder, bool exeFolderWritable,
                                const char* xdgConfigHome, const char* xdgDataHome, const char* home);

// The same from the process environment and the folder's access rights.
TUserFolders ResolveUserFolders(const std::string& exeFolder);

// Creates a folder and its parents when missing; false when that fails.
bool EnsureFolder(const std::string& folder);
