#pragma once

#include <QString>

// The file of page nPage: the template with the page number, zero-padded to at least five digits, in
// place of its last "%05d". Every other character, a "%" in the folder or base name included, is literal.
QString PageFileName(const QString &format, int nPage);
