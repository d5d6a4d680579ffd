#include "shell/CommandLine.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <cctype>

namespace {

constexpr const char* kProgram = "quilletplay";

bool hasScheme(const std::string& name) {
    // A scheme is letters, digits, '+', '-' or '.' before "://", starting
    // with a letter; anything else is a path.
    const std::size_t colon = name.find("://");
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(name[0])))
        return false;
    for (std::size_t i = 0; i < colon; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

std::string readableFile(const QString& path, std::string* why) {
    const QFileInfo info(path);
    if (!info.exists()) {
        *why = "no such file";
        return {};
    }
    if (info.isDir()) {
        *why = "is a folder";
        return {};
    }
    if (!info.isReadable()) {
        *why = "not readable";
        return {};
    }
    return QDir::cleanPath(info.absoluteFilePath()).toStdString();
}

}  // namespace

std::string ResolveName(const std::string& name, const std::string& workingFolder, std::string* why) {
    std::string ignored;
    if (why == nullptr) why = &ignored;
    if (name.empty()) {
        *why = "empty name";
        return {};
    }
    if (hasScheme(name)) {
        const QUrl url(QString::fromStdString(name));
        const QString scheme = url.scheme().toLower();
        if (scheme == "http" || scheme == "mms") {
            if (!url.isValid() || url.host().isEmpty()) {
                *why = "not a valid URL";
                return {};
            }
            return name;
        }
        if (scheme == "file") {
            if (!url.isValid() || (!url.host().isEmpty() && url.host() != "localhost")) {
                *why = "not a local file";
                return {};
            }
            return readableFile(url.path(QUrl::FullyDecoded), why);
        }
        *why = "the scheme " + scheme.toStdString() + " is not played";
        return {};
    }
    const QString path = QString::fromStdString(name);
    return readableFile(QDir(QString::fromStdString(workingFolder)).absoluteFilePath(path), why);
}

TCommandLine ParseCommandLine(const std::vector<std::string>& args, const std::string& workingFolder) {
    TCommandLine line;
    bool options = true;
    for (const std::string& arg : args) {
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--help" || arg == "-h")) {
            line.help = true;
        } else if (options && (arg == "--version" || arg == "-v")) {
            line.version = true;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            if (line.badOption.empty()) line.badOption = arg;
        } else {
            std::string why;
            const std::string resolved = ResolveName(arg, workingFolder, &why);
            if (resolved.empty()) {
                std::string text = kProgram;
                text += ": skipped ";
                text += arg;
                text += ": ";
                text += why;
                line.skipped.push_back(std::move(text));
            } else {
                line.names.push_back(resolved);
            }
        }
    }
    return line;
}

std::string UsageText() {
    return "Usage: quilletplay [OPTION]... [FILE|URL]...\n"
           "Plays music files and network streams in a small skinned window.\n"
           "\n"
           "The files and URLs given are added to the temporary playlist and the\n"
           "first of them plays. Names are local files (relative to the current\n"
           "folder), file:// URIs, or http:// and mms:// stream URLs. When the\n"
           "player is already running, they are handed to it; without names, its\n"
           "playlist window is shown.\n"
           "\n"
           "  -h, --help     print this help and exit\n"
           "  -v, --version  print the version and exit\n";
}

std::string VersionText() {
    return std::string("quilletplay ") + QUILLET_VERSION + "\n";
}
