// The recorder's CSV text.

#include "recorder/csvrow.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

using namespace std::chrono;

TEST(CsvRowTest, HeaderNamesEveryColumnWithItsUnit) {
    const std::array<bool, 8> some{true, false, true};
    EXPECT_EQ(recorder::CsvHeader(some, false),
              "time_utc,elapsed_s,block,samples,ch1_mean_mV,ch3_mean_mV\r\n");
    EXPECT_EQ(recorder::CsvHeader(some, true),
              "time_utc,elapsed_s,block,samples,ch1_mean_mV,ch1_min_mV,ch1_max_mV,ch1_std_mV,"
              "ch3_mean_mV,ch3_min_mV,ch3_max_mV,ch3_std_mV\r\n");
}

TEST(CsvRowTest, RowFieldsWithAPointWhateverTheLocale) {
    // A locale with a decimal comma, where one is installed; the row must not care.
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    const system_clock::time_point at =
        system_clock::time_point(seconds(1796904000)) + microseconds(123999); // 2026-12-10 12:00
    recorder::TCsvRow row;
    row.Begin(at, 12.3456786, 42, 5000);
    row.Add({-0.00000004, -1.5, 79.99999046325684, 0.25, 5000}, true);
    row.Add({1e-3, 0, 0, 0, 5000}, false);
    EXPECT_EQ(row.Finish(), "2026-12-10T12:00:00.123Z,12.345679,42,5000,"
                            "0.0000000,-1.5000000,79.9999905,0.2500000,0.0010000\r\n");
    std::setlocale(LC_ALL, "C");

    EXPECT_EQ(recorder::UtcText(system_clock::time_point(milliseconds(-1))),
              "1969-12-31T23:59:59.999Z");
}

} // namespace
