#include "settings/inifile.h"

#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace {

ino_t Inode(const QString &path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

QByteArray Cp1251(const QString &text) {
    QStringEncoder encoder("windows-1251");
    return encoder.encode(text);
}

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath(QStringLiteral("Kova8_Duvu.ini"));
    }

    void WriteRaw(const QByteArray &bytes) {
        QFile file(path_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray ReadRaw() const {
        QFile file(path_);
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        return file.readAll();
    }

    QTemporaryDir dir_;
    QString path_;
};

TEST_F(IniFileTest, MissingFileGivesFallbacksAndCreatingTheObjectTouchesNothing) {
    const TIniFile ini(path_);
    EXPECT_EQ(ini.ReadString(u"A", u"k", QStringLiteral("fb")), QStringLiteral("fb"));
    EXPECT_EQ(ini.ReadInteger(u"A", u"k", -7), -7);
    EXPECT_FALSE(QFileInfo::exists(path_));
}

// How a stored text reads through each typed reader.
struct ReadCase {
    const char *name;
    QString stored; // the line after "[S]"
    int intFallback;
    int expectInt;
    bool boolFallback;
    bool expectBool;
    double expectFloat; // fallback 0.05
    QString expectText;
};

TEST_F(IniFileTest, TypedReadersTakeTheirFormOrTheFallback) {
    const ReadCase cases[] = {
        {"two is true", QStringLiteral("k=2"), 9, 2, false, true, 2.0, QStringLiteral("2")},
        {"zero is false", QStringLiteral("k=0"), 9, 0, true, false, 0.0, QStringLiteral("0")},
        {"word is not an integer", QStringLiteral("k=yes"), 9, 9, false, false, 0.05,
         QStringLiteral("yes")},
        {"comma is no decimal point", QStringLiteral("k=0,25"), 9, 9, true, true, 0.05,
         QStringLiteral("0,25")},
        {"point number", QStringLiteral("k=0.25"), 9, 9, false, false, 0.25,
         QStringLiteral("0.25")},
        {"empty value", QStringLiteral("k="), -1, -1, true, true, 0.05, QString()},
        {"negative", QStringLiteral("k=-1"), 9, -1, false, true, -1.0, QStringLiteral("-1")},
        {"blanks around key and value", QStringLiteral("  k \t=  42  "), 9, 42, false, true, 42.0,
         QStringLiteral("42")},
        {"inner blanks kept", QStringLiteral("k= a  b "), 9, 9, false, false, 0.05,
         QStringLiteral("a  b")},
        {"quotes around a value", QStringLiteral("k=\" x \""), 9, 9, false, false, 0.05,
         QStringLiteral(" x ")},
        {"beyond 32 bits", QStringLiteral("k=4294967296"), 9, 9, false, false, 4294967296.0,
         QStringLiteral("4294967296")},
        {"key case differs", QStringLiteral("K=5"), 9, 5, false, true, 5.0, QStringLiteral("5")},
        {"commented out", QStringLiteral(";k=5"), 9, 9, false, false, 0.05, QStringLiteral("fb")},
    };
    for (const ReadCase &c : cases) {
        SCOPED_TRACE(c.name);
        WriteRaw(Cp1251(QStringLiteral("[S]\r\n") + c.stored + QStringLiteral("\r\n")));
        const TIniFile ini(path_);
        EXPECT_EQ(ini.ReadInteger(u"S", u"k", c.intFallback), c.expectInt);
        EXPECT_EQ(ini.ReadBool(u"S", u"k", c.boolFallback), c.expectBool);
        EXPECT_DOUBLE_EQ(ini.ReadFloat(u"S", u"k", 0.05), c.expectFloat);
        EXPECT_EQ(ini.ReadString(u"S", u"k", QStringLiteral("fb")), c.expectText);
    }
}

TEST_F(IniFileTest, CyrillicNamesMatchWithoutCaseButLatinAndCyrillicLettersDiffer) {
    // "Mаксимальное" with the Cyrillic М is another key than with the Latin M.
    WriteRaw(Cp1251(QStringLiteral("[модуль kova8]\r\n"
                                   "АЦП. Максимальное время=0.25\r\n"
                                   "аЦп. ГРУППОВОЕ=1\r\n")));
    const TIniFile ini(path_);
    EXPECT_DOUBLE_EQ(ini.ReadFloat(u"Модуль KOVA8", u"АЦП. Mаксимальное время", 0.05), 0.05);
    EXPECT_DOUBLE_EQ(ini.ReadFloat(u"Модуль KOVA8", u"АЦП. Максимальное время", 0.05), 0.25);
    EXPECT_EQ(ini.ReadInteger(u"МОДУЛЬ KOVA8", u"АЦП. Групповое", 0), 1);
}

TEST_F(IniFileTest, OnlyTheFirstSectionAndKeyOfARepeatedNameCount) {
    WriteRaw("[S]\nk=1\nk=2\n[T]\nk=3\n[s]\nk=4\n");
    TIniFile ini(path_);
    EXPECT_EQ(ini.ReadInteger(u"S", u"k", 0), 1);
    EXPECT_EQ(ini.ReadInteger(u"T", u"k", 0), 3);
    ASSERT_TRUE(ini.WriteInteger(u"S", u"k", 9));
    EXPECT_EQ(ReadRaw(), QByteArray("[S]\nk=9\nk=2\n[T]\nk=3\n[s]\nk=4\n"));
}

TEST_F(IniFileTest, WritesUpdateInPlaceAppendToTheSectionOrFileAndKeepForeignBytes) {
    // Comments, foreign sections, lines without '=', odd spacing, a byte that
    // Windows-1251 does not define (0x98) and a NUL: all must survive.
    const QByteArray before = Cp1251(QStringLiteral("; мой комментарий\r\n"
                                                    "[Чужой]\r\n"
                                                    "x = 1 ; not ours\r\n"
                                                    "строка без знака\r\n"
                                                    "\r\n"
                                                    "[Модуль KOVA8]\r\n"
                                                    "  Ключ   один  =   старое   \r\n"
                                                    "; конец раздела\r\n"
                                                    "\r\n")) +
                              QByteArray("[Raw]\r\nbad=\x98\0z\r\n", 16);
    WriteRaw(before);
    TIniFile ini(path_);
    ASSERT_TRUE(ini.WriteString(u"модуль kova8", u"ключ   ОДИН", QStringLiteral("новое")));
    ASSERT_TRUE(ini.WriteString(u"Модуль KOVA8", u"Ключ два", QStringLiteral("2")));
    ASSERT_TRUE(ini.WriteString(u"Новый", u"k", QString()));
    const QByteArray expected = Cp1251(QStringLiteral("; мой комментарий\r\n"
                                                      "[Чужой]\r\n"
                                                      "x = 1 ; not ours\r\n"
                                                      "строка без знака\r\n"
                                                      "\r\n"
                                                      "[Модуль KOVA8]\r\n"
                                                      "  Ключ   один  =   новое   \r\n"
                                                      "; конец раздела\r\n"
                                                      "Ключ два=2\r\n"
                                                      "\r\n")) +
                                QByteArray("[Raw]\r\nbad=\x98\0z\r\n", 16) +
                                Cp1251(QStringLiteral("\r\n[Новый]\r\nk=\r\n"));
    EXPECT_EQ(ReadRaw().toHex(' ').toStdString(), expected.toHex(' ').toStdString());
    EXPECT_EQ(ini.ReadString(u"Модуль KOVA8", u"Ключ   один", {}), QStringLiteral("новое"));
    // Inner blanks are part of the key.
    EXPECT_EQ(ini.ReadString(u"Модуль KOVA8", u"Ключ один", QStringLiteral("fb")),
              QStringLiteral("fb"));
    EXPECT_EQ(ini.ReadString(u"Raw", u"bad", {}).size(), 3);
}

TEST_F(IniFileTest, FollowsTheFileLineEndingAndTerminatesAnOpenLastLine) {
    WriteRaw("[S]\na=1");
    TIniFile ini(path_);
    ASSERT_TRUE(ini.WriteInteger(u"S", u"b", 2));
    ASSERT_TRUE(ini.WriteInteger(u"T", u"c", 3));
    EXPECT_EQ(ReadRaw(), QByteArray("[S]\na=1\nb=2\n\n[T]\nc=3\n"));
}

TEST_F(IniFileTest, AFileCutBetweenCarriageReturnAndLineFeedKeepsItsLastValue) {
    // Another line ending after the lone CR would leave it inside the old last line,
    // and that value would read back with a CR on its end.
    WriteRaw("[S]\r\na=1\r");
    TIniFile ini(path_);
    ASSERT_TRUE(ini.WriteInteger(u"S", u"b", 2));
    EXPECT_EQ(ReadRaw(), QByteArray("[S]\r\na=1\r\nb=2\r\n"));
    EXPECT_EQ(ini.ReadString(u"S", u"a", QString()), QStringLiteral("1"));
}

TEST_F(IniFileTest, ByteOrderMarkDoesNotHideTheFirstSectionAndIsKept) {
    WriteRaw("\xEF\xBB\xBF[S]\r\nk=1\r\n");
    TIniFile ini(path_);
    EXPECT_EQ(ini.ReadInteger(u"S", u"k", 0), 1);
    ASSERT_TRUE(ini.WriteInteger(u"S", u"k", 2));
    EXPECT_EQ(ReadRaw(), QByteArray("\xEF\xBB\xBF[S]\r\nk=2\r\n"));
}

TEST_F(IniFileTest, HugeLineIsReadAroundAndKept) {
    const QByteArray huge(10 * 1024 * 1024, 'x');
    WriteRaw("[S]\r\n" + huge + "\r\nk=1\r\n");
    TIniFile ini(path_);
    EXPECT_EQ(ini.ReadInteger(u"S", u"k", 0), 1);
    ASSERT_TRUE(ini.WriteInteger(u"S", u"k", 2));
    EXPECT_EQ(ReadRaw(), "[S]\r\n" + huge + "\r\nk=2\r\n");
}

TEST_F(IniFileTest, RefusesNamesAndValuesThatWouldBreakTheLineStructure) {
    WriteRaw("[S]\r\nk=1\r\n");
    TIniFile ini(path_);
    const std::pair<QString, QString> bad[] = {
        {QStringLiteral("k"), QStringLiteral("1\r\n[X]\r\ny=2")},
        {QStringLiteral("a=b"), QStringLiteral("1")},
        {QStringLiteral(""), QStringLiteral("1")},
        {QStringLiteral("a\nb"), QStringLiteral("1")},
    };
    for (const auto &[key, value] : bad) {
        EXPECT_FALSE(ini.WriteString(u"S", key, value)) << key.toStdString();
    }
    EXPECT_FALSE(ini.WriteString(u"S]", u"k", QStringLiteral("1")));
    EXPECT_EQ(ReadRaw(), QByteArray("[S]\r\nk=1\r\n"));
}

TEST_F(IniFileTest, KeepsPermissionsAndReplacesAWholeFile) {
    WriteRaw("[S]\r\nk=1\r\n");
    const auto perms = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(path_, perms));
    TIniFile ini(path_);
    ASSERT_TRUE(ini.WriteInteger(u"S", u"k", 2));
    EXPECT_EQ(QFileInfo(path_).permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
              perms);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(IniFileTest, FileGoneMeanwhileIsCreatedWithOnlyTheWrittenKey) {
    TIniFile ini(path_);
    ASSERT_TRUE(ini.WriteString(u"S", u"k", QStringLiteral("v")));
    EXPECT_EQ(ReadRaw(), QByteArray("[S]\r\nk=v\r\n"));
}

TEST_F(IniFileTest, UnwritableTargetsFailAndLeaveTheFileAlone) {
    WriteRaw("[S]\r\nk=1\r\n");
    ASSERT_TRUE(QFile::setPermissions(path_, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    TIniFile readOnly(path_);
    EXPECT_FALSE(readOnly.WriteInteger(u"S", u"k", 2));
    EXPECT_FALSE(readOnly.LastError().isEmpty());
    EXPECT_EQ(readOnly.ReadInteger(u"S", u"k", 0), 1);

    TIniFile folderGone(dir_.filePath(QStringLiteral("no/such/folder/x.ini")));
    EXPECT_FALSE(folderGone.WriteInteger(u"S", u"k", 2));

    TIniFile aFolder(dir_.path());
    EXPECT_FALSE(aFolder.WriteInteger(u"S", u"k", 2));
}

TEST_F(IniFileTest, ReadOnlyFolderFails) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root may write into a read-only folder";
    }
    const QString sub = dir_.filePath(QStringLiteral("ro"));
    ASSERT_TRUE(QDir().mkpath(sub));
    ASSERT_TRUE(QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    TIniFile ini(QDir(sub).filePath(QStringLiteral("x.ini")));
    EXPECT_FALSE(ini.WriteInteger(u"S", u"k", 2));
    QFile::setPermissions(sub,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// A folder that refuses the temporary file of the atomic replace, holding a
// file the user may write: the file is rewritten where it is.
TEST_F(IniFileTest, WritableFileInAReadOnlyFolderIsRewrittenInPlace) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root may write into a read-only folder";
    }
    const QString sub = dir_.filePath(QStringLiteral("ro"));
    ASSERT_TRUE(QDir().mkpath(sub));
    path_ = QDir(sub).filePath(QStringLiteral("x.ini"));
    const QByteArray before = "[S]\r\nk=1000\r\n; kept\r\n";
    WriteRaw(before);
    const ino_t inode = Inode(path_);
    ASSERT_TRUE(QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::ExeOwner));

    struct Case {
        const char *name;
        QString value;
        QByteArray after;
    };
    const Case cases[] = {
        {"shorter", QStringLiteral("2"), "[S]\r\nk=2\r\n; kept\r\n"},
        {"longer", QStringLiteral("Ж123456789"),
         "[S]\r\nk=\xC6"
         "123456789\r\n; kept\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TIniFile ini(path_);
        EXPECT_TRUE(ini.WriteString(u"S", u"k", c.value)) << ini.LastError().toStdString();
        EXPECT_EQ(ReadRaw(), c.after);
        EXPECT_EQ(Inode(path_), inode);
    }

    // No room for the longer content: refused before a byte changed.
    const QByteArray whole = ReadRaw();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        limit.rlim_cur = static_cast<rlim_t>(whole.size() + 4);
        limit.rlim_max = RLIM_INFINITY;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            _exit(2);
        }
        TIniFile ini(path_);
        const bool written = ini.WriteString(u"S", u"k", QString(100, QLatin1Char('x')));
        _exit(written ? 1 : (ini.LastError().isEmpty() ? 3 : 0));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: reported as written, 3: no reason given";
    EXPECT_EQ(ReadRaw(), whole);

    QFile::setPermissions(sub,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// On a Qt without the Windows-1251 converter every Cyrillic name would be
// written as nothing: the file is neither read nor touched.
TEST_F(IniFileTest, WithoutTheCodePageNothingIsReadOrWritten) {
    const QByteArray before = Cp1251(QStringLiteral("[Модуль]\r\nКлюч=5\r\n"));
    WriteRaw(before);
    const platform::ScopedMissingCodePage missing;
    TIniFile ini(path_);
    EXPECT_EQ(ini.ReadInteger(u"Модуль", u"Ключ", -1), -1);
    EXPECT_FALSE(ini.WriteInteger(u"Модуль", u"Ключ", 6));
    EXPECT_EQ(ini.LastError(), platform::MissingCodePageText());
    EXPECT_FALSE(ini.WriteString(u"S", u"k", QStringLiteral("v")));
    EXPECT_EQ(ReadRaw(), before);

    TIniFile fresh(dir_.filePath(QStringLiteral("new.ini")));
    EXPECT_FALSE(fresh.WriteInteger(u"S", u"k", 1));
    EXPECT_FALSE(QFileInfo::exists(fresh.FileName()));
}

TEST_F(IniFileTest, WriteCutOffMidwayLeavesTheOldFileWhole) {
    // A file-size limit below the new content makes the write fail halfway,
    // as a full disk would; the child process carries the limit.
    QByteArray before = "[S]\r\nk=1\r\n";
    before += "pad=" + QByteArray(4000, 'p') + "\r\n";
    WriteRaw(before);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        limit.rlim_cur = 2000;
        limit.rlim_max = RLIM_INFINITY;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            _exit(2);
        }
        TIniFile ini(path_);
        const bool written = ini.WriteString(u"S", u"k", QStringLiteral("2"));
        _exit(written ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the cut-off write was reported as success";
    EXPECT_EQ(ReadRaw(), before);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

} // namespace
