#include "core/file_system.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace core {

std::string ErrorText(int error)
{
    char buffer[256];
    // The GNU form: the text may be a static one rather than the buffer.
    const char* text = ::strerror_r(error, buffer, sizeof buffer);
    if (text == nullptr || *text == '\0') {
        std::snprintf(buffer, sizeof buffer, "Unknown error %d", error);
        text = buffer;
    }
    return text;
}

int WriteAll(int fd, const char* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int SyncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int result = 0;
    while (::fsync(fd) != 0) {
        if (errno == EINTR) continue;
        result = errno;
        break;
    }
    ::close(fd);
    return result;
}

int NameOpenFile(int fd, const std::string& to)
{
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno != ENOENT) return errno;
    if (::linkat(fd, "", AT_FDCWD, to.c_str(), AT_EMPTY_PATH) == 0) return 0;
    return errno;
}

}  // namespace core
