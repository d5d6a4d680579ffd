// Packs files into a skin archive (ZIP, Deflate) under their base names, in
// the order given, with a fixed date so the same sources give the same bytes.
//   quillet-skinpack OUT.skn FILE...
#include <zip.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUT.skn FILE...\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    const std::string partial = out + ".part";
    zipFile zip = zipOpen64(partial.c_str(), APPEND_STATUS_CREATE);
    if (!zip) {
        std::fprintf(stderr, "cannot create %s\n", partial.c_str());
        return 1;
    }
    bool ok = true;
    for (int i = 2; i < argc && ok; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const char* slash = std::strrchr(argv[i], '/');
        const char* name = slash ? slash + 1 : argv[i];
        zip_fileinfo info{};
        info.tmz_date.tm_year = 2024;
        info.tmz_date.tm_mday = 1;
        ok = in.good() || in.eof();
        ok = ok && zipOpenNewFileInZip64(zip, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 9,
                                         0) == ZIP_OK;
        ok = ok && zipWriteInFileInZip(zip, bytes.data(), unsigned(bytes.size())) == ZIP_OK;
        ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
        if (!ok) std::fprintf(stderr, "cannot pack %s\n", argv[i]);
    }
    ok = zipClose(zip, nullptr) == ZIP_OK && ok;
    if (!ok || std::rename(partial.c_str(), out.c_str()) != 0) {
        std::remove(partial.c_str());
        return 1;
    }
    return 0;
}
