#include "platform/decimal.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <clocale>
#include <locale>
#include <string>

namespace {

// A user whose locale writes numbers with a decimal comma, without relying on
// which locales the machine has installed.
struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return ' '; }
    std::string do_grouping() const override { return "\3"; }
};

class CommaLocale : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
        previousQt_ = QLocale();
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        platform::SetDecimalSeparator('.');
    }
    void TearDown() override {
        std::locale::global(previous_);
        QLocale::setDefault(previousQt_);
        platform::SetDecimalSeparator('.');
    }

private:
    std::locale previous_;
    QLocale previousQt_;
};

struct ParseCase {
    const char *text;
    bool ok;
    double value;
};

TEST_F(CommaLocale, ParsesWithTheProcessSeparatorOnly) {
    const ParseCase cases[] = {
        {"0.25", true, 0.25},      {"  -12.5 ", true, -12.5}, {"+3", true, 3.0},
        {"1e3", true, 1000.0},     {"80", true, 80.0},        {"0,25", false, 0},
        {"", false, 0},            {"   ", false, 0},        {"1.2.3", false, 0},
        {"12abc", false, 0},       {"+-1", false, 0},         {"1 000", false, 0},
        {"inf", false, 0},         {"nan", false, 0},         {"\xd0\x81", false, 0},
    };
    for (const auto &c : cases) {
        double value = -999.0;
        const bool ok = platform::TryStrToFloat(QString::fromUtf8(c.text), value);
        EXPECT_EQ(ok, c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(value, c.value) << c.text;
        } else {
            EXPECT_DOUBLE_EQ(value, -999.0) << "value changed on failure: " << c.text;
            EXPECT_THROW(platform::StrToFloat(QString::fromUtf8(c.text)), platform::EConvertError)
                << c.text;
        }
    }
}

TEST_F(CommaLocale, CommaSeparatorSwapsTheRoles) {
    platform::SetDecimalSeparator(',');
    double value = 0;
    EXPECT_TRUE(platform::TryStrToFloat(u"0,25", value));
    EXPECT_DOUBLE_EQ(value, 0.25);
    EXPECT_FALSE(platform::TryStrToFloat(u"0.25", value));
    EXPECT_EQ(platform::FormatFloat(u"0.00", 1.5), QStringLiteral("1,50"));
    EXPECT_EQ(platform::FloatToStr(0.5), QStringLiteral("0,5"));
}

struct FormatCase {
    const char *picture;
    double value;
    const char *expected;
};

TEST_F(CommaLocale, FormatsWithAPointAndRoundsHalfAwayFromZero) {
    const FormatCase cases[] = {
        {"0.000", 12.3456, "12.346"}, {"0.00", 0.125, "0.13"},      {"0.00", -0.125, "-0.13"},
        {"0.0", 2.25, "2.3"},         {"0.0", 9.96, "10.0"},        {"0.00", 99.995, "100.00"},
        {"0.0000", -0.00001, "0.0000"}, {"0.", 12.5, "13"},         {"0", -12.4, "-12"},
        {"0.0000000", 80.0, "80.0000000"}, {"0.000", 1e-9, "0.000"}, {"0.0", -79.99, "-80.0"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(platform::FormatFloat(QString::fromLatin1(c.picture), c.value),
                  QString::fromLatin1(c.expected))
            << c.picture << " " << c.value;
    }
}

TEST_F(CommaLocale, FloatToStrReadsBackExactly) {
    for (const double value : {0.1, -80.0, 1.0 / 3.0, 5848298.0, 1e-7, 0.0}) {
        const QString text = platform::FloatToStr(value);
        EXPECT_FALSE(text.contains(QLatin1Char(','))) << text.toStdString();
        EXPECT_EQ(platform::StrToFloat(text), value) << text.toStdString();
    }
}

TEST(NumberText, IntegersAcceptOnlyWholeNumbers) {
    const struct {
        const char *text;
        bool ok;
        std::int64_t value;
    } cases[] = {
        {"17", true, 17},   {" -1 ", true, -1}, {"+5", true, 5},   {"0x10", false, 0},
        {"1.0", false, 0},  {"", false, 0},     {"9223372036854775808", false, 0},
        {"12 3", false, 0},
    };
    for (const auto &c : cases) {
        std::int64_t value = -7;
        EXPECT_EQ(platform::TryStrToInt(QString::fromLatin1(c.text), value), c.ok) << c.text;
        EXPECT_EQ(value, c.ok ? c.value : -7) << c.text;
    }
}

TEST(NumberText, PictureDecimalsCountsZerosAfterThePoint) {
    EXPECT_EQ(platform::PictureDecimals(u"0."), 0);
    EXPECT_EQ(platform::PictureDecimals(u"0"), 0);
    EXPECT_EQ(platform::PictureDecimals(u"0.0000000"), 7);
}

} // namespace
