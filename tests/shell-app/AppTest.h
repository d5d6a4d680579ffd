// Options of a player run inside a test, whose settings and data live in a
// folder of the test's own.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <string>

#include "shell/UMainApp.h"
#include "tests/common/QtWait.h"

namespace quillet::test {

// A player run from the program folder `bin` (its resources beside it), its
// settings and data in `folder`, playing to `device`.
inline TMainApp::TOptions TestAppOptions(const std::string& bin, const QString& folder,
                                         int device = TVAVIVerovu::kNoSoundDevice) {
    TMainApp::TOptions o;
    o.exeFolder = bin + "/";
    o.folders.configWrite = o.folders.dataWrite = folder.toStdString();
    o.folders.configRead = {o.folders.configWrite};
    o.folders.dataRead = {o.folders.dataWrite, bin};
    o.device = device;
    return o;
}

// The same from the folder of the running test program.
inline TMainApp::TOptions TestAppOptions(const QString& folder, int device = TVAVIVerovu::kNoSoundDevice) {
    return TestAppOptions(QCoreApplication::applicationDirPath().toStdString(), folder, device);
}

}  // namespace quillet::test
