// Where the settings file lives: beside the executable for a portable copy or
// a build folder, in the user's configuration folder for an installed program.
#include "settings/settingskeys.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

using namespace settings;

namespace {

struct LocationCase {
    const char *name;
    bool exeFolderWritable;
    bool fileBesideExe;
    bool xdgConfigHomeSet;
    // Expected folder: "exe", "xdg" ($XDG_CONFIG_HOME/kova8-duvu) or "home"
    // (~/.config/kova8-duvu).
    const char *expected;
};

class SettingsLocationTest : public ::testing::TestWithParam<LocationCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(base_.isValid());
        // An ordinary user must reach the folders (see FolderAsOrdinaryUser).
        ASSERT_TRUE(QFile::setPermissions(base_.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                            QFile::ExeOwner | QFile::ReadOther |
                                                            QFile::ExeOther));
        for (const char *sub : {"exe", "home", "xdg"}) {
            ASSERT_TRUE(QDir(base_.path()).mkdir(QString::fromLatin1(sub)));
            ASSERT_TRUE(QFile::setPermissions(Path(sub), QFileDevice::Permissions(0x7777)));
        }
    }

    QString Path(const char *sub) const { return base_.filePath(QString::fromLatin1(sub)); }

    // SettingsFolderFor(exe) in a child process with the environment given. Run
    // by root, the child becomes an ordinary user first, so that a folder
    // without write permission really is not writable for it.
    std::string FolderAsOrdinaryUser(const QString &exe, const QString &home,
                                     const QString &xdgConfigHome) {
        int fds[2];
        if (pipe(fds) != 0)
            return "pipe failed";
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                _exit(2);
            setenv("HOME", home.toLocal8Bit().constData(), 1);
            if (xdgConfigHome.isEmpty())
                unsetenv("XDG_CONFIG_HOME");
            else
                setenv("XDG_CONFIG_HOME", xdgConfigHome.toLocal8Bit().constData(), 1);
            const QByteArray folder = SettingsFolderFor(exe).toLocal8Bit();
            const bool ok = write(fds[1], folder.constData(),
                                  static_cast<std::size_t>(folder.size())) == folder.size();
            _exit(ok ? 0 : 3);
        }
        close(fds[1]);
        std::string out;
        char buf[512];
        for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
            out.append(buf, static_cast<std::size_t>(n));
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
        return out;
    }

    QTemporaryDir base_;
};

TEST_P(SettingsLocationTest, FolderFollowsWhetherTheUserCanWriteBesideTheExecutable) {
    const LocationCase &c = GetParam();
    const QString exe = Path("exe");
    if (c.fileBesideExe) {
        QFile file(QDir(exe).filePath(kSettingsFileName.toString()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[x]\r\n");
        file.close();
        ASSERT_TRUE(file.setPermissions(QFile::ReadOwner | QFile::ReadOther | QFile::ReadGroup));
    }
    if (!c.exeFolderWritable) {
        ASSERT_TRUE(QFile::setPermissions(exe, QFileDevice::Permissions(0x5555)));
    }

    const std::string folder =
        FolderAsOrdinaryUser(exe, Path("home"), c.xdgConfigHomeSet ? Path("xdg") : QString());

    const std::string expected =
        std::string(c.expected) == "exe" ? exe.toStdString()
        : std::string(c.expected) == "xdg"
            ? (Path("xdg") + QStringLiteral("/kova8-duvu")).toStdString()
            : (Path("home") + QStringLiteral("/.config/kova8-duvu")).toStdString();
    EXPECT_EQ(folder, expected);
    // The user's folder is made ready for the writers, and only when it is used.
    EXPECT_EQ(QFileInfo(QString::fromStdString(expected)).isDir(), true);
    if (std::string(c.expected) == "exe") {
        EXPECT_FALSE(QFileInfo::exists(Path("xdg") + QStringLiteral("/kova8-duvu")));
        EXPECT_FALSE(QFileInfo::exists(Path("home") + QStringLiteral("/.config")));
    }
    QFile::setPermissions(exe, QFileDevice::Permissions(0x7777));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsLocationTest,
    ::testing::Values(LocationCase{"portable_folder", true, false, true, "exe"},
                      LocationCase{"portable_folder_with_file", true, true, true, "exe"},
                      LocationCase{"installed", false, false, true, "xdg"},
                      LocationCase{"installed_without_xdg_config_home", false, false, false,
                                   "home"},
                      LocationCase{"installed_with_file_beside_it", false, true, true, "exe"}),
    [](const ::testing::TestParamInfo<LocationCase> &p) { return p.param.name; });

} // namespace
