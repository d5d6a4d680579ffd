#include "platform/audio/cd/CdDrives.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/audio/basscd.h"

namespace qcd {

namespace {

// The kernel's list is small; a longer text is not its.
constexpr size_t kMaxProcInfo = 64 * 1024;
// CD speed factor 1x in kB/s.
constexpr uint32_t kSpeed1xKBs = 176;
// No drive reads faster than this factor; a larger number is not a speed.
constexpr long kMaxSpeed = 1000;

std::string trim(std::string s) {
    const auto notSpace = [](unsigned char c) { return c > ' '; };
    s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
    s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
    return s;
}

std::string readSmallFile(const std::string& path, size_t limit) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "";
    std::string text(limit, '\0');
    in.read(text.data(), std::streamsize(limit));
    text.resize(size_t(in.gcount()));
    return text;
}

std::vector<std::string> fieldsOf(std::string_view procInfo, std::string_view label) {
    std::istringstream lines{std::string(procInfo)};
    std::string line;
    while (std::getline(lines, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos || trim(line.substr(0, colon)) != label) continue;
        std::istringstream words(line.substr(colon + 1));
        std::vector<std::string> out;
        for (std::string w; words >> w;) out.push_back(w);
        return out;
    }
    return {};
}

// "sr10" after "sr9": by prefix, then by number.
bool deviceLess(const std::string& a, const std::string& b) {
    const auto split = [](const std::string& s) {
        size_t i = s.size();
        while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9') --i;
        const std::string digits = s.substr(i, 9);
        return std::pair<std::string, long>(s.substr(0, i), digits.empty() ? -1 : std::atol(digits.c_str()));
    };
    return split(a) < split(b);
}

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

}  // namespace

std::vector<Drive> drivesFromProcInfo(std::string_view procInfo, const std::string& sysBlock) {
    std::vector<std::string> names = fieldsOf(procInfo, "drive name");
    // Capability columns follow the order of the names as the kernel lists them.
    const auto flag = [&](std::string_view label, size_t column) {
        const auto values = fieldsOf(procInfo, label);
        return column < values.size() && values[column] == "1";
    };
    const auto speeds = fieldsOf(procInfo, "drive speed");
    std::vector<std::pair<std::string, Drive>> found;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (name.empty() || name.find('/') != std::string::npos || name.find("..") != std::string::npos)
            continue;
        Drive d;
        d.device = "/dev/" + name;
        const std::string dev = sysBlock + "/" + name + "/device/";
        d.vendor = trim(readSmallFile(dev + "vendor", 256));
        d.product = trim(readSmallFile(dev + "model", 256));
        d.rev = trim(readSmallFile(dev + "rev", 256));
        if (flag("Can write CD-R", i)) d.rwflags |= BASS_CD_RWFLAG_READCDR | BASS_CD_RWFLAG_WRITECDR;
        if (flag("Can write CD-RW", i)) d.rwflags |= BASS_CD_RWFLAG_READCDRW | BASS_CD_RWFLAG_WRITECDRW;
        if (flag("Can read DVD", i)) d.rwflags |= BASS_CD_RWFLAG_READDVD;
        d.canOpen = flag("Can open tray", i);
        d.canLock = flag("Can lock tray", i);
        if (i < speeds.size())
            d.maxSpeedKBs = uint32_t(std::clamp(std::atol(speeds[i].c_str()), 0L, kMaxSpeed)) * kSpeed1xKBs;
        found.emplace_back(name, std::move(d));
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return deviceLess(a.first, b.first); });
    std::vector<Drive> drives;
    for (auto& [name, d] : found) {
        if (drives.size() == kMaxDrives) break;
        drives.push_back(std::move(d));
    }
    return drives;
}

std::vector<Drive> drivesFromList(std::string_view list) {
    std::vector<Drive> drives;
    size_t start = 0;
    while (start <= list.size() && drives.size() < kMaxDrives) {
        const size_t end = std::min(list.find(':', start), list.size());
        const std::string device(list.substr(start, end - start));
        if (!device.empty()) {
            Drive d;
            d.device = device;
            d.product = baseName(device);
            drives.push_back(std::move(d));
        }
        start = end + 1;
    }
    return drives;
}

std::vector<Drive> listDrives() {
    if (const char* list = std::getenv("QUILLET_CD_DRIVES")) return drivesFromList(list);
    return drivesFromProcInfo(readSmallFile("/proc/sys/dev/cdrom/info", kMaxProcInfo), "/sys/block");
}

bool parseTrackFileName(std::string_view name, uint32_t& drive, uint32_t& track) {
    // X:/TrackNN.cda
    if (name.size() < 3 || name[1] != ':' || (name[2] != '/' && name[2] != '\\')) return false;
    const char letter = char(name[0] & ~0x20);
    if (letter < 'A' + kFirstLetter || letter > 'Z') return false;
    std::string file(name.substr(3));
    for (char& c : file) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (file.size() != 11 || file.rfind("track", 0) != 0 || file.substr(7) != ".cda") return false;
    const char hi = file[5], lo = file[6];
    if (hi < '0' || hi > '9' || lo < '0' || lo > '9') return false;
    const int number = (hi - '0') * 10 + (lo - '0');
    if (number < 1) return false;
    drive = uint32_t(letter - 'A' - kFirstLetter);
    track = uint32_t(number - 1);
    return true;
}

}  // namespace qcd
