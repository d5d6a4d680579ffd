#include "shell/UserPaths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace {

std::string stripSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool usable(const char* value) {
    return value && value[0] == '/';
}

// $VARIABLE/quillet, else $HOME/<fallback>/quillet, else empty.
std::string xdgFolder(const char* variable, const char* home, const char* fallback) {
    if (usable(variable)) return stripSlash(variable) + "/quillet";
    if (usable(home)) return stripSlash(home) + "/" + fallback + "/quillet";
    return {};
}

}  // namespace

TUserFolders ResolveUserFolders(const std::string& exeFolder, bool exeFolderWritable,
                                const char* xdgConfigHome, const char* xdgDataHome, const char* home) {
    TUserFolders folders;
    const std::string exe = stripSlash(exeFolder);
    const std::string config = xdgFolder(xdgConfigHome, home, ".config");
    const std::string data = xdgFolder(xdgDataHome, home, ".local/share");
    folders.portable = exeFolderWritable || config.empty() || data.empty();
    if (folders.portable) {
        folders.configWrite = folders.dataWrite = exe;
        folders.configRead = folders.dataRead = {exe};
    } else {
        folders.configWrite = config;
        folders.dataWrite = data;
        folders.configRead = {config, exe};
        folders.dataRead = {data, exe};
    }
    return folders;
}

TUserFolders ResolveUserFolders(const std::string& exeFolder) {
    const bool writable = ::access(exeFolder.c_str(), W_OK | X_OK) == 0;
    return ResolveUserFolders(exeFolder, writable, std::getenv("XDG_CONFIG_HOME"),
                              std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
}

bool EnsureFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return std::filesystem::is_directory(folder, ec);
}
