// The messages a start shows for the audio library's add-ons that did not
// load, in the order they are shown (caption "Quillet", OK button). The
// mixer add-on has none: nothing but its version is used.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> AddOnLoadMessages(bool wmaReady, bool cdReady, bool midiReady);
