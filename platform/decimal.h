#pragma once
// Number text for the whole process. Windows programs format and parse numbers
// through one process-wide decimal separator; we keep that rule, and never let
// the user's locale decide how a number is written or read.

#include <QString>
#include <QStringView>

#include <cstdint>
#include <stdexcept>

namespace platform {

// Raised when a text is not a number under the current separator.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

char DecimalSeparator();
void SetDecimalSeparator(char separator);

// Surrounding blanks are allowed, as the profile and conversion routines allow
// them; anything else that is not a whole number fails.
bool TryStrToFloat(QStringView text, double &value);
double StrToFloat(QStringView text); // throws EConvertError
bool TryStrToInt(QStringView text, std::int64_t &value);

// The shortest text that reads back as the same double, with the separator.
QString FloatToStr(double value);

// A fixed-point picture: "0" or "0." followed by n "0" gives n decimals,
// rounded half away from zero. A picture with no decimal places renders no
// separator ("0." and "0" both give "12").
QString FormatFloat(QStringView picture, double value);

// Decimals a fixed-point picture asks for: the count of '0' after the point.
int PictureDecimals(QStringView picture);

} // namespace platform
