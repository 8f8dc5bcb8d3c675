// The job-file report of corvane-jobcheck: the settings read from a job file as JSON.
#include "JobReport.h"

#include "app/JobSettings.h"

#include <cstdio>

CJsonObject JobSettingsJson(int nResult, const CJobSettings &settings)
{
    CJsonObject json;
    json.Add("result", qint64(nResult));
    json.Add("m_nTapeWidthMm", qint64(settings.m_nTapeWidthMm));
    json.Add("m_nTapeLengthMm", qint64(settings.m_nTapeLengthMm));
    json.Add("m_strPageFileFormat", settings.m_strPageFileFormat);
    json.Add("m_nCopies", qint64(settings.m_nCopies));
    json.Add("m_strTapeWidth", settings.m_strTapeWidth);
    json.Add("m_strTapeLength", settings.m_strTapeLength);
    json.Add("m_strDocName", settings.m_strDocName);
    json.Add("m_nDpi", qint64(settings.m_nDpi));
    json.Add("m_nOrientation", qint64(settings.m_nOrientation));
    json.Add("m_nPageCount", qint64(settings.m_nPageCount));
    json.Add("m_strPageFilePattern", settings.m_strPageFilePattern);
    return json;
}

int RunJobReport(const QString &jobFile)
{
    CJobSettings settings;
    const int nResult = settings.ReadJobFile(jobFile);
    const QByteArray json = JobSettingsJson(nResult, settings).ToJson();
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return nResult == 0 ? 0 : 1;
}
