// CViewKeys: the event filter that turns the scrolling keys into scrolls of the page view.
#include "view/ViewKeys.h"

#include "view/ChildView.h"
#include "view/KeyScroll.h"

#include <QKeyEvent>
#include <QScrollBar>

CViewKeys::CViewKeys(CChildView *view) : QObject(view), m_pView(view)
{
    setObjectName(QStringLiteral("CViewKeys"));
    view->installEventFilter(this);
}

bool CViewKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_pView || event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->modifiers() & ~Qt::KeypadModifier)
        return false;
    bool bHorz = false;
    bool bVert = false;
    m_pView->CheckScrollBars(bHorz, bVert);
    QSize total;
    QSize page;
    QSize line;
    m_pView->GetDeviceScrollSizes(total, page, line);
    const QSize range(m_pView->horizontalScrollBar()->maximum(), m_pView->verticalScrollBar()->maximum());
    QSize delta;
    if (!KeyScroll(key->key(), bHorz, bVert, line, page, m_pView->GetScrollPosition(), range, delta))
        return false;
    if (!delta.isNull())
        m_pView->OnScrollBy(delta);
    return true;
}
