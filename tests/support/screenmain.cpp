// main() for widget tests that need a screen of a given size: the offscreen
// platform reads it from a configuration file, which must exist before the
// application object is made. KOVA_TEST_SCREEN="WxH" (default 1920x1080).

#include <gtest/gtest.h>

#include <QApplication>

#ifdef KOVA_TEST_WITH_PROGRAM_APPLICATION
#include "app/startup.h"
using TestApplication = TKovaApplication;
#else
using TestApplication = QApplication;
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

int main(int argc, char **argv) {
    int width = 1920;
    int height = 1080;
    if (const char *screen = std::getenv("KOVA_TEST_SCREEN"))
        std::sscanf(screen, "%dx%d", &width, &height);

    const std::filesystem::path config = std::filesystem::temp_directory_path() /
                                         ("kova_screen_" + std::to_string(getpid()) + ".json");
    {
        std::ofstream out(config);
        out << "{\"synchronousWindowSystemEvents\": false, \"windowFrameMargins\": false,"
               " \"screens\": [{\"name\": \"Screen\", \"x\": 0, \"y\": 0, \"width\": "
            << width << ", \"height\": " << height
            << ", \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}";
    }
    const std::string platform = "offscreen:configfile=" + config.string();
    setenv("QT_QPA_PLATFORM", platform.c_str(), 1);

    int result = 0;
    {
        TestApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::filesystem::remove(config);
    return result;
}
