// The program's command line: `quilletplay [FILE|URL]...`, --help and
// --version. Names are resolved where the program was started (relative
// paths against its working folder), so they can be handed to a program
// already running elsewhere. Qt Core.
#pragma once

#include <string>
#include <vector>

struct TCommandLine {
    bool help = false;
    bool version = false;
    // An option the program does not know; the usage goes to stderr.
    std::string badOption;
    // The names to open, resolved: absolute local paths and "http://" or
    // "mms://" URLs, in the order given.
    std::vector<std::string> names;
    // One line each (without the newline) for the names that were skipped.
    std::vector<std::string> skipped;
};

// Reads the arguments after the program's name. `workingFolder` resolves
// relative paths. A local file that does not exist or cannot be read is
// skipped with a line in `skipped`; so is a URI of a scheme the player does
// not open. "--" ends the options.
TCommandLine ParseCommandLine(const std::vector<std::string>& args, const std::string& workingFolder);

// A name given on the command line or by a bus client as the player opens
// it: a "file://" URI becomes its local path (percent-decoded), a relative
// path is resolved against `workingFolder`, stream URLs stay as they are.
// Empty, with `why` set, when the name cannot be opened.
std::string ResolveName(const std::string& name, const std::string& workingFolder, std::string* why);

// The texts --help and --version print.
std::string UsageText();
std::string VersionText();
