// The runtime functions on Windows: the runtime's own.
#ifdef _WIN32
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/timeb.h>

namespace {

// The runtime names its time record and _ftime through macros; reach them
// here, before our own declarations of the same names come in.
void systemTime(time_t &seconds, unsigned short &milliseconds, short &zone, short &dst) {
    struct _timeb now;
    _ftime(&now);
    seconds = now.time;
    milliseconds = now.millitm;
    zone = now.timezone;
    dst = now.dstflag;
}

int systemOpen(const char *path, int flags, int mode) {
    // Binary: records are written byte for byte, line feeds untranslated.
    return _open(path, flags | _O_BINARY, mode);
}

} // namespace

#undef _ftime
#undef _timeb
#include "platform/crt.h"

static_assert(crt::OpenWriteOnly == _O_WRONLY && crt::OpenAppend == _O_APPEND &&
                  crt::OpenCreate == _O_CREAT && crt::PermissionRead == _S_IREAD &&
                  crt::PermissionWrite == _S_IWRITE,
              "our flag values are the runtime's");

namespace crt {

char *_strdup(const char *s) {
    if (s == nullptr) return nullptr;
    const size_t n = std::strlen(s) + 1;
    auto *copy = static_cast<char *>(std::malloc(n));
    if (copy != nullptr) std::memcpy(copy, s, n);
    return copy;
}

int _open(const char *path, int flags, int mode) {
    return path != nullptr ? systemOpen(path, flags, mode) : -1;
}

int _write(int fd, const void *data, unsigned int size) { return ::_write(fd, data, size); }

int _close(int fd) { return ::_close(fd); }

void currentTime(TimeB *now) { systemTime(now->time, now->millitm, now->timezone, now->dstflag); }

} // namespace crt
#endif
