#include "app/CorvaneApp.h"

#include "frame/MainFrame.h"

#include <QApplication>

CCorvaneApp theApp;

int CCorvaneApp::Run(int argc, char **argv)
{
    QApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    if (!arguments.isEmpty())
        arguments.removeFirst();
    if (InitInstance(arguments))
        application.exec();
    delete m_pMainWnd;
    m_pMainWnd = nullptr;
    return ExitInstance();
}

bool CCorvaneApp::InitInstance(const QStringList &)
{
    auto *frame = new CMainFrame;
    m_pMainWnd = frame;
    if (!frame->LoadFrame())
        return false;
    frame->show();
    return true;
}

int CCorvaneApp::ExitInstance()
{
    return 0;
}

void CCorvaneApp::OnAppAbout()
{
}
