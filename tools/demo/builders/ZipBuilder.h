#pragma once
// ZIP archives for tests, written with libzip. Header-only, so that only the test programs that
// build archives (and link libzip through the ZIP module) pull libzip in.

#include <zip.h>

#include <string>
#include <vector>

namespace ziptest {

struct Item {
    std::string name;
    std::string data;
    bool directory = false;  // a folder entry: name ends in "/", data unused
    bool stored = false;     // kept uncompressed instead of deflated
};

// Writes the items, in order, into a new archive at path; false when libzip fails.
inline bool writeZip(const std::string& path, const std::vector<Item>& items) {
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (archive == nullptr)
        return false;
    for (const Item& item : items) {
        zip_int64_t index = -1;
        if (item.directory) {
            index = zip_dir_add(archive, item.name.c_str(), ZIP_FL_ENC_RAW);
        } else {
            zip_source_t* source =
                zip_source_buffer(archive, item.data.data(), item.data.size(), 0);
            index = source ? zip_file_add(archive, item.name.c_str(), source, ZIP_FL_ENC_RAW) : -1;
            if (source != nullptr && index < 0)
                zip_source_free(source);
        }
        if (index < 0 ||
            zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                                     item.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0) != 0) {
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

}  // namespace ziptest
