#pragma once

#include <QString>

// A job's private folder (mode 0700): a new one under $XDG_RUNTIME_DIR/corvane, or in /tmp when the
// session has no runtime folder. Returned with its trailing '/'; empty with the reason when it cannot
// be made.
QString MakeJobFolder(quint32 jobId, QString *why);
// Removes the folder with whatever is left in it (it holds only files).
void RemoveJobFolder(const QString &folder);
