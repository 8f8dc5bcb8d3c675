// The preview's page files: wildcard search over a folder and the deletion of a job's files at its end.
#pragma once

#include "link/PageFileName.h"

#include <QString>
#include <QStringView>

class CJobSettings;

// The file search's wildcard rules, on one name: "*" matches any run of characters (none included),
// "?" exactly one character; every other character ("[", "]" and "\" included) stands for itself and
// is compared with its letter case, as this file system compares names.
bool WildcardMatch(QStringView pattern, QStringView name);

// Whether at least one entry of the pattern's folder (the part before its last "/", else the current
// folder) has a name that the last part of the pattern matches. Wildcards count only in that last
// part. An empty pattern, or one of more than MaxPatternLength characters, matches nothing.
bool AnyFileMatches(const QString &pattern);
constexpr int MaxPatternLength = 259;

// The file deletions of the exit processing, in order: pages 1 to m_nPageCount, the job file
// m_strIniPath, and, when any file matches m_strPageFilePattern, the pages after m_nPageCount up to
// page 999. Results are not looked at. Only names built from the template (and the job file) are
// ever deleted. Settings without a page pattern (the read stopped before FileName) name no page, even
// when FilePath itself holds a "%05d".
void DeleteJobFiles(const CJobSettings &settings);
