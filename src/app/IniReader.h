#pragma once
// An INI file read the way the platform's profile functions read it.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

// An INI file read the way the platform's profile functions read it (the rules are written down in
// docs/job-file.md). The whole file is decoded and split into sections once; lookups do not touch
// the file again.
class CIniReader {
public:
    CIniReader() = default;

    // Reads the file at path. A file that is missing, cannot be opened, is not a regular file (a
    // folder, a FIFO, a device) or is larger than MaxFileBytes reads as an empty file. Never blocks.
    static CIniReader FromFile(const QString &path);
    // Parses the bytes of a file.
    static CIniReader FromBytes(const QByteArray &bytes);

    // The text of a file's bytes: UTF-16LE or UTF-16BE after their byte-order mark, UTF-8 after its
    // byte-order mark, otherwise UTF-8 when the bytes are valid UTF-8 and CP932 (Shift-JIS) when not.
    static QString DecodeText(const QByteArray &bytes);

    // GetPrivateProfileStringW: the value of key in section (names without regard to letter case),
    // one pair of matching enclosing quotes removed, cut to nCapacity - 1 characters; defaultValue
    // (cut the same way) when the key is missing or has no "=".
    QString GetString(QStringView section, QStringView key, const QString &defaultValue, int nCapacity) const;
    // GetPrivateProfileIntW: the value read as a decimal integer (leading blanks, one sign, digits
    // up to the first other character, arithmetic modulo 2^32); defaultValue when the key is
    // missing or its value is empty; 0 when the value has no digits.
    int GetInt(QStringView section, QStringView key, int defaultValue) const;

    static constexpr qint64 MaxFileBytes = 16 * 1024 * 1024;

private:
    struct Entry {
        QString name;
        QString value;
        bool hasValue = false;
    };
    struct Section {
        QString name;
        QList<Entry> entries;
    };

    const Entry *Find(QStringView section, QStringView key) const;

    QList<Section> m_sections;
};
