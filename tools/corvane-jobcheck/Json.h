#pragma once
// Just enough JSON for corvane-jobcheck's reports: string literals and flat objects.

#include <QByteArray>
#include <QList>
#include <QString>

// A JSON string literal of text in UTF-8: quotes, backslashes and control characters escaped
// (control characters as \u00XX), a lone surrogate written as U+FFFD.
QByteArray JsonString(const QString &text);

// One JSON object, its members in the order they were added, written on one line.
class CJsonObject {
public:
    void Add(const char *name, qint64 value);
    void Add(const char *name, const QString &value);
    void Add(const char *name, bool value);
    // A member whose value is JSON text already (a nested object or array).
    void AddRaw(const char *name, const QByteArray &json);

    QByteArray ToJson() const;

private:
    QList<QPair<QByteArray, QByteArray>> m_members;
};
