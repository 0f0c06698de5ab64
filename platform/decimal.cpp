#include "platform/decimal.h"

#include <QByteArray>

#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace platform {
namespace {

std::atomic<char> g_separator{'.'};

// Trimmed Latin-1 copy with the separator turned into '.', or empty when the
// text holds a character that cannot be part of a number (so from_chars never
// sees a lookalike).
std::string NormaliseNumberText(QStringView text, char separator) {
    const QStringView trimmed = text.trimmed();
    std::string out;
    out.reserve(static_cast<std::size_t>(trimmed.size()));
    for (const QChar ch : trimmed) {
        const char16_t u = ch.unicode();
        if (u >= 0x80) {
            return {};
        }
        char c = static_cast<char>(u);
        if (c == separator) {
            c = '.';
        } else if (c == '.' && separator != '.') {
            return {};
        }
        out.push_back(c);
    }
    return out;
}

} // namespace

char DecimalSeparator() {
    return g_separator.load(std::memory_order_relaxed);
}

void SetDecimalSeparator(char separator) {
    g_separator.store(separator, std::memory_order_relaxed);
}

bool TryStrToFloat(QStringView text, double &value) {
    std::string s = NormaliseNumberText(text, DecimalSeparator());
    if (s.empty()) {
        return false;
    }
    const char *first = s.data();
    const char *last = s.data() + s.size();
    if (*first == '+') {
        ++first;
        if (first == last || *first == '-') {
            return false;
        }
    }
    double parsed = 0.0;
    const auto [ptr, ec] = std::from_chars(first, last, parsed, std::chars_format::general);
    if (ec != std::errc() || ptr != last || !std::isfinite(parsed)) {
        return false;
    }
    value = parsed;
    return true;
}

double StrToFloat(QStringView text) {
    double value = 0.0;
    if (!TryStrToFloat(text, value)) {
        throw EConvertError("'" + text.toString().toStdString() +
                            "' is not a valid floating point value");
    }
    return value;
}

bool TryStrToInt(QStringView text, std::int64_t &value) {
    const QByteArray s = text.trimmed().toLatin1();
    if (s.isEmpty() || text.trimmed().size() != s.size()) {
        return false;
    }
    const char *first = s.constData();
    const char *last = first + s.size();
    if (*first == '+') {
        ++first;
        if (first == last || *first == '-') {
            return false;
        }
    }
    std::int64_t parsed = 0;
    const auto [ptr, ec] = std::from_chars(first, last, parsed, 10);
    if (ec != std::errc() || ptr != last) {
        return false;
    }
    value = parsed;
    return true;
}

QString FloatToStr(double value) {
    std::array<char, 64> buf{};
    const auto [ptr, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value);
    if (ec != std::errc()) {
        return {};
    }
    QString out = QString::fromLatin1(buf.data(), static_cast<qsizetype>(ptr - buf.data()));
    out.replace(QLatin1Char('.'), QLatin1Char(DecimalSeparator()));
    return out;
}

int PictureDecimals(QStringView picture) {
    const qsizetype point = picture.indexOf(QLatin1Char('.'));
    if (point < 0) {
        return 0;
    }
    int decimals = 0;
    for (qsizetype i = point + 1; i < picture.size() && picture[i] == QLatin1Char('0'); ++i) {
        ++decimals;
    }
    return decimals;
}

namespace {

// Rounds the decimal digits of a plain fixed text ("-12.345") to the given
// number of decimals, half away from zero.
std::string RoundDecimalText(std::string text, int decimals) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative)
        text.erase(0, 1);
    std::string digits;
    std::size_t point = text.find('.');
    if (point == std::string::npos) {
        digits = text;
        point = text.size();
    } else {
        digits = text.substr(0, point) + text.substr(point + 1);
    }
    // digits now holds integer digits [0, point) and fraction digits after.
    const std::size_t keep = point + static_cast<std::size_t>(decimals);
    if (digits.size() < keep)
        digits.append(keep - digits.size(), '0');
    const bool roundUp = digits.size() > keep && digits[keep] >= '5';
    digits.resize(keep);
    if (roundUp) {
        bool carry = true;
        for (std::size_t i = digits.size(); carry && i > 0;) {
            --i;
            if (digits[i] == '9') {
                digits[i] = '0';
            } else {
                ++digits[i];
                carry = false;
            }
        }
        if (carry) {
            digits.insert(digits.begin(), '1');
            ++point;
        }
    }
    // Appending characters rather than assigning literals also keeps GCC 12's
    // inlined std::string copies at -O3 from a false -Wrestrict report.
    std::string out = digits.substr(0, point);
    if (out.empty())
        out.push_back('0');
    if (decimals > 0) {
        out.push_back('.');
        out.append(digits, point);
    }
    const bool allZero = out.find_first_not_of("0.") == std::string::npos;
    // "-0.0000" would read as a negative reading that is not there.
    if (negative && !allZero)
        out.insert(out.begin(), '-');
    return out;
}

} // namespace

QString FormatFloat(QStringView picture, double value) {
    if (!std::isfinite(value)) {
        return FloatToStr(value);
    }
    const int decimals = PictureDecimals(picture);
    // Round half away from zero on the shortest decimal text that reads back as
    // the value, as the Windows picture formatter does: 0.125 gives "0.13".
    std::array<char, 512> buf{};
    const auto [ptr, ec] =
        std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed);
    if (ec != std::errc()) {
        return {};
    }
    const std::string rounded = RoundDecimalText(
        std::string(buf.data(), static_cast<std::size_t>(ptr - buf.data())), decimals);
    QString out = QString::fromLatin1(rounded.data(), static_cast<qsizetype>(rounded.size()));
    out.replace(QLatin1Char('.'), QLatin1Char(DecimalSeparator()));
    return out;
}

} // namespace platform
