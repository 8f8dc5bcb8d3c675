// CLoupe: showing, moving and painting the lens over the page view.
#include "view/Loupe.h"

#include "app/CorvaneApp.h"
#include "view/ChildView.h"
#include "view/LoupeGeometry.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

using namespace LoupeGeometry;

namespace {

const QColor kOutsideColor(224, 224, 224);
const QColor kGridColor(128, 160, 224);
const QColor kBorderColor(64, 64, 64);
const QColor kCentreColor(220, 32, 32);

LoupeGeometry::ViewState StateOf(const CChildView &view)
{
    ViewState state;
    state.nOrientation = theApp.m_nOrientation;
    state.nTapeWidthMm = theApp.m_nTapeWidthMm;
    state.nTapeLengthMm = theApp.m_nTapeLengthMm;
    state.nLogUnitsPerInch = view.m_nLogUnitsPerInch;
    state.nDpi = theApp.m_nDpi;
    state.image = QSize(view.m_image.GetWidth(), view.m_image.GetHeight());
    state.extent = view.GetLabelExtent();
    state.dScale = view.m_dScale;
    state.nScreenDpiX = view.ScreenDpiX();
    state.nScreenDpiY = view.ScreenDpiY();
    state.scroll = view.GetScrollPosition();
    return state;
}

} // namespace

CLoupe::CLoupe(CChildView *view) : QWidget(view->viewport()), m_pView(view)
{
    setObjectName(QStringLiteral("CLoupe"));
    // The pointer's moves go on reaching the viewport through the lens.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    hide();
    view->viewport()->installEventFilter(this);
    view->installEventFilter(this);
}

CLoupe::~CLoupe() = default;

void CLoupe::ShowAt(const QPoint &pointer)
{
    m_ptPointer = pointer;
    Place();
    if (!m_rcLens.isEmpty() && !isVisible()) {
        raise();
        show();
    }
}

void CLoupe::HideLens()
{
    m_bByButton = false;
    EndSpace();
    hide();
}

void CLoupe::Place()
{
    QWidget *viewport = m_pView->viewport();
    const double dpr = viewport->devicePixelRatioF();
    const ViewState state = StateOf(*m_pView);
    const QRect page = PageDeviceRect(state, dpr);
    const QRect lens = LensRect(m_ptPointer, viewport->size());
    const int nLensDevice = int(std::floor(lens.width() * dpr));
    const int nMagnification = Magnification(nLensDevice, ViewDevicePixelsPerDot(state, dpr));
    const int nDots = DotsAcross(nLensDevice, nMagnification);
    const QPoint centre = DotAt(QPointF(m_ptPointer), dpr, page, state.image);
    // The lens is exactly its cells: nDots x nMagnification device pixels, centred where LensRect put it.
    const int nSide = int(std::ceil(nDots * nMagnification / dpr));
    QRect rc(0, 0, nSide, nSide);
    rc.moveCenter(lens.center());
    const qint64 nImageKey = m_pView->m_image.Image().cacheKey();
    const bool changed = nMagnification != m_nMagnification || nDots != m_nDots || centre != m_ptCentreDot ||
                         nImageKey != m_nImageKey;
    m_nMagnification = nMagnification;
    m_bGrid = nMagnification >= kGridMagnification;
    m_nDots = nDots;
    m_ptCentreDot = centre;
    m_nImageKey = nImageKey;
    m_rcLens = lens.isEmpty() ? QRect() : rc;
    if (m_rcLens.isEmpty()) {
        hide();
        return;
    }
    if (geometry() != m_rcLens)
        setGeometry(m_rcLens);
    if (changed)
        update();
}

QRect CLoupe::CentreCell() const
{
    const int nHalf = m_nDots / 2;
    return QRect(nHalf * m_nMagnification, nHalf * m_nMagnification, m_nMagnification, m_nMagnification);
}

void CLoupe::paintEvent(QPaintEvent *)
{
    const double dpr = devicePixelRatioF();
    const int nCells = m_nDots * m_nMagnification;
    const QSize device(int(std::ceil(width() * dpr)), int(std::ceil(height() * dpr)));
    QImage lens(device, QImage::Format_RGB32);
    lens.fill(kBorderColor);
    const QImage &page = m_pView->m_image.Image();
    const int nHalf = m_nDots / 2;
    {
        QPainter cells(&lens);
        for (int j = 0; j < m_nDots; ++j) {
            for (int i = 0; i < m_nDots; ++i) {
                const int x = m_ptCentreDot.x() - nHalf + i;
                const int y = m_ptCentreDot.y() - nHalf + j;
                const QColor color = page.valid(x, y) ? QColor(page.pixel(x, y)) : kOutsideColor;
                cells.fillRect(i * m_nMagnification, j * m_nMagnification, m_nMagnification, m_nMagnification,
                               color);
            }
        }
        if (m_bGrid) {
            // One device pixel on each cell's leading edges.
            for (int k = 1; k < m_nDots; ++k) {
                cells.fillRect(k * m_nMagnification, 0, 1, nCells, kGridColor);
                cells.fillRect(0, k * m_nMagnification, nCells, 1, kGridColor);
            }
        }
        // The dot under the pointer: a frame one device pixel wide inside its cell.
        const QRect centre = CentreCell();
        cells.setPen(Qt::NoPen);
        cells.setBrush(kCentreColor);
        cells.drawRect(centre.left(), centre.top(), centre.width(), 1);
        cells.drawRect(centre.left(), centre.bottom(), centre.width(), 1);
        cells.drawRect(centre.left(), centre.top(), 1, centre.height());
        cells.drawRect(centre.right(), centre.top(), 1, centre.height());
    }
    // The lens's edge: a dark frame two device pixels wide over the outer cells, so the lens stands
    // apart from the page around it.
    {
        QPainter edge(&lens);
        edge.setPen(Qt::NoPen);
        edge.setBrush(kBorderColor);
        const int w = lens.width();
        const int h = lens.height();
        edge.drawRect(0, 0, w, 2);
        edge.drawRect(0, h - 2, w, 2);
        edge.drawRect(0, 0, 2, h);
        edge.drawRect(w - 2, 0, 2, h);
    }
    QPainter painter(this);
    painter.setWorldTransform(QTransform::fromScale(1.0 / dpr, 1.0 / dpr));
    painter.drawImage(0, 0, lens);
}

bool CLoupe::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_pView->viewport())
        return OnViewportEvent(event);
    if (watched == m_pView)
        return OnViewKey(event);
    return false;
}

bool CLoupe::OnViewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::MiddleButton)
            return false;
        if (m_pView->m_image.IsNull())
            return true;
        m_bByButton = true;
        ShowAt(mouse->position().toPoint());
        return true;
    }
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (m_bByButton || m_bBySpace)
            ShowAt(mouse->position().toPoint());
        return m_bByButton;
    }
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::MiddleButton)
            return false;
        m_bByButton = false;
        if (!m_bBySpace)
            hide();
        return true;
    }
    case QEvent::Paint:
    case QEvent::Resize:
        // A zoom, page or scroll change while the lens is up: the dots under the pointer follow.
        if (isVisible())
            Place();
        return false;
    default:
        return false;
    }
}

bool CLoupe::OnViewKey(QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        if (m_bBySpace && !m_bByButton)
            hide();
        EndSpace();
        return false;
    }
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Space)
        return false;
    if (event->type() == QEvent::KeyPress) {
        if (key->isAutoRepeat())
            return m_bBySpace;
        if (!(key->modifiers() & Qt::ShiftModifier) || m_pView->m_image.IsNull())
            return false;
        QWidget *viewport = m_pView->viewport();
        const QPoint pointer = viewport->mapFromGlobal(QCursor::pos());
        if (!viewport->rect().contains(pointer))
            return false;
        m_bBySpace = true;
        m_bTrackingBefore = viewport->hasMouseTracking();
        viewport->setMouseTracking(true);
        ShowAt(pointer);
        return true;
    }
    if (!m_bBySpace)
        return false;
    if (key->isAutoRepeat())
        return true;
    EndSpace();
    if (!m_bByButton)
        hide();
    return true;
}

void CLoupe::EndSpace()
{
    if (!m_bBySpace)
        return;
    m_bBySpace = false;
    m_pView->viewport()->setMouseTracking(m_bTrackingBefore);
}
