// Helpers shared by the skin tests.
#pragma once

#include <QImage>
#include <string>

#include "shell/UserPaths.h"
#include "tests/shell-core/TempDir.h"

inline std::string SkinFixture(const std::string& name) {
    return std::string(QUILLET_FIXTURES) + "/skins/" + name;
}

// Folders of a portable program in `dir`.
inline TUserFolders PortableFolders(const std::string& dir) {
    return ResolveUserFolders(dir, true, nullptr, nullptr, nullptr);
}

// An RGB32 image of one colour.
inline QImage Solid(int w, int h, QRgb c) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(c);
    return image;
}

inline QRgb Rgb(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}
