#include "common/FileUtil.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

namespace {

const char* const kNoSuchFile = "no such file";
const char* const kIsFolder = "is a folder";
const char* const kPermissionDenied = "permission denied";
const char* const kNotRegular = "is not a regular file";
const char* const kReadOnly = "the file is read-only";

void SetError(std::string* error, const std::string& what, const std::string& why) {
    if (error)
        *error = what + ": " + why;
}

void SetErrno(std::string* error, const std::string& what) {
    SetError(error, what, FileErrorText(errno));
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a save lands in: the end of a chain of symbolic links (a dangling link included,
// as a plain save creates its target), or the path itself.
bool FollowLinks(const std::string& path, std::string& target, std::string* error) {
    target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return true;
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(target.c_str(), buffer, sizeof buffer - 1);
        if (n < 0) {
            SetErrno(error, path);
            return false;
        }
        const std::string link(buffer, static_cast<size_t>(n));
        target = !link.empty() && link.front() == '/' ? link : FolderOf(target) + "/" + link;
    }
    SetError(error, path, std::strerror(ELOOP));
    return false;
}

// Why a path that stat() describes is no file to read or replace; nothing for a regular file.
const char* NotAFile(const struct stat& info) {
    if (S_ISDIR(info.st_mode))
        return kIsFolder;
    if (!S_ISREG(info.st_mode))
        return kNotRegular;
    return nullptr;
}

// A file with more than one name: a new file renamed over one name would part it from the
// others, so its contents are replaced where it is, as a plain save does. The space is
// reserved first, so that a full disk refuses the save before a byte of the old file changes.
bool WriteInPlace(const std::string& target, const std::string& path, std::string_view contents,
                  off_t oldSize, std::string* error) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        SetErrno(error, "cannot write " + path);
        return false;
    }
    const auto size = static_cast<off_t>(contents.size());
    if (size > oldSize) {
        const int reserved = ::posix_fallocate(fd, 0, size);
        if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL) {
            (void)::ftruncate(fd, oldSize); // whatever the attempt added goes again
            ::close(fd);
            SetError(error, "cannot write " + path, FileErrorText(reserved));
            return false;
        }
    }
    size_t done = 0;
    while (done < contents.size()) {
        ssize_t n =
            ::pwrite(fd, contents.data() + done, contents.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            SetErrno(error, "cannot write " + path);
            ::close(fd);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::ftruncate(fd, size) != 0 || ::fsync(fd) != 0) {
        SetErrno(error, "cannot write " + path);
        ::close(fd);
        return false;
    }
    if (::close(fd) != 0) {
        SetErrno(error, "cannot write " + path);
        return false;
    }
    return true;
}

} // namespace

std::string FileErrorText(int code) {
    switch (code) {
    case ENOENT:
        return kNoSuchFile;
    case EISDIR:
        return kIsFolder;
    case EACCES:
    case EPERM:
        return kPermissionDenied;
    default:
        return std::strerror(code);
    }
}

bool WriteFileAtomically(const std::string& path, std::string_view contents, std::string* error) {
    std::string target;
    if (!FollowLinks(path, target, error))
        return false;
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists) {
        if (const char* why = NotAFile(old)) {
            SetError(error, path, why);
            return false;
        }
        // Refused also for root, who could write it: the file was made read-only on purpose.
        if ((old.st_mode & 0222) == 0 ||
            ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
            SetError(error, path, kReadOnly);
            return false;
        }
        if (old.st_nlink > 1)
            return WriteInPlace(target, path, contents, old.st_size, error);
    }
    const std::string folder = FolderOf(target);
    std::string tmp = target + ".tmpXXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) {
        SetError(error, "cannot create a temporary file in the folder " + folder,
                 FileErrorText(errno));
        return false;
    }
    if (exists) {
        // Owner first: changing it may clear the set-ID bits the mode then puts back.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0)
            (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        ::fchmod(fd, old.st_mode & 07777);
    } else {
        ::fchmod(fd, 0644);
    }
    size_t done = 0;
    while (done < contents.size()) {
        ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            SetErrno(error, "cannot write " + path);
            ::close(fd);
            ::unlink(tmp.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        SetErrno(error, "cannot write " + path);
        ::unlink(tmp.c_str());
        return false;
    }
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        SetErrno(error, "cannot replace " + path);
        ::unlink(tmp.c_str());
        return false;
    }
    // The rename itself survives a power cut only once the folder is on disk.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool ReadFileText(const std::string& path, std::string& text, std::string* error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        SetErrno(error, path);
        return false;
    }
    if (const char* why = NotAFile(st)) {
        SetError(error, path, why);
        return false;
    }
    // Not blocking also when the path was swapped for a pipe since the check above.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        SetErrno(error, path);
        return false;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        SetError(error, path, kNotRegular);
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
            SetErrno(error, path);
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
