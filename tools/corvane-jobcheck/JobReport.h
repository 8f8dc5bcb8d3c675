#pragma once
// corvane-jobcheck's report of a job file.

#include "Json.h"

class CJobSettings;

// The job settings as ReadJobFile left them, with its result first.
CJsonObject JobSettingsJson(int nResult, const CJobSettings &settings);

// `corvane-jobcheck JOBFILE`: prints the settings read from the job file as one JSON object; exit
// code 0 when the file was accepted, else 1.
int RunJobReport(const QString &jobFile);
