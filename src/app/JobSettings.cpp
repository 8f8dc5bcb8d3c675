// The job settings, read from the job file key by key, each checked as it is read.
#include "app/JobSettings.h"

#include "app/IniReader.h"
#include "link/PageFileName.h"

namespace {

// The buffer the string keys are read into: 259 characters and the terminating NUL.
constexpr int StringCapacity = 260;

enum : int {
    ERR_MAX_TAPE_WIDTH = 267,
    ERR_MAX_TAPE_LENGTH = 275,
    ERR_FILE_PATH = 285,
    ERR_FILE_NAME = 294,
    ERR_COPIES = 305,
    ERR_TAPE_WIDTH = 314,
    ERR_TAPE_LENGTH = 323,
    ERR_DOC_NAME = 332,
    ERR_DPI = 340,
    ERR_ORIENTATION = 349,
};

} // namespace

int CJobSettings::ReadJobFile(const QString &path)
{
    const CIniReader ini = CIniReader::FromFile(path);
    const QStringView drvspec = u"DRVSPEC";
    const QStringView bmpfile = u"BMPFILE";
    const auto readInt = [&ini](QStringView section, QStringView key) { return ini.GetInt(section, key, 0); };
    const auto readString = [&ini](QStringView section, QStringView key) {
        return ini.GetString(section, key, QString(), StringCapacity);
    };

    // Each value is stored as soon as it is accepted, so a failure leaves the earlier keys' values
    // in place and every later member as it was.
    const int nTapeWidth = readInt(drvspec, u"MaxTapeWidth");
    if (nTapeWidth == 0)
        return ERR_MAX_TAPE_WIDTH;
    m_nTapeWidthMm = nTapeWidth;

    const int nTapeLength = readInt(drvspec, u"MaxTapeLength");
    if (nTapeLength == 0)
        return ERR_MAX_TAPE_LENGTH;
    m_nTapeLengthMm = nTapeLength;

    const QString strFilePath = readString(bmpfile, u"FilePath");
    if (strFilePath.isEmpty())
        return ERR_FILE_PATH;
    m_strPageFileFormat = strFilePath;

    const QString strFileName = readString(bmpfile, u"FileName");
    if (strFileName.isEmpty())
        return ERR_FILE_NAME;
    // Plain concatenation: FilePath carries its own trailing separator.
    m_strPageFileFormat += strFileName;
    m_strPageFilePattern = PageFilePattern(m_strPageFileFormat);
    m_strPageFileFormat = PageFileFormat(m_strPageFileFormat);

    const int nCopies = readInt(bmpfile, u"Copies");
    if (nCopies == 0)
        return ERR_COPIES;
    m_nCopies = nCopies;

    const QString strTapeWidth = readString(bmpfile, u"TapeWidth");
    if (strTapeWidth.isEmpty())
        return ERR_TAPE_WIDTH;
    m_strTapeWidth = strTapeWidth;

    const QString strTapeLength = readString(bmpfile, u"TapeLength");
    if (strTapeLength.isEmpty())
        return ERR_TAPE_LENGTH;
    m_strTapeLength = strTapeLength;

    const QString strDocName = readString(bmpfile, u"DocName");
    if (strDocName.isEmpty())
        return ERR_DOC_NAME;
    m_strDocName = strDocName;

    const int nDpi = readInt(bmpfile, u"DPI");
    if (nDpi == 0)
        return ERR_DPI;
    m_nDpi = nDpi;

    const int nOrientation = readInt(bmpfile, u"Orientation");
    if (nOrientation != 1 && nOrientation != 2)
        return ERR_ORIENTATION;
    m_nOrientation = nOrientation;

    return 0;
}
