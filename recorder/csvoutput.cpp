#include "recorder/csvoutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace recorder {

namespace {

std::string SystemError(int error) {
    return std::strerror(error);
}

} // namespace

TCsvOutput::~TCsvOutput() {
    Close();
}

TCsvOutput::OpenResult TCsvOutput::Open(const std::string &path, const std::string &header,
                                        bool sync, std::string &message) {
    Close();
    Sync = sync;
    Path = path.empty() ? std::string("стандартный вывод") : path;
    if (path.empty()) {
        Fd = STDOUT_FILENO;
        OwnFd = false;
    } else {
        Fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (Fd < 0) {
            message = "не могу открыть файл «" + path + "»: " + SystemError(errno);
            return OpenResult::Failed;
        }
        OwnFd = true;
    }
    struct stat info {};
    Regular = ::fstat(Fd, &info) == 0 && S_ISREG(info.st_mode);
    // Standard output may be a file too; rows then go where its offset is.
    const off_t position = Regular ? ::lseek(Fd, 0, SEEK_CUR) : -1;
    Regular = Regular && position >= 0;
    Size = Regular ? static_cast<long long>(OwnFd ? info.st_size : position) : 0;
    if (OwnFd && Regular && Size > 0) {
        std::string first(header.size(), '\0');
        const ssize_t n = ::pread(Fd, first.data(), first.size(), 0);
        if (n != static_cast<ssize_t>(header.size()) || first != header) {
            message = "файл «" + path +
                      "» уже содержит другие столбцы; укажите другой файл или те же каналы и "
                      "--stats, что и в нём";
            Close();
            return OpenResult::OtherColumns;
        }
        return OpenResult::Ok;
    }
    if (!Write(header, message)) {
        Close();
        return OpenResult::Failed;
    }
    return OpenResult::Ok;
}

bool TCsvOutput::Write(std::string_view text, std::string &message) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(Fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            message = "не могу записать в " + Path + ": " + SystemError(error);
            // What went out of this row is taken back, so the file ends in a whole row.
            if (Regular && done > 0 && !TakeBack(done))
                message += "; последняя строка файла может быть неполной";
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (Sync && ::fdatasync(Fd) != 0 && errno != EINVAL && errno != EROFS) {
        message = "не могу сбросить на диск " + Path + ": " + SystemError(errno);
        return false;
    }
    Size += static_cast<long long>(text.size());
    return true;
}

bool TCsvOutput::TakeBack(std::size_t written) {
    // Only a row that ends the file is cut off; the offset goes back with it.
    const off_t end = ::lseek(Fd, 0, SEEK_CUR);
    if (end != static_cast<off_t>(Size + static_cast<long long>(written)))
        return false;
    return ::ftruncate(Fd, static_cast<off_t>(Size)) == 0 &&
           ::lseek(Fd, static_cast<off_t>(Size), SEEK_SET) >= 0;
}

void TCsvOutput::Close() {
    if (OwnFd && Fd >= 0)
        ::close(Fd);
    Fd = -1;
    OwnFd = false;
}

} // namespace recorder
