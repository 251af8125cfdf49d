#include "retrieval/uid_cache.h"

#include "base/event_log.h"
#include "base/file_io.h"
#include "base/win_util.h"
#include "core/service_paths.h"

bool loadUidCache(const std::string& fileName, UidCache& cache) {
    cache.clear();
    ServicePath path(fileName.c_str());
    FileImage image;
    if (!path.fits || !readFileImage(path.text, FILE_SHARE_READ, image).ok()) {
        return false;
    }
    if (image.size > 0) {
        parseUidCache(image.text(), image.size, cache);
    }
    return true;
}

void saveUidCache(const std::string& fileName, const std::string& text) {
    ServicePath path(fileName.c_str());
    ReplacementFile out;
    DWORD error = out.create(path.text, FILE_SHARE_READ);
    if (error == 0) {
        out.write(text.data(), text.size());
        error = out.commit();
    }
    if (error != 0) {
        SystemError failure(error);
        writeLogf("Затрудняюсь создать файл %s. Ошибка %u: %s", path.text, failure.code, failure.text);
    }
}
