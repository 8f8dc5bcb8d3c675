// CWistrelToolTipCtrl: registering tools, showing and hiding the tip and drawing it.
#include "frame/WistrelToolTipCtrl.h"

#include <QApplication>
#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QToolTip>

namespace {

constexpr int kRepaintDelayMs = 20;
constexpr int kShowTimeMs = 10000;
constexpr int kMargin = 4;
// The tip sits below and right of the pointer, clear of the cursor image.
constexpr QPoint kOffsetFromPointer(2, 16);
// The label as it is drawn, one line per line break of the text; the size is measured the same way.
constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignVCenter;

} // namespace

CWistrelToolTipCtrl::CWistrelToolTipCtrl(QWidget *parent)
    : QWidget(parent, Qt::ToolTip | Qt::BypassGraphicsProxyWidget | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("CWistrelToolTipCtrl"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAutoFillBackground(true);
    m_repaintTimer.setSingleShot(true);
    m_repaintTimer.setInterval(kRepaintDelayMs);
    connect(&m_repaintTimer, &QTimer::timeout, this, &CWistrelToolTipCtrl::OnRepaintTimer);
    m_hideTimer.setSingleShot(true);
    m_hideTimer.setInterval(kShowTimeMs);
    connect(&m_hideTimer, &QTimer::timeout, this, &CWistrelToolTipCtrl::HideTip);
}

CWistrelToolTipCtrl::~CWistrelToolTipCtrl() = default;

void CWistrelToolTipCtrl::AddTool(QWidget *tool)
{
    if (tool)
        tool->installEventFilter(this);
}

bool CWistrelToolTipCtrl::eventFilter(QObject *watched, QEvent *event)
{
    auto *tool = qobject_cast<QWidget *>(watched);
    if (!tool)
        return false;
    switch (event->type()) {
    case QEvent::ToolTip: {
        const auto *help = static_cast<QHelpEvent *>(event);
        if (tool->toolTip().isEmpty()) {
            HideTip();
            return false;
        }
        ShowTip(tool, help->globalPos(), tool->toolTip());
        return true;
    }
    case QEvent::Leave:
    case QEvent::Hide:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::FocusOut:
        if (m_pTool == tool)
            HideTip();
        return false;
    default:
        return false;
    }
}

void CWistrelToolTipCtrl::ShowTip(QWidget *tool, const QPoint &globalPos, const QString &text)
{
    m_pTool = tool;
    m_strLabel = text;
    OnShow(globalPos);
}

void CWistrelToolTipCtrl::HideTip()
{
    m_repaintTimer.stop();
    m_hideTimer.stop();
    m_pTool = nullptr;
    hide();
}

void CWistrelToolTipCtrl::OnShow(const QPoint &globalPos)
{
    if (m_bVislManagerTheme)
        ApplyTheme();

    const QFontMetrics metrics(LabelFont());
    const QSize textSize = metrics.size(kTextFlags, m_strLabel);
    resize(textSize + QSize(2 * kMargin, 2 * kMargin));

    // Keep the tip on the screen under the pointer.
    QPoint topLeft = globalPos + kOffsetFromPointer;
    if (QScreen *screen = QGuiApplication::screenAt(globalPos)) {
        const QRect area = screen->availableGeometry();
        if (topLeft.x() + width() > area.right() + 1)
            topLeft.setX(area.right() + 1 - width());
        if (topLeft.y() + height() > area.bottom() + 1)
            topLeft.setY(globalPos.y() - height() - 2);
        topLeft.setX(qMax(topLeft.x(), area.left()));
        topLeft.setY(qMax(topLeft.y(), area.top()));
    }
    move(topLeft);
    show();
    raise();
    m_hideTimer.start();
    m_repaintTimer.start();
}

void CWistrelToolTipCtrl::OnRepaintTimer()
{
    // The whole tip, background included (autoFillBackground), is painted afresh.
    update(rect());
}

void CWistrelToolTipCtrl::ApplyTheme()
{
    setPalette(QToolTip::palette());
    setFont(QToolTip::font());
}

QFont CWistrelToolTipCtrl::LabelFont() const
{
    QFont labelFont = font();
    labelFont.setBold(m_bBoldLabel);
    return labelFont;
}

void CWistrelToolTipCtrl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    style()->drawPrimitive(QStyle::PE_PanelTipLabel, &frame, &painter, this);
    painter.setFont(LabelFont());
    painter.setPen(palette().color(QPalette::ToolTipText));
    painter.drawText(rect().adjusted(kMargin, kMargin, -kMargin, -kMargin), kTextFlags, m_strLabel);
}
