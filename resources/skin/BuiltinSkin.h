// The built-in skin embedded in the program.
#pragma once

#include <QByteArray>
#include <QImage>

// The built-in skin archive, "default.skn"; empty only when the program was
// built without it.
const QByteArray& BuiltinSkinArchive();
// The built-in digit bitmap of the time display (108 x 11, twelve cells).
const QImage& BuiltinDigits();
