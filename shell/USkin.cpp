#include "shell/USkin.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/zip/ZipReader.h"
#include "shell/UserPaths.h"

namespace {

std::string extractMember(qzip::ZipReader& zip, std::string_view member) {
    std::string bytes;
    if (!zip.extract(member, bytes)) throw TSkinError(std::string(member) + ": " + zip.error());
    return bytes;
}

// The anchors of an align text; top when it names neither top nor bottom.
unsigned anchorsWithTop(std::string_view text) {
    unsigned anchors = ParseAlign(text);
    if (!(anchors & (akTop | akBottom))) anchors |= akTop;
    return anchors;
}

bool readFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

void ReadSkinXml(qzip::ZipReader& zip, std::string_view member, TSkinText preparation, qxml::Document& doc) {
    const std::string bytes = extractMember(zip, member);
    bool ok = false;
    switch (preparation) {
        case TSkinText::Plain:
            ok = doc.loadText(bytes);
            break;
        case TSkinText::Mini:
            ok = doc.loadText(PrepareSkinXmlText(bytes, false));
            break;
        case TSkinText::Playlist:
            ok = doc.loadText(PrepareSkinXmlText(bytes));
            break;
    }
    if (!ok) throw TSkinError(std::string(member) + ": " + doc.error());
}

QImage ReadSkinBitmap(qzip::ZipReader& zip, std::string_view member) {
    const std::string bytes = extractMember(zip, member);
    QByteArray data = QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setDecideFormatFromContent(false);
    const std::string name(member);
    if (!reader.canRead()) throw TSkinError(name + ": not a BMP bitmap");
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) throw TSkinError(name + ": empty bitmap");
    if (size.width() > kMaxSkinBitmapSide || size.height() > kMaxSkinBitmapSide)
        throw TSkinError(name + ": bitmap larger than 4096 x 4096");
    QImage image;
    if (!reader.read(&image) || image.isNull())
        throw TSkinError(name + ": " + reader.errorString().toStdString());
    return image.convertToFormat(QImage::Format_RGB32);
}

pugi::xml_node RequiredChild(pugi::xml_node parent, const char* name) {
    const pugi::xml_node child = qxml::findChild(parent, name);
    if (!child) throw TSkinError(std::string("missing element ") + name);
    return child;
}

std::string RequiredAttribute(pugi::xml_node node, const char* name) {
    auto value = qxml::attribute(node, name);
    if (!value) throw TSkinError(std::string(node.name()) + ": missing attribute " + name);
    return std::move(*value);
}

QRgb RequiredColor(pugi::xml_node node, const char* name) {
    const auto color = ParseColor(RequiredAttribute(node, name));
    if (!color) throw TSkinError(std::string(node.name()) + ": malformed colour " + name);
    return ToQRgb(*color);
}

QRgb ClampedPixel(const QImage& image, int x, int y) {
    if (image.isNull()) return qRgb(0, 0, 0);
    return image.pixel(std::clamp(x, 0, image.width() - 1), std::clamp(y, 0, image.height() - 1));
}

bool ReadPlaylistSkin(qzip::ZipReader& zip, TPlaylistSkin& out, std::string* error) {
    out.stage = TPlaylistSkin::psNone;
    try {
        qxml::Document doc;
        ReadSkinXml(zip, "skin.xml", TSkinText::Playlist, doc);
        const pugi::xml_node window = RequiredChild(doc.documentElement(), "playlist_window");
        out.resizeRect = ParsePosition(RequiredAttribute(window, "resize_rect"));
        out.position = ParsePosition(RequiredAttribute(window, "position"));
        out.background = ReadSkinBitmap(zip, RequiredAttribute(window, "image"));
        out.stage = TPlaylistSkin::psWindow;

        const pugi::xml_node close = RequiredChild(window, "close");
        out.closePosition = ParsePosition(RequiredAttribute(close, "position"));
        out.closeImage = ReadSkinBitmap(zip, RequiredAttribute(close, "image"));
        out.closeAlign = anchorsWithTop(RequiredAttribute(close, "align"));
        out.stage = TPlaylistSkin::psClose;

        const pugi::xml_node toolbar = RequiredChild(window, "toolbar");
        out.toolbarPosition = ParsePosition(RequiredAttribute(toolbar, "position"));
        const auto align = qxml::attribute(toolbar, "align");
        out.toolbarAlign = align ? anchorsWithTop(*align) : (akLeft | akTop);
        out.toolbarImage = ReadSkinBitmap(zip, RequiredAttribute(toolbar, "image"));
        const auto hot = qxml::attribute(toolbar, "hot_image");
        out.toolbarHotImage = hot ? ReadSkinBitmap(zip, *hot) : QImage();
        out.stage = TPlaylistSkin::psToolbar;

        const pugi::xml_node scrollbar = RequiredChild(window, "scrollbar");
        out.scrollButtons = ReadSkinBitmap(zip, RequiredAttribute(scrollbar, "buttons_image"));
        out.scrollThumb = ReadSkinBitmap(zip, RequiredAttribute(scrollbar, "thumb_image"));
        out.scrollBar = ReadSkinBitmap(zip, RequiredAttribute(scrollbar, "bar_image"));
        out.stage = TPlaylistSkin::psScrollbar;

        const pugi::xml_node list = RequiredChild(window, "playlist");
        out.listPosition = ParsePosition(RequiredAttribute(list, "position"));
        out.listColor = ClampedPixel(out.background, out.listPosition.x1, out.listPosition.y1);
        out.stage = TPlaylistSkin::psList;
        return true;
    } catch (const TSkinError& e) {
        if (error) *error = e.what();
        return false;
    }
}

bool ReadPlaylistColors(qzip::ZipReader& zip, TPlaylistColors& out, std::string* error) {
    try {
        qxml::Document doc;
        ReadSkinXml(zip, "playlist.xml", TSkinText::Plain, doc);
        const pugi::xml_node list = RequiredChild(doc.documentElement(), "PlayList");
        TPlaylistColors c;
        c.text = RequiredColor(list, "Color_Text");
        c.hilight = RequiredColor(list, "Color_Hilight");
        c.bkgnd = RequiredColor(list, "Color_Bkgnd");
        c.bkgnd2 = RequiredColor(list, "Color_Bkgnd2");
        c.number = RequiredColor(list, "Color_Number");
        c.duration = RequiredColor(list, "Color_Duration");
        c.selected = qRgb((qRed(c.text) + qRed(c.bkgnd)) / 2, (qGreen(c.text) + qGreen(c.bkgnd)) / 2,
                          (qBlue(c.text) + qBlue(c.bkgnd)) / 2);
        out = c;
        return true;
    } catch (const TSkinError& e) {
        if (error) *error = e.what();
        return false;
    }
}

bool ExtractDefaultSkin(const std::string& skinsFolder, std::string* error) {
    const QByteArray& archive = BuiltinSkinArchive();
    if (archive.isEmpty()) {
        if (error) *error = "the built-in skin is missing from the program";
        return false;
    }
    if (!EnsureFolder(skinsFolder)) {
        if (error) *error = "cannot create " + skinsFolder;
        return false;
    }
    const std::string path = skinsFolder + "/" + kDefaultSkinName;
    const std::string_view bytes(archive.constData(), size_t(archive.size()));
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        std::string old;
        if (std::filesystem::file_size(path, ec) == bytes.size() && readFile(path, old) && old == bytes)
            return true;
        qxml::moveAside(path);
    }
    return qxml::writeFileAtomically(path, bytes, error);
}

std::string FindSkinFile(const std::vector<std::string>& skinsFolders, const std::string& name) {
    if (name.empty()) return {};
    for (const std::string& folder : skinsFolders) {
        const std::string exact = folder + "/" + name;
        std::error_code ec;
        if (std::filesystem::is_regular_file(exact, ec)) return exact;
        // ListFiles ignores letter case and sorts, so the choice is stable; a
        // name with wildcard characters is only ever taken exactly.
        std::vector<std::string> names;
        if (name.find_first_of("*?") == std::string::npos && ListFiles(exact, names) > 0)
            return folder + "/" + names.front();
    }
    return {};
}
