#include "resources/skin/BuiltinSkin.h"

#include <QFile>

const QByteArray& BuiltinSkinArchive() {
    static const QByteArray archive = [] {
        QFile file(QStringLiteral(":/skins/default.skn"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    return archive;
}

const QImage& BuiltinDigits() {
    static const QImage digits =
        QImage(QStringLiteral(":/skins/number32.bmp"), "bmp").convertToFormat(QImage::Format_RGB32);
    return digits;
}
