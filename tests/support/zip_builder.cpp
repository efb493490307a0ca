#include "support/zip_builder.h"

#include <zip.h>

#include <stdexcept>

void WriteZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) throw std::runtime_error("cannot create " + path);
    for (const ZipEntry& entry : entries) {
        zip_fileinfo info{};
        int method = entry.stored || entry.name.ends_with("/") ? 0 : Z_DEFLATED;
        info.external_fa = static_cast<uLong>(entry.unixMode) << 16;
        uLong madeBy = entry.unixMode != 0 ? (3u << 8) | 20u : 0;
        if (zipOpenNewFileInZip4_64(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method,
                                    Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                    nullptr, 0, madeBy, 0, 1) != ZIP_OK)
            throw std::runtime_error("cannot add " + entry.name);
        if (!entry.content.empty() &&
            zipWriteInFileInZip(zip, entry.content.data(), static_cast<unsigned>(entry.content.size())) !=
                ZIP_OK)
            throw std::runtime_error("cannot write " + entry.name);
        zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
}
