#pragma once
// The settings file with the rules of a Windows private profile: sections and
// keys match without regard to case, a written key is replaced in place or
// appended at the end of its section, a new section goes to the end of the
// file, and nothing is ever removed. Every operation goes to the disk at once.
//
// The file is Windows-1251 text. We work on its bytes line by line and decode
// only what we compare or return, so lines we do not write (comments, foreign
// sections, bytes that are not Windows-1251 at all) stay byte for byte.

#include <QByteArray>
#include <QString>
#include <QStringView>

class TIniFile {
public:
    // Does not touch the disk.
    explicit TIniFile(QString fileName);

    const QString &FileName() const { return fileName_; }

    // Surrounding blanks (and one pair of surrounding quotes) of a stored
    // value are not part of it. A missing file reads as an empty profile, and
    // so does every file on a Qt without the Windows-1251 converter.
    QString ReadString(QStringView section, QStringView key, const QString &fallback) const;
    // A decimal 32-bit integer; anything else gives the fallback.
    int ReadInteger(QStringView section, QStringView key, int fallback) const;
    // An integer, non-zero being true; anything else gives the fallback.
    bool ReadBool(QStringView section, QStringView key, bool fallback) const;
    // A number under the process-wide decimal separator; anything else gives
    // the fallback.
    double ReadFloat(QStringView section, QStringView key, double fallback) const;

    // Each write replaces the file through a temporary file in the same folder
    // (the old file stays whole until the new one is complete) and keeps the
    // file's permissions. Where the folder refuses the temporary file but the
    // file itself may be written, the file is rewritten in place; its room is
    // reserved first, and a write that fails after the first byte changed
    // says in LastError() that the file is cut off. False when the file
    // cannot be written: a read-only file, a missing folder, a full disk, a
    // file that cannot be read back first, a Qt without the Windows-1251
    // converter (the file is then not touched), or a section, key or value
    // that would break the line structure. LastError() then says why.
    bool WriteString(QStringView section, QStringView key, const QString &value);
    bool WriteInteger(QStringView section, QStringView key, int value);
    bool WriteBool(QStringView section, QStringView key, bool value);
    bool WriteFloat(QStringView section, QStringView key, double value);

    // Writes already went to the disk; kept for the writers' two halves.
    bool UpdateFile() { return true; }

    const QString &LastError() const { return lastError_; }

private:
    bool LoadForUpdate(QByteArray &data);
    bool Store(const QByteArray &data);
    bool StoreInPlace(const QByteArray &data);

    QString fileName_;
    QString lastError_;
};
