#pragma once
// Where the rows go: standard output or a file opened for appending. Every
// row is handed to the system at once (no buffer of ours to lose), and a row
// the system takes only in part is cut off again, so the file only ever holds
// whole rows.

#include <string>
#include <string_view>

namespace recorder {

class TCsvOutput {
public:
    TCsvOutput() = default;
    ~TCsvOutput();
    TCsvOutput(const TCsvOutput &) = delete;
    TCsvOutput &operator=(const TCsvOutput &) = delete;

    enum class OpenResult { Ok, Failed, OtherColumns };
    // path empty: standard output. A file that already holds rows is appended to
    // only when its first line is this header; an empty or new file gets it.
    OpenResult Open(const std::string &path, const std::string &header, bool sync,
                    std::string &message);
    // The whole text or nothing; message says why not.
    bool Write(std::string_view text, std::string &message);
    void Close();

private:
    // Cuts off the part of a row that went out; false when it cannot.
    bool TakeBack(std::size_t written);

    int Fd = -1;
    bool OwnFd = false;
    bool Regular = false; // a regular file: a partial row can be cut off
    bool Sync = false;
    long long Size = 0; // of a regular file, after the last whole row
    std::string Path;
};

} // namespace recorder
