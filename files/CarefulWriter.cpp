#include "files/CarefulWriter.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMostLinks = 40;

using Result = CarefulWriter::Result;

// The process's umask, read once without changing it (changing it, even for
// a moment, would hand another thread's new files the wrong permissions).
mode_t processUmask()
{
    static const mode_t mask = [] {
        if (std::FILE *status = std::fopen("/proc/self/status", "re")) {
            char line[256];
            unsigned value = 0;
            bool found = false;
            while (!found && std::fgets(line, sizeof line, status))
                found = std::sscanf(line, "Umask: %o", &value) == 1;
            std::fclose(status);
            if (found)
                return mode_t(value);
        }
        const mode_t current = ::umask(022); // no /proc: read it the old way, once
        ::umask(current);
        return current;
    }();
    return mask;
}

std::string folderOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether this user may follow the link at `path` (owned by `linkOwner`), by
// the rule of the kernel's protected_symlinks.
bool mayFollow(const std::string &path, uid_t linkOwner)
{
    struct stat folder = {};
    if (::stat(folderOf(path).c_str(), &folder) != 0)
        return false;
    const bool stickyShared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return !stickyShared || linkOwner == ::geteuid() || linkOwner == folder.st_uid;
}

// The file a path names once every symbolic link on the way is followed (a
// link's own name is replaced, never the link), or why it cannot be.
Result followLinks(std::string &path)
{
    for (int hops = 0; hops < kMostLinks; ++hops) {
        struct stat st = {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return Result::Written; // not a link, or nothing there yet
        if (!mayFollow(path, st.st_uid))
            return Result::NotAllowed;
        char target[4096];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        if (n < 0 || std::size_t(n) == sizeof target)
            return Result::WriteFailed;
        const std::string link(target, std::size_t(n));
        if (!link.empty() && link.front() == '/') {
            path = link;
        } else {
            const auto slash = path.rfind('/');
            path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + link;
        }
    }
    return Result::NotRegular;
}

// What a failed system call's error means to the caller.
Result failure(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return Result::NotAllowed;
    case ENOENT:
    case ENOTDIR:
        return Result::NoFolder;
    case ENOSPC:
    case EDQUOT:
        return Result::NoSpace;
    case EFBIG:
        return Result::TooBig;
    default:
        return Result::WriteFailed;
    }
}

// Whether this user may replace the file: by the system's own judgement, and
// for root (who may write anything), only a file with a write bit for someone.
bool mayWrite(const std::string &path, const struct stat &st)
{
    if (::geteuid() == 0)
        return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

bool writeAll(int fd, std::string_view bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += std::size_t(n);
        else if (!(n < 0 && errno == EINTR))
            return false;
    }
    return true;
}

// Rewrites the file itself, for a file with other names (hard links) or an
// owner this user cannot give a new file: the same inode keeps every name
// and its owner. The bytes are ready before the file is touched.
Result writeInPlace(const std::string &target, const struct stat &existing, std::string_view bytes)
{
    const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return failure(errno);
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_ino != existing.st_ino || st.st_dev != existing.st_dev) {
        ::close(fd);
        return Result::NotRegular; // swapped for something else meanwhile
    }
    bool ok = ::ftruncate(fd, 0) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int error = ok ? 0 : errno;
    ok = ::close(fd) == 0 && ok;
    return ok ? Result::Written : failure(error ? error : errno);
}

// Writes the file beside the target, with the target's owner, group and
// mode, and renames it over the target. The target is untouched unless it
// returns Written; `ownerKept` false when the owner could not be given.
Result replaceAtomically(const std::string &target, const struct stat *existing, std::string_view bytes,
                         bool &ownerKept)
{
    ownerKept = true;
    CarefulWriter::removeLeftovers(folderOf(target));
    std::string temporary = folderOf(target) + "/.tamvolo-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return failure(errno);
    bool ok = true;
    int error = 0;
    if (existing && ::fchown(fd, existing->st_uid, existing->st_gid) != 0) {
        ok = ownerKept = false;
        error = errno;
    }
    const mode_t mode = existing ? existing->st_mode & 07777 : 0666 & ~processUmask();
    if (ok && !(writeAll(fd, bytes) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0)) {
        ok = false;
        error = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok)
        ::unlink(temporary.c_str());
    return ok ? Result::Written : failure(error);
}

} // namespace

void CarefulWriter::ignoreFileSizeSignal()
{
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, nullptr);
}

CarefulWriter::Result CarefulWriter::write(const std::string &path, std::string_view bytes, Links links)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        return Result::NotAllowed;
    ignoreFileSizeSignal();
    std::string target = path;
    if (links == Links::Follow) {
        if (const Result followed = followLinks(target); followed != Result::Written)
            return followed;
    }
    struct stat existing = {};
    const bool exists = ::lstat(target.c_str(), &existing) == 0;
    // With Links::Replace a link is not the file: it is replaced by a new one.
    const bool isFile = exists && S_ISREG(existing.st_mode);
    if (exists && !isFile && !(links == Links::Replace && S_ISLNK(existing.st_mode)))
        return Result::NotRegular;
    if (isFile && !mayWrite(target, existing))
        return Result::NotAllowed;

    if (isFile && existing.st_nlink > 1)
        return writeInPlace(target, existing, bytes);
    bool ownerKept = true;
    const Result replaced = replaceAtomically(target, isFile ? &existing : nullptr, bytes, ownerKept);
    if (replaced == Result::Written || ownerKept)
        return replaced;
    return writeInPlace(target, existing, bytes);
}

// Removes what a write killed half way left in `folder`: this user's
// ".tamvolo-XXXXXX" files (never links) untouched for ten minutes, so that a
// write under way in another process is never one of them.
void CarefulWriter::removeLeftovers(const std::string &folder)
{
    DIR *dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const std::time_t old = std::time(nullptr) - 600;
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, ".tamvolo-", 9) != 0 || std::strlen(entry->d_name) != 15)
            continue;
        struct stat st = {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == ::geteuid() && st.st_mtime < old)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}
