#include "app/DriverLink.h"

struct CDriverLink::Impl {
    CDriverLink::Receiver receiver;
};

CDriverLink::CDriverLink() : m_pImpl(new Impl) {}

CDriverLink::~CDriverLink()
{
    delete m_pImpl;
}

void CDriverLink::Attach(quint64) {}

bool CDriverLink::IsConnected() const
{
    return false;
}

void CDriverLink::Post(quint32, quint64, qint64) {}

qint64 CDriverLink::Send(quint32, quint64, qint64)
{
    return 0;
}

bool CDriverLink::IsWaiting() const
{
    return false;
}

bool CDriverLink::LastSendAborted() const
{
    return false;
}

void CDriverLink::SetReceiver(Receiver receiver)
{
    m_pImpl->receiver = std::move(receiver);
}
