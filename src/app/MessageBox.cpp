// The preview's message boxes shown, written to standard error or handed to the test seam.
#include "app/MessageBox.h"

#include "res/Resource.h"
#include "res/StringTable.h"

#include <QMessageBox>
#include <QPointer>
#include <QVector>

#include <cstdio>

namespace {

MessageBoxHook &Hook()
{
    static MessageBoxHook hook;
    return hook;
}

bool g_bOnStandardError = false;

QVector<QPointer<QMessageBox>> &OpenBoxes()
{
    static QVector<QPointer<QMessageBox>> boxes;
    return boxes;
}

QMessageBox::Icon IconOf(unsigned flags)
{
    switch (flags & MB_ICONMASK) {
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case 0x10:
        return QMessageBox::Critical;
    case 0x40:
        return QMessageBox::Information;
    default:
        return QMessageBox::Warning;
    }
}

} // namespace

int AfxMessageBox(const QString &text, unsigned flags, QWidget *owner)
{
    MessageBoxRequest request{LoadResString(AFX_IDS_APP_TITLE), text, flags, owner};
    if (Hook())
        return Hook()(request);
    if (g_bOnStandardError) {
        const QString line = QStringLiteral("corvane-preview: ") + request.caption + QStringLiteral(": ") +
                             QString(text).replace(u'\n', u' ') + u'\n';
        std::fputs(line.toUtf8().constData(), stderr);
        return (flags & 0xF) == MB_YESNO ? IDNO : IDOK;
    }

    QMessageBox box(IconOf(flags), request.caption, text, QMessageBox::NoButton, owner);
    const bool yesNo = (flags & 0xF) == MB_YESNO;
    if (yesNo) {
        box.addButton(QMessageBox::Yes);
        box.addButton(QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.addButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
    box.setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
    if (!owner || (flags & MB_SYSTEMMODAL))
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.setObjectName(QStringLiteral("corvane-message-box"));

    OpenBoxes().append(&box);
    const int answer = box.exec();
    OpenBoxes().removeAll(QPointer<QMessageBox>());
    OpenBoxes().removeAll(QPointer<QMessageBox>(&box));

    if (answer == QMessageBox::Yes)
        return IDYES;
    if (answer == QMessageBox::No)
        return IDNO;
    if (answer == QMessageBox::Ok)
        return IDOK;
    return IDCANCEL;
}

void ShowMessageBoxesOnStandardError()
{
    g_bOnStandardError = true;
}

void AbortMessageBoxes()
{
    const auto boxes = OpenBoxes();
    for (const QPointer<QMessageBox> &box : boxes) {
        if (box)
            box->done(-1);
    }
}

void SetMessageBoxHook(MessageBoxHook hook)
{
    Hook() = std::move(hook);
}
