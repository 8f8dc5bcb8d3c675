#pragma once
// A PPD file's statements as they stand in its text.

#include <QByteArray>
#include <QList>
#include <QString>

// The statements of a PPD file as they stand in its text, so that a rewrite can copy every statement it
// does not touch byte for byte.
//
// A statement is "*Keyword Option/Translation: Value". A quoted value may run over several lines; it ends
// at the next double quote (PPD strings have no escaped quotes; a quote inside is written <22>). Lines end
// in LF, CR LF or CR. Comments ("*%"), blank lines and anything else are statements without a keyword.
namespace ppdtext {

struct Statement {
    qsizetype begin = 0;    // first byte of the statement's first line
    qsizetype end = 0;      // one past the line end of its last line
    int line = 0;           // its first line, counted from 1
    QByteArray keyword;     // without the star: "cupsFilter", "ja.Translation"; empty for comments and others
    QByteArray option;      // "PageSize" in "*ja.Translation PageSize/Media Size: ...", or empty
    QByteArray translation; // the text after the option's slash, or empty
    QByteArray value;       // after the colon and blanks; a quoted value without its quotes
    bool quoted = false;
};

struct Document {
    QList<Statement> statements;
    QByteArray eol; // the line end of the first line ("\n" when the text has none)
    QString error;  // why the text cannot be split (an unterminated quoted value); empty when it can
};

Document Split(const QByteArray &text);

// A quoted statement in the document's line ends: *keyword option/translation: "value"
QByteArray QuotedLine(const QByteArray &keyword, const QByteArray &value, const QByteArray &eol);

} // namespace ppdtext
