// The atomic replace natively: write, fsync, rename.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_replace.h"

namespace {

bool WriteAll(int descriptor, const std::string& bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        ssize_t count = write(descriptor, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        written += static_cast<size_t>(count);
    }
    return true;
}

}  // namespace

bool ReplaceFileContents(const std::string& path, const std::string& bytes, std::string* error) {
    struct stat existing;
    if (stat(path.c_str(), &existing) == 0 && (existing.st_mode & S_IWUSR) == 0) {
        *error = "the file is read-only";
        return false;
    }
    std::string temp = path + kReplaceTempSuffix;
    int descriptor = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        *error = std::strerror(errno);
        return false;
    }
    bool written = WriteAll(descriptor, bytes) && fsync(descriptor) == 0;
    int writeErrno = errno;
    if (close(descriptor) != 0 && written) {
        written = false;
        writeErrno = errno;
    }
    if (!written || rename(temp.c_str(), path.c_str()) != 0) {
        *error = std::strerror(written ? errno : writeErrno);
        unlink(temp.c_str());
        return false;
    }
    return true;
}
