#include "common/FileUtil.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

namespace {
void SetError(std::string* error, const std::string& what) {
    if (error)
        *error = what + ": " + std::strerror(errno);
}
} // namespace

bool WriteFileAtomically(const std::string& path, std::string_view contents, std::string* error) {
    std::string tmp = path + ".tmpXXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) {
        SetError(error, "cannot create a file beside " + path);
        return false;
    }
    // Keep the permissions of the file being replaced; a new file gets the usual 0644.
    struct stat old {};
    fchmod(fd, ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    size_t done = 0;
    while (done < contents.size()) {
        ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            SetError(error, "cannot write " + path);
            ::close(fd);
            ::unlink(tmp.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        SetError(error, "cannot write " + path);
        ::unlink(tmp.c_str());
        return false;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        SetError(error, "cannot replace " + path);
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool ReadFileText(const std::string& path, std::string& text, std::string* error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetError(error, "cannot open " + path);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (error)
            *error = path + " is not a regular file";
        ::close(fd);
        return false;
    }
    text.clear();
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            SetError(error, "cannot read " + path);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        text.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

} // namespace vantrel
