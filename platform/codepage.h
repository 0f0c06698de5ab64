#pragma once
// The one code page of every text that crosses the device or the settings
// file: crate and module serials, the module's name and firmware version, and
// everything in the settings file are Windows-1251 bytes. They are decoded and
// encoded here and nowhere else.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstddef>

namespace platform {

// Whether this Qt can convert Windows-1251 at all. Checked once, on the first
// call (the program makes it at start); without the converter no text may go
// to the settings file, since every Cyrillic key would come out empty.
bool CodePageAvailable();

// The message the settings side gives when the converter is missing.
QString MissingCodePageText();

QString FromCodePage(QByteArrayView bytes);
// A fixed-size field of a device record: the text ends at the first NUL or at
// the field's end.
QString FieldFromCodePage(const char *field, std::size_t size);
// Characters the code page lacks do not survive the trip.
QByteArray ToCodePage(QStringView text);

// Makes CodePageAvailable() answer false for a scope, as on a Qt without the
// converter.
class ScopedMissingCodePage {
public:
    ScopedMissingCodePage();
    ~ScopedMissingCodePage();
    ScopedMissingCodePage(const ScopedMissingCodePage &) = delete;
    ScopedMissingCodePage &operator=(const ScopedMissingCodePage &) = delete;

private:
    bool previous_;
};

} // namespace platform
