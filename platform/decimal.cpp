#include "platform/decimal.h"

#include <QByteArray>

#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
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

char DecimalSeparator() { return g_separator.load(std::memory_order_relaxed); }

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
        throw EConvertError("'" + text.toString().toStdString() + "' is not a valid floating point value");
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

QString FormatFloat(QStringView picture, double value) {
    if (!std::isfinite(value)) {
        return FloatToStr(value);
    }
    const int decimals = PictureDecimals(picture);
    // Round half away from zero on the decimal value the user reads, as the
    // Windows picture formatter does, not on the binary neighbour.
    std::array<char, 512> buf{};
    const auto [ptr, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value,
                                         std::chars_format::fixed, decimals);
    if (ec != std::errc()) {
        return {};
    }
    QString out = QString::fromLatin1(buf.data(), static_cast<qsizetype>(ptr - buf.data()));
    // "-0.0000" reads as a negative reading that is not there.
    bool allZero = true;
    for (const QChar ch : out) {
        if (ch.isDigit() && ch != QLatin1Char('0')) {
            allZero = false;
            break;
        }
    }
    if (allZero && out.startsWith(QLatin1Char('-'))) {
        out.remove(0, 1);
    }
    out.replace(QLatin1Char('.'), QLatin1Char(DecimalSeparator()));
    return out;
}

} // namespace platform
