// Reading skin archives: bitmaps and XML members of the open archive, the
// playlist window's section of "skin.xml" and the archive's "playlist.xml",
// the built-in skin and where skin files live. Qt (images); user-interface
// thread only. The mini window's own section is applied by TFMain::LoadSkin.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRgb>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xml/Xml.h"
#include "resources/skin/BuiltinSkin.h"
#include "shell/Ufuncs.h"

namespace qzip {
class ZipReader;
}

// The largest bitmap side a skin may have: skins hold strips and backgrounds
// of a few hundred pixels; 4096 x 4096 (64 MiB as 32-bit pixels) is far
// beyond any real one and still safe to decode.
inline constexpr int kMaxSkinBitmapSide = 4096;

// The name of the built-in skin's archive.
inline constexpr const char* kDefaultSkinName = "default.skn";
// The folder of skin archives, inside a data folder.
inline constexpr const char* kSkinsFolderName = "QuilletSkins";

// A failed step of reading a skin; the text says what failed.
class TSkinError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// How an XML member's text is prepared before parsing.
enum class TSkinText {
    Plain,     // parsed as stored ("playlist.xml")
    Mini,      // unquoted values quoted, GB2312 unless declared (the mini window's reader)
    Playlist,  // also spaces before quotes removed (the playlist window's reader)
};

// Reads a member of the open archive and parses it. Throws TSkinError.
void ReadSkinXml(qzip::ZipReader& zip, std::string_view member, TSkinText preparation, qxml::Document& doc);

// Reads a member of the open archive as a Windows BMP (Qt's BMP reader: 1, 4,
// 8, 16, 24 and 32 bits, RLE, bit fields, OS/2 headers), as RGB32 pixels.
// Throws TSkinError when the member is missing, is not a BMP, cannot be
// decoded, or is wider or higher than kMaxSkinBitmapSide (checked before
// decoding). A zero-sized bitmap does not decode and fails too.
QImage ReadSkinBitmap(qzip::ZipReader& zip, std::string_view member);

// The child element of that name, or TSkinError.
pugi::xml_node RequiredChild(pugi::xml_node parent, const char* name);
// The attribute's value (empty allowed), or TSkinError when absent.
std::string RequiredAttribute(pugi::xml_node node, const char* name);
// The colour of an attribute, or TSkinError when absent or malformed.
QRgb RequiredColor(pugi::xml_node node, const char* name);
inline QRgb ToQRgb(const TSkinColor& c) {
    return qRgb(c.r, c.g, c.b);
}

// The pixel at (x, y) with both clamped into the image; black for an empty
// image. Skin-given coordinates are read through it.
QRgb ClampedPixel(const QImage& image, int x, int y);

// The playlist window's section of "skin.xml", read in the order the window
// applies it. Reading stops at the first failure; `stage` tells how far it
// got, so the window applies the parts read before the failure.
struct TPlaylistSkin {
    enum TStage { psNone, psWindow, psClose, psToolbar, psScrollbar, psList };
    TStage stage = psNone;  // the last part read completely

    // psWindow: playlist_window
    TRect position;    // only its size counts
    TRect resizeRect;  // the stretch rectangle in the background
    QImage background;
    // psClose: close
    TRect closePosition;
    QImage closeImage;        // 4 frames
    unsigned closeAlign = 0;  // anchors; top added when neither top nor bottom
    // psToolbar: toolbar
    TRect toolbarPosition;
    unsigned toolbarAlign = akLeft | akTop;
    QImage toolbarImage;     // 7 cells
    QImage toolbarHotImage;  // null without hot_image
    // psScrollbar: scrollbar
    QImage scrollButtons;  // upper half up, lower half down, 3 frames each
    QImage scrollThumb;    // 3 frames
    QImage scrollBar;
    // psList: playlist
    TRect listPosition;
    QRgb listColor = 0;  // background pixel at the list area's corner
};

// Reads the section from the open archive. False with `error` set when a
// step failed (out holds what was read before it).
bool ReadPlaylistSkin(qzip::ZipReader& zip, TPlaylistSkin& out, std::string* error = nullptr);

// The colours of the archive's "playlist.xml" (element PlayList).
struct TPlaylistColors {
    QRgb text = 0;      // Color_Text
    QRgb hilight = 0;   // Color_Hilight
    QRgb bkgnd = 0;     // Color_Bkgnd
    QRgb bkgnd2 = 0;    // Color_Bkgnd2
    QRgb number = 0;    // Color_Number (not drawn)
    QRgb duration = 0;  // Color_Duration (not drawn)
    QRgb selected = 0;  // per channel (text + bkgnd) / 2, rounded down
};

// All or nothing: false with `error` set leaves `out` unchanged.
bool ReadPlaylistColors(qzip::ZipReader& zip, TPlaylistColors& out, std::string* error = nullptr);

// Writes the built-in archive to folder/default.skn, creating the folder.
// Written safely (temporary file, then rename). An existing file with other
// bytes is moved aside to default.skn.bad first, so a damaged or changed
// file is never lost. False with `error` set when it cannot be written.
bool ExtractDefaultSkin(const std::string& skinsFolder, std::string* error = nullptr);

// The skin file `name` in the first of the folders that holds it: the exact
// name first, else a file whose name differs only in letter case. Empty when
// no folder has one.
std::string FindSkinFile(const std::vector<std::string>& skinsFolders, const std::string& name);
