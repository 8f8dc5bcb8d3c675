// Strict UTF-8: the one rule for the job file's text, file names, PPD texts and job titles.
#pragma once

#include <QByteArray>
#include <QtGlobal>

// The length of the valid UTF-8 sequence at p (n > 0 bytes left), 0 when there is none: strict UTF-8,
// no overlong forms, no surrogates, nothing above U+10FFFF, no cut sequence.
int Utf8SequenceLength(const unsigned char *p, qsizetype n);

// The longest start of text of at most limit bytes that ends between two characters: never inside a
// valid UTF-8 sequence (a byte outside any valid sequence counts as a character of its own).
QByteArray Utf8Left(const QByteArray &text, qsizetype limit);
