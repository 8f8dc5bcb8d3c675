#pragma once

#include <QByteArray>
#include <QString>

// File names as the bytes the system keeps. A name is decoded as UTF-8 where its bytes are valid
// UTF-8; each byte that is not part of a valid sequence (a folder named in a legacy encoding) becomes
// U+DC80 + its value less 0x80, a lone surrogate that no valid text holds. Encoding turns those back
// into the bytes, so every byte string survives the round trip unchanged and the rest of the preview
// handles names as text.
// The length of the valid UTF-8 sequence at p (n > 0 bytes left), 0 when there is none: strict UTF-8,
// no overlong forms, no surrogates, nothing above U+10FFFF, no cut sequence.
int Utf8SequenceLength(const unsigned char *p, qsizetype n);

QString DecodeNativePath(const QByteArray &bytes);
QString DecodeNativePath(const char *bytes);
QByteArray EncodeNativePath(const QString &path);
