// The X desktop of the end-to-end tests: Xvfb, the session's buses and openbox.
#include "XSession.h"

#include <QDeadlineTimer>
#include <QStandardPaths>
#include <QThread>

#include <X11/Xlib.h>

CXSession &CXSession::Instance()
{
    static CXSession session;
    return session;
}

CXSession::CXSession()
{
    Start();
}

void CXSession::Start()
{
    for (const char *program : {"Xvfb", "xdotool"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
            m_missing = QString::fromLatin1(program) +
                        QStringLiteral(" is not installed (scripts/setup.sh installs it)");
            return;
        }
    }

    // -displayfd: Xvfb picks a free display itself and writes its number.
    QString number;
    if (StartBackground(QStringLiteral("Xvfb"),
                        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                         QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                         QStringLiteral("tcp"), QStringLiteral("-noreset")},
                        &number) < 0) {
        m_broken = QStringLiteral("Xvfb did not start");
        return;
    }
    m_display = u':' + number;
    m_env.insert(QStringLiteral("DISPLAY"), m_display);

    if (!StartAccessibility())
        return;

    if (!QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty()) {
        m_wmPid = StartBackground(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        // Ready when it has claimed the screen.
        QDeadlineTimer deadline(5000);
        QString out;
        while (!deadline.hasExpired()) {
            if (RunWithEnvironment(m_env, QStringLiteral("xprop"),
                                   {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")},
                                   &out) == 0 &&
                out.contains(QStringLiteral("window id")))
                break;
            QThread::msleep(50);
        }
    }
}

int RunInSession(const QString &program, const QStringList &arguments, QString *output)
{
    return RunWithEnvironment(CXSession::Instance().Environment(), program, arguments, output);
}

bool SendDeleteWindow(quint64 window)
{
    Display *display = XOpenDisplay(CXSession::Instance().DisplayName().toLocal8Bit().constData());
    if (!display)
        return false;
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(window);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, static_cast<Window>(window), False, NoEventMask, &event);
    XFlush(display);
    XCloseDisplay(display);
    return sent != 0;
}
