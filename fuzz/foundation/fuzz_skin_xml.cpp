// Skin XML text: the playlist window's preparation steps, then the DOM
// helper, then the value parsers on what was read; also the plain load of
// the raw bytes (the mini window's and playlist.xml's path) and a save.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/xml/Xml.h"
#include "shell/Ufuncs.h"

namespace {

void readValues(pugi::xml_node node) {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        for (const char* name : {"position", "resize_rect", "align", "Color_Text", "SpectrumTopColor"}) {
            if (const auto value = qxml::attribute(child, name)) {
                (void)ParsePosition(*value);
                (void)ParseColor(*value);
                (void)ParseAlign(*value);
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    qxml::Document doc;
    if (doc.loadText(PrepareSkinXmlText(bytes))) {
        const pugi::xml_node root = doc.documentElement();
        readValues(qxml::findChild(root, "playlist_window"));
        readValues(qxml::findChild(root, "mini_window"));
        const qxml::ChildIndex index(root);
        (void)index.find("playlist_window");
        (void)doc.toText();
    }
    qxml::Document raw;
    if (raw.loadText(bytes)) {
        qxml::Document again;
        // What we write must read back.
        if (!again.loadText(raw.toText())) __builtin_trap();
    }
    return 0;
}
