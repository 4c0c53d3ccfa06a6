#include "platform/crt.h"

#ifndef _WIN32
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace crt {

char *_strdup(const char *s) {
    if (s == nullptr) return nullptr;
    const size_t n = std::strlen(s) + 1;
    auto *copy = static_cast<char *>(std::malloc(n));
    if (copy != nullptr) std::memcpy(copy, s, n);
    return copy;
}

int _open(const char *path, int flags, int mode) {
    if (path == nullptr) return -1;
    char posixPath[4096];
    const size_t n = std::strlen(path);
    if (n >= sizeof posixPath) return -1;
    for (size_t i = 0; i <= n; ++i)
        posixPath[i] = path[i] == '\\' ? '/' : path[i];

    int posixFlags = (flags & OpenWriteOnly) != 0 ? O_WRONLY : O_RDONLY;
    if ((flags & OpenAppend) != 0) posixFlags |= O_APPEND;
    if ((flags & OpenCreate) != 0) posixFlags |= O_CREAT;
    mode_t posixMode = 0;
    if ((mode & PermissionRead) != 0) posixMode |= S_IRUSR | S_IRGRP | S_IROTH;
    if ((mode & PermissionWrite) != 0) posixMode |= S_IWUSR;
    return ::open(posixPath, posixFlags | O_CLOEXEC,
                  posixMode); // NOLINT(cppcoreguidelines-pro-type-vararg)
}

int _write(int fd, const void *data, unsigned int size) {
    return static_cast<int>(::write(fd, data, size));
}

int _close(int fd) { return ::close(fd); }

void currentTime(TimeB *now) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    now->time = ts.tv_sec;
    now->millitm = static_cast<unsigned short>(ts.tv_nsec / 1000000L);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    now->timezone = static_cast<short>(-local.tm_gmtoff / 60);
    now->dstflag = static_cast<short>(local.tm_isdst > 0 ? 1 : 0);
}

} // namespace crt
#endif
