#include "files/CarefulReader.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

CarefulReader::Result readUpTo(const std::string &path, std::string &bytes, std::size_t maxBytes,
                               CarefulReader::Links links, bool wholeOnly)
{
    using Result = CarefulReader::Result;
    bytes.clear();
    if (path.find('\0') != std::string::npos)
        return Result::Missing;
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == CarefulReader::Links::Refuse ? O_NOFOLLOW : 0);
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        switch (errno) {
        case ENOENT:
        case ENOTDIR:
            return Result::Missing;
        case EACCES:
        case EPERM:
            return Result::NotAllowed;
        case ELOOP:
        case ENXIO:
        case EISDIR:
            return Result::NotRegular;
        default:
            return Result::ReadFailed;
        }
    }
    struct stat st = {};
    Result result = Result::Read;
    if (::fstat(fd, &st) != 0) {
        result = Result::ReadFailed;
    } else if (!S_ISREG(st.st_mode)) {
        result = Result::NotRegular;
    } else if (wholeOnly && std::size_t(st.st_size) > maxBytes) {
        result = Result::TooBig;
    } else {
        // Read to the end, not to the size stat gave: the file may change.
        char buffer[16384];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                result = Result::ReadFailed;
                break;
            }
            if (got == 0)
                break;
            if (bytes.size() + std::size_t(got) > maxBytes) {
                if (wholeOnly)
                    result = Result::TooBig;
                else
                    bytes.append(buffer, maxBytes - bytes.size());
                break;
            }
            bytes.append(buffer, std::size_t(got));
        }
    }
    ::close(fd);
    if (result != Result::Read)
        bytes.clear();
    return result;
}

} // namespace

CarefulReader::Result CarefulReader::read(const std::string &path, std::string &bytes, std::size_t maxBytes,
                                          Links links)
{
    return readUpTo(path, bytes, maxBytes, links, true);
}

CarefulReader::Result CarefulReader::readStart(const std::string &path, std::string &bytes, std::size_t maxBytes,
                                               Links links)
{
    return readUpTo(path, bytes, maxBytes, links, false);
}
