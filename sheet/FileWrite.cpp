#include "sheet/FileWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "sheet/Zip.h"

namespace sheet {

namespace {

bool Fail(int* systemError, int e) {
    if (systemError) *systemError = e;
    return false;
}

// Writes all of `data`; *done tells how much reached the file when it fails.
bool WriteAll(int fd, std::string_view data, size_t* done) {
    *done = 0;
    while (*done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + *done, data.size() - *done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        *done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool WriteFileSafely(const std::string& path, std::string_view data, int* systemError) {
    int e = 0;
    if (detail::WriteFileAtomically(path, data, false, &e)) return true;
    return Fail(systemError, e);
}

bool AppendToFile(const std::string& path, std::string_view data, std::string_view heading,
                  std::string_view cutLineEnd, int* systemError, size_t* written) {
    if (written) *written = 0;
    // O_NONBLOCK keeps a FIFO or a device from holding the program at open(); it is refused
    // below before anything is written.
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == EISDIR) return Fail(systemError, EISDIR);
        // A FIFO nobody reads refuses a non-blocking writer with ENXIO: it is no file either.
        if (errno == ENXIO) return Fail(systemError, ENODEV);
        if (errno != ENOENT) return Fail(systemError, errno);
        // A new file is written whole, heading included, and may not replace a file that
        // another writer created meanwhile; then it is appended to like any other.
        std::string whole;
        whole.reserve(heading.size() + data.size());
        whole.append(heading).append(data);
        int e = 0;
        if (detail::WriteFileAtomically(path, whole, true, &e)) {
            if (written) *written = data.size();
            return true;
        }
        if (e != EEXIST) return Fail(systemError, e);
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return Fail(systemError, errno);
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int e = errno;
        ::close(fd);
        return Fail(systemError, e);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return Fail(systemError, S_ISDIR(st.st_mode) ? EISDIR : ENODEV);
    }
    // Back to blocking writes for a regular file.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    std::string bytes;
    if (st.st_size == 0) bytes.append(heading);
    if (!cutLineEnd.empty() && st.st_size > 0) {
        char last = '\n';
        const int rfd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (rfd >= 0) {
            if (::pread(rfd, &last, 1, st.st_size - 1) == 1 && last != '\n')
                bytes.append(cutLineEnd);
            ::close(rfd);
        }
    }
    const size_t before = bytes.size();
    bytes.append(data);
    size_t done = 0;
    const bool all = WriteAll(fd, bytes, &done);
    if (written) *written = done > before ? done - before : 0;
    if (!all || ::fsync(fd) != 0) {
        const int e = errno;
        ::close(fd);
        return Fail(systemError, e);
    }
    if (::close(fd) != 0) return Fail(systemError, errno);
    return true;
}

}  // namespace sheet
