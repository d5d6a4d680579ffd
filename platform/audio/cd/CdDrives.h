// The CD drives the add-on letters from D, found without libcdio: the kernel's
// CD-ROM list (/proc/sys/dev/cdrom/info) in the order of the device numbers
// (sr0, sr1 ...), with vendor, model and revision from sysfs.
//
// QUILLET_CD_DRIVES, when set, replaces that list: device paths or disc
// images (.cue, .toc, .nrg) separated by ':'. The tests play a cue/bin image
// through it, and a user can play an image as if it were a disc.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qcd {

struct Drive {
    std::string device;  // "/dev/sr0", or the image's path
    std::string vendor, product, rev;
    uint32_t rwflags = 0;
    bool canOpen = false, canLock = false;
    uint32_t maxSpeedKBs = 0;
};

// Letters D to Z.
constexpr size_t kMaxDrives = 23;
constexpr int kFirstLetter = 'D' - 'A';

// The drives of this system (or of QUILLET_CD_DRIVES).
std::vector<Drive> listDrives();

// The pieces, for the tests: the kernel's list text, the sysfs root and the
// override value.
std::vector<Drive> drivesFromProcInfo(std::string_view procInfo, const std::string& sysBlock);
std::vector<Drive> drivesFromList(std::string_view list);

// "D:/Track05.cda" → drive 0, track 4 (also with '\\' and any letter case);
// false when the name is not a track file name of a lettered drive.
bool parseTrackFileName(std::string_view name, uint32_t& drive, uint32_t& track);

}  // namespace qcd
