// File names as bytes and as text, each byte string kept through the round trip.
#pragma once

#include <QByteArray>
#include <QString>

// File names as the bytes the system keeps. A name is decoded as UTF-8 where its bytes are valid
// UTF-8; each byte that is not part of a valid sequence (a folder named in a legacy encoding) becomes
// U+DC80 + its value less 0x80, a lone surrogate that no valid text holds. Encoding turns those back
// into the bytes, so every byte string survives the round trip unchanged and the rest of the preview
// handles names as text.
QString DecodeNativePath(const QByteArray &bytes);
QString DecodeNativePath(const char *bytes);
QByteArray EncodeNativePath(const QString &path);
