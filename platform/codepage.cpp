#include "platform/codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <atomic>

namespace platform {

namespace {

constexpr const char *kCodePage = "windows-1251";

std::atomic<bool> missingForTest{false};

bool ConverterWorks() {
    // A converter that exists but maps nothing would be as bad as none: the
    // round trip of one Cyrillic letter proves it.
    QStringEncoder encoder(kCodePage);
    QStringDecoder decoder(kCodePage);
    if (!encoder.isValid() || !decoder.isValid())
        return false;
    const QByteArray bytes = encoder.encode(QStringView(u"Ж"));
    const QString back = decoder.decode(bytes);
    return bytes == QByteArray("\xC6") && back == QStringView(u"Ж");
}

} // namespace

bool CodePageAvailable() {
    static const bool available = ConverterWorks();
    return available && !missingForTest.load();
}

QString MissingCodePageText() {
    return QStringLiteral("Нет кодовой страницы Windows-1251! Файл настроек не читается и не "
                          "записывается!");
}

QString FromCodePage(QByteArrayView bytes) {
    QStringDecoder decoder(kCodePage);
    return decoder.decode(bytes);
}

QString FieldFromCodePage(const char *field, std::size_t size) {
    std::size_t n = 0;
    while (n < size && field[n] != '\0')
        ++n;
    return FromCodePage(QByteArrayView(field, static_cast<qsizetype>(n)));
}

QByteArray ToCodePage(QStringView text) {
    QStringEncoder encoder(kCodePage, QStringConverter::Flag::Default);
    return encoder.encode(text);
}

ScopedMissingCodePage::ScopedMissingCodePage() : previous_(missingForTest.exchange(true)) {}

ScopedMissingCodePage::~ScopedMissingCodePage() {
    missingForTest = previous_;
}

} // namespace platform
