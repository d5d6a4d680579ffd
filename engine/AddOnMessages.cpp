#include "engine/AddOnMessages.h"

std::vector<std::string> AddOnLoadMessages(bool wmaReady, bool cdReady, bool midiReady) {
    std::vector<std::string> messages;
    if (!wmaReady) messages.emplace_back("BASSWMA.DLL is not loaded.");
    if (!cdReady) messages.emplace_back("BASSCD.DLL is not loaded.");
    if (!midiReady) messages.emplace_back("BASSMIDI.DLL is not loaded.");
    return messages;
}
