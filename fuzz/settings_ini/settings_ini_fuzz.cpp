// The settings file: any bytes as the file. Every key the program reads is read, then one
// value is written and read again. What is written reads back, every other key reads as
// before, nothing outside the written line changes, and a refused write leaves the file as
// it was.
//
// Input: byte 0 picks the key, byte 1 the value, byte 2 the length of a value taken from the
// input itself (printable bytes only), then that value, then the file.
#include "fuzzcheck.h"

#include "platform/decimal.h"
#include "settings/inifile.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

struct Entry {
    QString Section;
    QString Key;
};

// Every key the program reads, with its section.
std::vector<Entry> ProgramKeys() {
    using namespace settings;
    std::vector<Entry> keys = {
        {kAppSection.toString(), kAutoSaveKey.toString()},
        {kAppSection.toString(), kWindowTopKey.toString()},
        {kAppSection.toString(), kWindowLeftKey.toString()},
        {kAppSection.toString(), kCoefsSourceKey.toString()},
        {kDetectionSection.toString(), kCrateSerialKey.toString()},
        {kDetectionSection.toString(), kModuleSlotKey.toString()},
        {kModuleSection.toString(), kMaxAcquisitionTimeKey.toString()},
        {kModuleSection.toString(), kAllChannelsKey.toString()},
        {kModuleSection.toString(), kCommonRangeKey.toString()},
        {kModuleSection.toString(), kReferenceVoltageKey.toString()},
    };
    for (int i = 0; i < kChannelCount; ++i) {
        keys.push_back({kModuleSection.toString(), ChannelEnableKey(i)});
        keys.push_back({kModuleSection.toString(), ChannelRangeKey(i)});
    }
    for (int r = 0; r < kRangeCount; ++r)
        keys.push_back({kModuleSection.toString(), DisplayPrecisionKey(r)});
    return keys;
}

// What the write may aim at: the program's keys, the same names in other letter case and
// with blanks around them, foreign names, and names a write must refuse.
std::vector<Entry> WriteTargets(const std::vector<Entry> &program) {
    std::vector<Entry> targets = program;
    targets.push_back({program[0].Section.toUpper(), program[0].Key.toLower()});
    targets.push_back({QStringLiteral("  ") + program[6].Section + QStringLiteral(" "),
                       QStringLiteral(" ") + program[6].Key});
    targets.push_back({QStringLiteral("Foreign"), QStringLiteral("Key")});
    targets.push_back({QStringLiteral("a"), QStringLiteral("b")});
    targets.push_back({QStringLiteral("Раздел"), QStringLiteral("Ключ с пробелами")});
    targets.push_back({program[4].Section, QStringLiteral(";comment")});
    targets.push_back({program[4].Section, QStringLiteral("[x")});
    targets.push_back({program[4].Section, QStringLiteral("a=b")});
    targets.push_back({QStringLiteral("x]y"), QStringLiteral("k")});
    targets.push_back({QString(), QStringLiteral("k")});
    targets.push_back({QStringLiteral("s"), QString()});
    return targets;
}

const std::vector<QString> &Values() {
    static const std::vector<QString> values = {
        QStringLiteral("1"),        QStringLiteral("-1"),          QStringLiteral("0,05"),
        QStringLiteral("2T000002"), QStringLiteral("Крейт №5"),    QString(),
        QStringLiteral("a=b"),      QStringLiteral("[x]"),         QStringLiteral(";c"),
        QStringLiteral("x  y"),     QStringLiteral("line\nbreak"), QStringLiteral("cr\rx"),
    };
    return values;
}

// How a stored value reads back: without surrounding blanks and one pair of quotes.
QString AsRead(const QString &value) {
    QString v = value;
    while (!v.isEmpty() && (v.front() == u' ' || v.front() == u'\t'))
        v.remove(0, 1);
    while (!v.isEmpty() && (v.back() == u' ' || v.back() == u'\t'))
        v.chop(1);
    if (v.size() >= 2 && v.front() == v.back() && (v.front() == u'"' || v.front() == u'\''))
        v = v.mid(1, v.size() - 2);
    return v;
}

bool SameEntry(const Entry &a, const Entry &b) {
    return QString::compare(a.Section.trimmed(), b.Section.trimmed(), Qt::CaseInsensitive) == 0 &&
           QString::compare(a.Key.trimmed(), b.Key.trimmed(), Qt::CaseInsensitive) == 0;
}

QByteArray ReadFile(const QString &path) {
    QFile f(path);
    FUZZ_CHECK(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

const QString &FilePath() {
    static const QString path = [] {
        const QString folder = QDir(QStringLiteral("/dev/shm")).exists()
                                   ? QStringLiteral("/dev/shm")
                                   : QDir::tempPath();
        return QDir(folder).filePath(QStringLiteral("kova-fuzz-ini-%1.ini").arg(::getpid()));
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 3)
        return 0;
    static const std::vector<Entry> program = ProgramKeys();
    static const std::vector<Entry> targets = WriteTargets(program);
    const Entry &target = targets[data[0] % targets.size()];
    const std::size_t ownLength = data[2] % 16;
    if (size < 3 + ownLength)
        return 0;
    QString value;
    if (data[1] % 2 == 0) {
        value = Values()[(data[1] / 2) % Values().size()];
    } else {
        for (std::size_t i = 0; i < ownLength; ++i) {
            const char c = static_cast<char>(data[3 + i]);
            if (c >= 0x20 && c < 0x7F)
                value += QLatin1Char(c);
        }
    }
    const QByteArray before(reinterpret_cast<const char *>(data + 3 + ownLength),
                            static_cast<qsizetype>(size - 3 - ownLength));

    const QString &path = FilePath();
    {
        QFile f(path);
        FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(f.write(before) == before.size());
    }
    TIniFile ini(path);

    // Every key the program reads, through the readers' own number parsing (each lookup
    // reads the whole file, so the typed readers are not called once more on top).
    const QString absent = QStringLiteral("\x01absent");
    std::vector<QString> old;
    for (const Entry &e : program) {
        old.push_back(ini.ReadString(e.Section, e.Key, absent));
        std::int64_t integer = 0;
        if (platform::TryStrToInt(old.back(), integer))
            (void)settings::CapDisplayPrecision(static_cast<int>(integer));
        double number = 0.0;
        (void)platform::TryStrToFloat(old.back(), number);
    }

    const bool written = ini.WriteString(target.Section, target.Key, value);
    const QByteArray after = ReadFile(path);
    if (!written) {
        FUZZ_CHECK(after == before);
        return 0;
    }
    FUZZ_CHECK(ini.ReadString(target.Section, target.Key, absent) == AsRead(value));
    for (std::size_t i = 0; i < program.size(); ++i)
        if (!SameEntry(program[i], target))
            FUZZ_CHECK(ini.ReadString(program[i].Section, program[i].Key, absent) == old[i]);

    // The bytes that differ lie inside one line of the old file: a value replaced within
    // its line, or lines added between two old lines (or at the end).
    qsizetype prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    const QByteArray oldMiddle = before.mid(prefix, before.size() - prefix - suffix);
    FUZZ_CHECK(!oldMiddle.contains('\n'));
    return 0;
}
