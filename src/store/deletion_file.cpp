#include "store/deletion_file.h"

SRWLOCK& deletionFileLock() {
    static SRWLOCK lock = SRWLOCK_INIT;
    return lock;
}
