#include "os_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>
#include <climits>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
constexpr int BINARY = O_BINARY;
constexpr int NEW_FILE_MODE = _S_IREAD | _S_IWRITE;
using IoCount = unsigned int;
constexpr std::size_t MAX_IO = INT_MAX;
#else
constexpr int BINARY = 0;
constexpr int NEW_FILE_MODE = 0666;  // less the umask, as for any new file
using IoCount = std::size_t;
constexpr std::size_t MAX_IO = 1 << 30;
#endif

}  // namespace

File File::open_for_update(const char* path) {
    return File(::open(path, O_RDWR | BINARY));
}

File File::create_new(const char* path) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | BINARY, NEW_FILE_MODE);
    return File(fd, fd < 0 && errno == EEXIST);
}

File::~File() {
    if (fd_ >= 0) {
        (void)::close(fd_);
    }
}

std::ptrdiff_t File::read_some(char* buffer, std::size_t size) {
    const auto count = static_cast<IoCount>(size < MAX_IO ? size : MAX_IO);
    for (;;) {
        const auto got = ::read(fd_, buffer, count);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

bool File::write_all(const char* data, std::size_t size) {
    while (size > 0) {
        const auto count = static_cast<IoCount>(size < MAX_IO ? size : MAX_IO);
        const auto written = ::write(fd_, data, count);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool File::close() {
    const int fd = fd_;
    fd_ = -1;
    return fd >= 0 && ::close(fd) == 0;
}

bool replace_file(const char* from, const char* to) {
#ifdef _WIN32
    // A plain rename refuses to replace an existing file on Windows.
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(from, to) == 0;
#endif
}

void remove_file(const char* path) {
    (void)std::remove(path);
}

void forget_cached(const char* path) {
#ifdef POSIX_FADV_DONTNEED
    // Checked before opening: opening a device or a FIFO can have effects of its own.
    struct stat status {};
    if (::lstat(path, &status) != 0 || !S_ISREG(status.st_mode)) {
        return;
    }
    const int fd = ::open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    if (fd >= 0) {
        (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        (void)::close(fd);
    }
#else
    (void)path;
#endif
}

unsigned long process_id() {
#ifdef _WIN32
    return static_cast<unsigned long>(_getpid());
#else
    return static_cast<unsigned long>(getpid());
#endif
}
