#pragma once
// What the scheduler hands corvane-cups, told by its first bytes.

#include <QByteArray>
#include <QString>

// What the scheduler hands corvane-cups, told by its first bytes as CUPS's own type rules tell it: a
// raster (the sync word of CUPS raster, any version and byte order, or of PWG raster), a PDF ("%PDF") or
// a PostScript program ("%!", after an optional Ctrl-D). The *CorvaneFilter that takes the job is the
// one whose source type is of that kind.
namespace inputkind {

enum class Kind { Raster, Pdf, PostScript, Unknown };

// The bytes Identify needs.
inline constexpr qsizetype kHeadBytes = 4;

// Reads up to kHeadBytes from fd (fewer only at the end of the input); the bytes are consumed, so the
// caller hands them on before the rest. False with errno set on a read error.
bool ReadHead(int fd, QByteArray *head);

Kind Identify(const QByteArray &head);

// True when a filter line's source MIME type takes input of kind.
bool Takes(const QByteArray &sourceType, Kind kind);

// "CUPS or PWG raster", "PDF", "PostScript", "no document of a known kind".
QString Name(Kind kind);

} // namespace inputkind
