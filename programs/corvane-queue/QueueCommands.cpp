// CQueueCommands: adding, removing and listing preview queues, the wrapped queue's settings taken over.
#include "QueueCommands.h"

#include "CupsClient.h"
#include "cups/PreviewPpd.h"

#include <QHash>
#include <QList>

#include <cstdio>

namespace {

int Fail(const QString &why)
{
    std::fprintf(stderr, "corvane-queue: %s\n", why.toLocal8Bit().constData());
    return 1;
}

QString Text(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

QByteArray StringOf(ipp_t *ipp, const char *name)
{
    ipp_attribute_t *attr = ippFindAttribute(ipp, name, IPP_TAG_ZERO);
    const char *value = attr ? ippGetString(attr, 0, nullptr) : nullptr;
    return value ? QByteArray(value) : QByteArray();
}

// Settings of the queue that the preview queue takes over: where it stands, who may print and how much,
// what happens on errors, and the defaults kept on the server rather than in the PPD.
const char *const kCopied[] = {"printer-location",
                               "printer-is-shared",
                               "printer-error-policy",
                               "printer-op-policy",
                               "requesting-user-name-allowed",
                               "requesting-user-name-denied",
                               "job-quota-period",
                               "job-k-limit",
                               "job-page-limit"};

// Defaults the scheduler reports from the PPD's own defaults; the preview PPD carries those. The scheduler
// reports such a name twice when a server-side default overrides the PPD's; only then is it copied. (The
// notify- defaults are the scheduler's own and never copied.)
const char *const kFromPpd[] = {
    "media-default",      "media-col-default",        "media-source-default",   "media-type-default",
    "output-bin-default", "print-color-mode-default", "print-quality-default",  "printer-resolution-default",
    "sides-default",      "finishings-default",       "document-format-default"};

bool Contains(const char *const *list, size_t count, const char *name)
{
    for (size_t i = 0; i < count; ++i)
        if (qstrcmp(list[i], name) == 0)
            return true;
    return false;
}

void CopySettings(ipp_t *original, ipp_t *request)
{
    QHash<QByteArray, int> seen;
    for (ipp_attribute_t *attr = ippFirstAttribute(original); attr; attr = ippNextAttribute(original))
        if (ippGetName(attr))
            ++seen[ippGetName(attr)];
    QHash<QByteArray, bool> copied;
    for (ipp_attribute_t *attr = ippFirstAttribute(original); attr; attr = ippNextAttribute(original)) {
        const char *name = ippGetName(attr);
        if (!name || ippGetGroupTag(attr) != IPP_TAG_PRINTER || copied.value(name))
            continue;
        const QByteArray key(name);
        const ipp_tag_t tag = ippGetValueTag(attr);
        const bool setting = Contains(kCopied, std::size(kCopied), name);
        const bool serverDefault = key.endsWith("-default") && !key.startsWith("notify-") &&
                                   tag != IPP_TAG_NOVALUE && tag != IPP_TAG_BEGIN_COLLECTION &&
                                   (!Contains(kFromPpd, std::size(kFromPpd), name) || seen.value(key) > 1);
        if (setting || serverDefault) {
            ippCopyAttribute(request, attr, 0);
            copied[key] = true;
        }
    }
}

} // namespace

QString CQueueCommands::NameProblem(const QByteArray &name)
{
    if (name.isEmpty())
        return QStringLiteral("a queue name cannot be empty");
    if (name.size() > 127)
        return QStringLiteral("a queue name holds at most 127 bytes; %1 has %2")
            .arg(Text(name))
            .arg(name.size());
    for (const char c : name)
        if (static_cast<unsigned char>(c) <= ' ' || c == 127 || QByteArray("/\\?'\"#@").contains(c))
            return QStringLiteral(
                       "%1 cannot name a queue: no blanks, control characters or any of / \\ ? ' \" # @")
                .arg(Text(name));
    return {};
}

int CQueueCommands::Add(const QByteArray &queue, const QByteArray &requestedName)
{
    const QByteArray name = requestedName.isEmpty() ? queue + "-preview" : requestedName;
    for (const QByteArray &each : {queue, name})
        if (const QString problem = NameProblem(each); !problem.isEmpty())
            return Fail(problem);
    QString why;
    const IppPtr original = m_cups.Queue(queue, &why);
    if (!original)
        return Fail(why.isEmpty()
                        ? QStringLiteral("no queue named %1 (lpstat -p lists the queues)").arg(Text(queue))
                        : why);
    const QByteArray wrapped =
        StringOf(original.get(), "printer-name").isEmpty() ? queue : StringOf(original.get(), "printer-name");
    ipp_attribute_t *type = ippFindAttribute(original.get(), "printer-type", IPP_TAG_ENUM);
    if (type && (ippGetInteger(type, 0) & CUPS_PRINTER_CLASS))
        return Fail(QStringLiteral("%1 is a class of printers, not a printer").arg(Text(wrapped)));
    const QByteArray device = StringOf(original.get(), "device-uri");
    if (device.isEmpty())
        return Fail(QStringLiteral("%1 has no device URI (a remote queue?)").arg(Text(wrapped)));

    if (m_cups.Queue(name, &why))
        return Fail(QStringLiteral("a queue named %1 exists already: choose another name with --name")
                        .arg(Text(name)));
    if (!why.isEmpty())
        return Fail(why);

    const QByteArray ppd = m_cups.Ppd(wrapped, &why);
    if (ppd.isNull())
        return Fail(why.isEmpty()
                        ? QStringLiteral("%1 is a raw queue: it has no PPD, so jobs go to the device as "
                                         "they were sent and there is no printer filter to put a preview in "
                                         "front of")
                              .arg(Text(wrapped))
                        : why);
    const previewppd::Result preview = previewppd::Make(ppd, wrapped);
    if (!preview.refusal.isEmpty()) {
        if (!previewppd::Attribute(ppd, previewppd::kFilterKeyword).isNull())
            return Fail(QStringLiteral("%1 is a preview queue itself").arg(Text(wrapped)));
        return Fail(QStringLiteral("%1: %2").arg(Text(wrapped), preview.refusal));
    }

    IppPtr request = m_cups.AddRequest(name);
    ippAddString(request.get(), IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr, device.constData());
    QByteArray info = StringOf(original.get(), "printer-info");
    info = (info.isEmpty() ? wrapped : info) + " with preview";
    ippAddString(request.get(), IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-info", nullptr, info.constData());
    CopySettings(original.get(), request.get());
    ippAddBoolean(request.get(), IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
    ippAddInteger(request.get(), IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
    if (!m_cups.AddPrinter(name, std::move(request), preview.ppd, &why))
        return Fail(why);
    std::printf("added %s, the preview queue of %s\n", name.constData(), wrapped.constData());
    return 0;
}

int CQueueCommands::Remove(const QByteArray &name)
{
    if (const QString problem = NameProblem(name); !problem.isEmpty())
        return Fail(problem);
    QString why;
    const IppPtr queue = m_cups.Queue(name, &why);
    if (!queue)
        return Fail(why.isEmpty()
                        ? QStringLiteral("no queue named %1 (corvane-queue list lists the preview queues)")
                              .arg(Text(name))
                        : why);
    const QByteArray actual =
        StringOf(queue.get(), "printer-name").isEmpty() ? name : StringOf(queue.get(), "printer-name");
    const QByteArray ppd = m_cups.Ppd(actual, &why);
    if (!why.isEmpty())
        return Fail(why);
    if (previewppd::Attribute(ppd, previewppd::kFilterKeyword).isNull())
        return Fail(QStringLiteral("%1 is not a preview queue; corvane-queue removes only preview queues")
                        .arg(Text(actual)));
    if (!m_cups.DeletePrinter(actual, &why))
        return Fail(why);
    std::printf("removed %s\n", actual.constData());
    return 0;
}

int CQueueCommands::List()
{
    QString why;
    const IppPtr printers = m_cups.Printers(&why);
    if (!printers)
        return Fail(why);
    QList<QByteArray> names;
    QByteArray name;
    int type = 0;
    auto flush = [&]() {
        if (!name.isEmpty() && !(type & (CUPS_PRINTER_CLASS | CUPS_PRINTER_REMOTE)))
            names.append(name);
        name.clear();
        type = 0;
    };
    for (ipp_attribute_t *attr = ippFirstAttribute(printers.get()); attr;
         attr = ippNextAttribute(printers.get())) {
        const char *attrName = ippGetName(attr);
        if (!attrName)
            flush();
        else if (qstrcmp(attrName, "printer-name") == 0)
            name = ippGetString(attr, 0, nullptr);
        else if (qstrcmp(attrName, "printer-type") == 0)
            type = ippGetInteger(attr, 0);
    }
    flush();
    for (const QByteArray &queue : names) {
        const QByteArray ppd = m_cups.Ppd(queue, &why);
        if (!why.isEmpty())
            return Fail(why);
        if (previewppd::Attribute(ppd, previewppd::kFilterKeyword).isNull())
            continue;
        QByteArray wrapped = previewppd::Attribute(ppd, previewppd::kWrapsKeyword);
        if (wrapped.isEmpty())
            wrapped = "-";
        else if (!m_cups.Queue(wrapped, &why))
            wrapped += why.isEmpty() ? " (removed)" : "";
        if (!why.isEmpty())
            return Fail(why);
        std::printf("%s\t%s\n", queue.constData(), wrapped.constData());
    }
    return 0;
}
