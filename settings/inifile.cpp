#include "settings/inifile.h"

#include "platform/codepage.h"
#include "platform/decimal.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <limits>
#include <optional>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

QString Decode(const char *first, qsizetype size) {
    return platform::FromCodePage(QByteArrayView(first, size));
}

// One line of the file: [begin, contentEnd) is its text without the line
// ending, [contentEnd, next) the ending itself ("\n", "\r\n" or nothing).
struct LineSpan {
    qsizetype begin = 0;
    qsizetype contentEnd = 0;
    qsizetype next = 0;
};

LineSpan NextLine(const QByteArray &data, qsizetype begin) {
    LineSpan line;
    line.begin = begin;
    const qsizetype newline = data.indexOf('\n', begin);
    if (newline < 0) {
        line.contentEnd = data.size();
        line.next = data.size();
    } else {
        line.contentEnd = newline;
        line.next = newline + 1;
    }
    if (line.contentEnd > line.begin && data[line.contentEnd - 1] == '\r') {
        --line.contentEnd;
    }
    return line;
}

// Byte range with the surrounding blanks removed.
void TrimRange(const QByteArray &data, qsizetype &first, qsizetype &last) {
    while (first < last && IsBlank(data[first])) {
        ++first;
    }
    while (last > first && IsBlank(data[last - 1])) {
        --last;
    }
}

bool SameName(const QByteArray &data, qsizetype first, qsizetype last, QStringView name) {
    const QStringView wanted = name.trimmed();
    // Every Windows-1251 byte is one UTF-16 unit, so a length that differs
    // cannot match; this keeps a huge foreign line from being decoded at all.
    if (last - first != wanted.size()) {
        return false;
    }
    return QString::compare(Decode(data.constData() + first, last - first), wanted,
                            Qt::CaseInsensitive) == 0;
}

// Where a key is, or where it would go.
struct Location {
    bool sectionFound = false;
    // After the last non-blank line of the section: where a new key goes.
    qsizetype appendAt = 0;
    bool keyFound = false;
    // The stored value's bytes, without surrounding blanks.
    qsizetype valueBegin = 0;
    qsizetype valueEnd = 0;
};

Location Locate(const QByteArray &data, QStringView section, QStringView key) {
    Location where;
    bool inSection = false;
    qsizetype pos = 0;
    while (pos < data.size()) {
        const LineSpan line = NextLine(data, pos);
        pos = line.next;
        qsizetype first = line.begin;
        qsizetype last = line.contentEnd;
        // An editor's UTF-8 byte order mark must not hide the first header.
        if (line.begin == 0 && data.startsWith("\xEF\xBB\xBF")) {
            first = 3;
        }
        TrimRange(data, first, last);
        if (first == last) {
            continue; // blank lines do not extend a section's end
        }
        if (data[first] == '[') {
            if (inSection) {
                break; // only the first section of that name counts
            }
            const qsizetype close = data.indexOf(']', first + 1);
            if (close >= 0 && close < last) {
                qsizetype nameFirst = first + 1;
                qsizetype nameLast = close;
                TrimRange(data, nameFirst, nameLast);
                if (SameName(data, nameFirst, nameLast, section)) {
                    inSection = true;
                    where.sectionFound = true;
                    where.appendAt = line.next;
                }
            }
            continue;
        }
        if (!inSection) {
            continue;
        }
        where.appendAt = line.next;
        if (data[first] == ';' || where.keyFound) {
            continue;
        }
        const qsizetype equals = data.indexOf('=', first);
        if (equals < 0 || equals >= last) {
            continue;
        }
        qsizetype keyFirst = first;
        qsizetype keyLast = equals;
        TrimRange(data, keyFirst, keyLast);
        if (SameName(data, keyFirst, keyLast, key)) {
            where.keyFound = true;
            where.valueBegin = equals + 1;
            where.valueEnd = last;
            TrimRange(data, where.valueBegin, where.valueEnd);
        }
    }
    return where;
}

QByteArray ReadAllOrEmpty(const QString &fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

std::optional<QString> Lookup(const QString &fileName, QStringView section, QStringView key) {
    // Without the code page no key could be matched: every read falls back.
    if (!platform::CodePageAvailable()) {
        return std::nullopt;
    }
    const QByteArray data = ReadAllOrEmpty(fileName);
    const Location where = Locate(data, section, key);
    if (!where.keyFound) {
        return std::nullopt;
    }
    QString value = Decode(data.constData() + where.valueBegin, where.valueEnd - where.valueBegin);
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\''))) {
        value = value.mid(1, value.size() - 2);
    }
    return value;
}

QByteArray LineEnding(const QByteArray &data) {
    const qsizetype newline = data.indexOf('\n');
    if (newline > 0 && data[newline - 1] == '\r') {
        return "\r\n";
    }
    return newline >= 0 ? QByteArray("\n") : QByteArray("\r\n");
}

bool HasLineBreak(QStringView text) {
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

bool HasWriteBit(const QFileInfo &info) {
    // The mode bits only: WriteUser says what the current user may do, and
    // root may do anything.
    constexpr auto kAnyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return (info.permissions() & kAnyWrite) != 0;
}

} // namespace

TIniFile::TIniFile(QString fileName) : fileName_(std::move(fileName)) {}

QString TIniFile::ReadString(QStringView section, QStringView key, const QString &fallback) const {
    return Lookup(fileName_, section, key).value_or(fallback);
}

int TIniFile::ReadInteger(QStringView section, QStringView key, int fallback) const {
    const std::optional<QString> text = Lookup(fileName_, section, key);
    std::int64_t value = 0;
    if (!text || !platform::TryStrToInt(*text, value) || value < std::numeric_limits<int>::min() ||
        value > std::numeric_limits<int>::max()) {
        return fallback;
    }
    return static_cast<int>(value);
}

bool TIniFile::ReadBool(QStringView section, QStringView key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

double TIniFile::ReadFloat(QStringView section, QStringView key, double fallback) const {
    const std::optional<QString> text = Lookup(fileName_, section, key);
    double value = 0.0;
    if (!text || !platform::TryStrToFloat(*text, value)) {
        return fallback;
    }
    return value;
}

bool TIniFile::WriteString(QStringView section, QStringView key, const QString &value) {
    lastError_.clear();
    const QStringView sectionName = section.trimmed();
    const QStringView keyName = key.trimmed();
    // A line break would add lines of its own to the profile; '=' and ']'
    // would make the entry read back under another name.
    if (sectionName.isEmpty() || HasLineBreak(sectionName) ||
        sectionName.contains(QLatin1Char(']')) || keyName.isEmpty() || HasLineBreak(keyName) ||
        keyName.contains(QLatin1Char('=')) || keyName.startsWith(QLatin1Char(';')) ||
        keyName.startsWith(QLatin1Char('[')) || HasLineBreak(value)) {
        lastError_ = QStringLiteral("Недопустимый раздел, ключ или значение");
        return false;
    }
    // Without the code page every Cyrillic key and section would be written
    // as nothing: the file is not touched at all.
    if (!platform::CodePageAvailable()) {
        lastError_ = platform::MissingCodePageText();
        return false;
    }
    QByteArray data;
    if (!LoadForUpdate(data)) {
        return false;
    }
    const QByteArray valueBytes = platform::ToCodePage(value);
    const QByteArray eol = LineEnding(data);
    const Location where = Locate(data, sectionName, keyName);
    if (where.keyFound) {
        data.replace(where.valueBegin, where.valueEnd - where.valueBegin, valueBytes);
        return Store(data);
    }
    const QByteArray entry = platform::ToCodePage(keyName) + '=' + valueBytes + eol;
    const qsizetype at = where.sectionFound ? where.appendAt : data.size();
    QByteArray insert;
    // A last line without its ending gets one before anything follows it; one cut
    // between CR and LF only lacks the LF.
    if (at == data.size() && !data.isEmpty() && !data.endsWith('\n')) {
        insert += data.endsWith('\r') ? QByteArray("\n") : eol;
    }
    if (!where.sectionFound) {
        // A blank line between sections keeps the file readable.
        const QByteArray sofar = data + insert;
        if (!sofar.isEmpty() && !sofar.endsWith(eol + eol) && sofar != eol) {
            insert += eol;
        }
        insert += '[' + platform::ToCodePage(sectionName) + ']' + eol;
    }
    data.insert(at, insert + entry);
    return Store(data);
}

bool TIniFile::WriteInteger(QStringView section, QStringView key, int value) {
    return WriteString(section, key, QString::number(value));
}

bool TIniFile::WriteBool(QStringView section, QStringView key, bool value) {
    return WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TIniFile::WriteFloat(QStringView section, QStringView key, double value) {
    return WriteString(section, key, platform::FloatToStr(value));
}

bool TIniFile::LoadForUpdate(QByteArray &data) {
    const QFileInfo info(fileName_);
    if (!info.exists()) {
        data.clear();
        return true; // the first write creates the file
    }
    if (!info.isFile()) {
        lastError_ = QStringLiteral("Путь '%1' не является файлом").arg(fileName_);
        return false;
    }
    // Rewriting a file we could not read would lose what it holds.
    QFile file(fileName_);
    if (!file.open(QIODevice::ReadOnly)) {
        lastError_ =
            QStringLiteral("Не могу прочитать файл '%1': %2").arg(fileName_, file.errorString());
        return false;
    }
    data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        lastError_ =
            QStringLiteral("Не могу прочитать файл '%1': %2").arg(fileName_, file.errorString());
        return false;
    }
    return true;
}

bool TIniFile::Store(const QByteArray &data) {
    const QFileInfo info(fileName_);
    // A file without write permission is read-only even for a user who could
    // replace it, as a Windows read-only file is.
    if (info.exists() && (!info.isWritable() || !HasWriteBit(info))) {
        lastError_ = QStringLiteral("Файл '%1' доступен только для чтения").arg(fileName_);
        return false;
    }
    QSaveFile file(fileName_);
    // Unbuffered, so that a short write (a full disk) shows here and not in a
    // flush at commit, which would rename a cut-off file over the old one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        // A folder that refuses the temporary file may still hold a file the
        // user may write: that file is then rewritten where it is, as the
        // platform's profile writer does.
        if (info.exists() && !QFileInfo(info.absolutePath()).isWritable()) {
            return StoreInPlace(data);
        }
        lastError_ =
            QStringLiteral("Не могу записать файл '%1': %2").arg(fileName_, file.errorString());
        return false;
    }
    if (file.write(data) != data.size() || file.size() != data.size()) {
        lastError_ =
            QStringLiteral("Не могу записать файл '%1': %2").arg(fileName_, file.errorString());
        file.cancelWriting();
        return false;
    }
    // The new content reaches the disk before the rename makes it the file,
    // so a power cut leaves the old file or the new one, not an empty one.
    if (::fsync(file.handle()) != 0) {
        lastError_ = QStringLiteral("Не могу записать файл '%1' на диск").arg(fileName_);
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        lastError_ =
            QStringLiteral("Не могу записать файл '%1': %2").arg(fileName_, file.errorString());
        return false;
    }
    return true;
}

bool TIniFile::StoreInPlace(const QByteArray &data) {
    QFile file(fileName_);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        lastError_ =
            QStringLiteral("Не могу записать файл '%1': %2").arg(fileName_, file.errorString());
        return false;
    }
    const qint64 oldSize = file.size();
    // The room is taken before the first byte changes, so a full disk (or a
    // size limit) refuses the write while the old content is still whole.
    if (data.size() > oldSize) {
        const int reserved = ::posix_fallocate(file.handle(), 0, data.size());
        if (reserved != 0) {
            file.resize(oldSize); // an emulated reservation may have grown it
            lastError_ =
                QStringLiteral("Не могу записать файл '%1': нет места на диске").arg(fileName_);
            return false;
        }
    }
    // From here on the old content is being overwritten: a failure now leaves
    // a file that is neither the old one nor the new one, and says so.
    const auto cutOff = [this](const QString &reason) {
        return QStringLiteral("Файл '%1' записан не полностью и испорчен: %2")
            .arg(fileName_, reason);
    };
    if (file.write(data) != data.size() || !file.resize(data.size())) {
        lastError_ = cutOff(file.errorString());
        return false;
    }
    if (::fsync(file.handle()) != 0) {
        lastError_ = cutOff(QStringLiteral("сбой записи на диск"));
        return false;
    }
    return true;
}
