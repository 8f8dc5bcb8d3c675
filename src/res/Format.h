#pragma once
// printf-style formats of the string table filled with integers and texts.

#include <QString>
#include <QStringView>

#include <initializer_list>

// One argument of a printf-style format: an integer or a text.
class FormatArg {
public:
    FormatArg(int value) : m_isText(false), m_number(value) {}
    FormatArg(const QString &text) : m_isText(true), m_number(0), m_text(text) {}

    bool IsText() const { return m_isText; }
    int Number() const { return m_number; }
    const QString &Text() const { return m_text; }

private:
    bool m_isText;
    int m_number;
    QString m_text;
};

// Fills a printf-style format from the string table: "%s", "%d", "%05d" (a zero flag and a width before
// d or s) and "%%". Arguments are taken in order and inserted as they stand: a "%" inside an argument is
// never read as a directive. A directive without an argument, or of another kind, stands for itself.
QString FormatString(QStringView format, std::initializer_list<FormatArg> args);

// FormatString with the format loaded from the string table.
QString FormatResString(int formatId, std::initializer_list<FormatArg> args);
