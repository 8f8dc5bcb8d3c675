// Building the preview window: title, icon, page view, toolbar with the zoom and page boxes, status panes.
#include "frame/MainFrame.h"

#include "app/CorvaneApp.h"
#include "frame/Artwork.h"
#include "frame/FrameAccessibility.h"
#include "frame/FrameKeys.h"
#include "frame/PaneWidth.h"
#include "frame/TapeUseTip.h"
#include "frame/WistrelToolTipCtrl.h"
#include "frame/ZoomText.h"
#include "res/Format.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "view/ChildView.h"
#include "view/Loupe.h"
#include "view/ViewKeys.h"

#include <QAction>
#include <QComboBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

#include <iterator>

namespace {

constexpr int kButtonSize = 24;
constexpr int kToolbarImages = 6;
constexpr int kZoomBoxWidth = 120;
constexpr int kPageBoxWidth = 40;

// The nine positions of toolbar 128; id 0 is a separator. Each non-separator position has the next
// image of the strip; the zoom and page positions are replaced by their boxes.
constexpr int kToolbarPositions[] = {
    ID_FILE_PRINT, 0, ID_ZOOM_COMBO, 0, ID_PAGE_PREV, ID_PAGE_EDIT, ID_PAGE_NEXT, 0, ID_APP_EXIT,
};

struct ZoomPreset {
    int nStringId;
    int nPercent;
};
// Percents fall strictly from the first row to the ninth; the whole label is last.
constexpr ZoomPreset kZoomPresets[] = {
    {IDS_ZOOM_600, 600}, {IDS_ZOOM_400, 400},        {IDS_ZOOM_300, 300}, {IDS_ZOOM_200, 200},
    {IDS_ZOOM_150, 150}, {IDS_ZOOM_100, 100},        {IDS_ZOOM_75, 75},   {IDS_ZOOM_50, 50},
    {IDS_ZOOM_25, 25},   {IDS_ZOOM_WHOLE_LABEL, -1},
};

struct PaneRow {
    int nID;
    const char16_t *name; // object name, for the driver side and assistive technology
    int nWidth;           // pixels; 0 or less: a quarter of the screen width
};
// Pane 2 (tape width) is measured on its text instead.
constexpr PaneRow kPanes[] = {
    {ID_INDICATOR_PAGE, u"ID_INDICATOR_PAGE", 140},
    {ID_INDICATOR_COPIES, u"ID_INDICATOR_COPIES", 100},
    {ID_INDICATOR_TAPEWIDTH, u"ID_INDICATOR_TAPEWIDTH", 0},
    {ID_INDICATOR_TAPELENGTH, u"ID_INDICATOR_TAPELENGTH", 200},
    {ID_INDICATOR_BLANK, u"ID_INDICATOR_BLANK", 0},
};

// A status pane: its width is the width given to it (plus its frame), however long its text; it can
// still shrink when the window is narrower than all panes together, as a clipped pane would.
class PaneLabel : public QLabel {
public:
    using QLabel::QLabel;
    void SetPaneWidth(int nWidth)
    {
        m_nWidth = nWidth;
        updateGeometry();
    }
    QSize sizeHint() const override
    {
        return QSize(m_nWidth + 2 * frameWidth(), QLabel::sizeHint().height());
    }
    QSize minimumSizeHint() const override { return QSize(0, QLabel::minimumSizeHint().height()); }

private:
    int m_nWidth = 0;
};

// Qt reads "[*]" in a window title as the modified mark; doubled it stands for itself, so the title
// shows the document name as it is.
QString LiteralWindowTitle(const QString &title)
{
    QString escaped = title;
    escaped.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    return escaped;
}

} // namespace

bool CMainFrame::PreCreateWindow()
{
    // No menu bar, no context menu of Qt's own on the bars.
    if (menuWidget())
        setMenuWidget(nullptr);
    setContextMenuPolicy(Qt::NoContextMenu);
    return true;
}

int CMainFrame::OnCreate()
{
    setWindowIcon(CorvaneAppIcon());
    setWindowTitle(LiteralWindowTitle(
        FormatResString(IDS_TITLE_FORMAT, {LoadResString(AFX_IDS_APP_TITLE), theApp.m_strDocName})));

    auto *view = new CChildView(this);
    view->setObjectName(QStringLiteral("AFX_IDW_PANE_FIRST"));
    setCentralWidget(view);
    UpdateBusyCursor();

    if (!CreateToolBar())
        return -1;
    if (!CreateStatusBar())
        return -1;

    // The toolbar floats by its handle and docks again, along the top edge only.
    m_wndToolBar->setAllowedAreas(Qt::TopToolBarArea);
    m_wndToolBar->setMovable(true);
    m_wndToolBar->setFloatable(true);
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);

    ConnectEventTable();
    // The view's scrolling keys and loupe; the window's keys, accessibility and tape-use tooltip.
    new CViewKeys(view);
    new CLoupe(view);
    m_pKeys = new CFrameKeys(this);
    m_pAccessibility = new CFrameAccessibility(this);
    m_pTapeUseTip = new CTapeUseTip(this);
    AnnounceToDriver();
    return 0;
}

bool CMainFrame::CreateToolBar()
{
    const QPixmap strip = ToolbarStrip();
    if (strip.size() != QSize(kToolbarImages * kButtonSize, kButtonSize))
        return false;

    m_wndToolBar = new QToolBar(this);
    m_wndToolBar->setObjectName(QStringLiteral("AFX_IDW_TOOLBAR"));
    m_wndToolBar->setWindowTitle(LoadResString(IDS_TOOLBAR_STANDARD));
    m_wndToolBar->setAccessibleName(LoadResString(IDS_TOOLBAR_STANDARD));
    m_wndToolBar->setIconSize(QSize(kButtonSize, kButtonSize));
    m_pToolTip = new CWistrelToolTipCtrl(this);

    int nImage = 0;
    for (const int nID : kToolbarPositions) {
        if (nID == 0) {
            m_wndToolBar->addSeparator();
            continue;
        }
        const QString label = ResTooltipLabel(nID);
        QWidget *tool = nullptr;
        if (nID == ID_ZOOM_COMBO) {
            m_pZoomBox = new QComboBox(m_wndToolBar);
            m_pZoomBox->setObjectName(QStringLiteral("ID_ZOOM_COMBO"));
            m_pZoomBox->setEditable(true);
            // The list stays the ten presets: no confirmed text is added, and no completion fills in
            // an entry while the user types a percent.
            m_pZoomBox->setInsertPolicy(QComboBox::NoInsert);
            m_pZoomBox->setCompleter(nullptr);
            m_pZoomBox->setFixedWidth(kZoomBoxWidth);
            m_pZoomBox->setMaxVisibleItems(int(std::size(kZoomPresets)));
            m_pZoomBox->clear();
            for (const ZoomPreset &preset : kZoomPresets) {
                m_pZoomBox->addItem(LoadResString(preset.nStringId), preset.nPercent);
                if (preset.nPercent == m_nZoom)
                    SelectZoomItem(m_pZoomBox->count() - 1);
            }
            tool = m_pZoomBox;
            m_wndToolBar->addWidget(m_pZoomBox);
        } else if (nID == ID_PAGE_EDIT) {
            m_pPageBox = new QLineEdit(m_wndToolBar);
            m_pPageBox->setObjectName(QStringLiteral("ID_PAGE_EDIT"));
            m_pPageBox->setFixedWidth(kPageBoxWidth);
            m_pPageBox->setAlignment(Qt::AlignCenter);
            m_pPageBox->setText(FormatString(u"%d", {m_nCurPage}));
            tool = m_pPageBox;
            m_wndToolBar->addWidget(m_pPageBox);
        } else {
            QAction *action = m_wndToolBar->addAction(
                QIcon(strip.copy(nImage * kButtonSize, 0, kButtonSize, kButtonSize)), label);
            action->setObjectName(QString::number(nID));
            action->setToolTip(label);
            m_commandActions.insert(nID, action);
            tool = m_wndToolBar->widgetForAction(action);
        }
        // The tooltip is also the control's description for assistive technology.
        tool->setToolTip(label);
        tool->setAccessibleName(label);
        m_pToolTip->AddTool(tool);
        ++nImage;
    }
    return true;
}

bool CMainFrame::CreateStatusBar()
{
    m_wndStatusBar = new QStatusBar(this);
    m_wndStatusBar->setObjectName(QStringLiteral("AFX_IDW_STATUS_BAR"));
    setStatusBar(m_wndStatusBar);

    // Permanent panes only: a temporary message would hide them, and the window has no message pane.
    for (const PaneRow &row : kPanes) {
        auto *pane = new PaneLabel(m_wndStatusBar);
        pane->setTextFormat(Qt::PlainText);
        pane->setText(LoadResString(row.nID));
        pane->setObjectName(QString::fromUtf16(row.name));
        const bool stretch = row.nID == ID_INDICATOR_BLANK;
        pane->setFrameStyle(stretch ? QFrame::NoFrame : QFrame::StyledPanel | QFrame::Sunken);
        pane->setSizePolicy(stretch ? QSizePolicy::Expanding : QSizePolicy::Preferred,
                            QSizePolicy::Preferred);
        m_wndStatusBar->addPermanentWidget(pane, stretch ? 1 : 0);
        m_panes.append(pane);
    }

    const int nScreenWidth = screen() ? screen()->geometry().width() : 0;
    for (const PaneRow &row : kPanes) {
        auto *pane = static_cast<PaneLabel *>(GetPane(row.nID));
        const QString label = LoadResString(row.nID);
        switch (row.nID) {
        case ID_INDICATOR_PAGE:
            // The current page of a new window is 1.
            SetPaneText(row.nID, FormatResString(IDS_PANE_PAGE_FORMAT, {label, 1, theApp.m_nPageCount}));
            break;
        case ID_INDICATOR_COPIES:
            SetPaneText(row.nID, FormatResString(IDS_PANE_COPIES_FORMAT, {label, theApp.m_nCopies}));
            break;
        case ID_INDICATOR_TAPEWIDTH:
            SetPaneText(row.nID, FormatResString(IDS_PANE_TAPEWIDTH_FORMAT, {label, theApp.m_strTapeWidth}));
            break;
        case ID_INDICATOR_TAPELENGTH:
            SetPaneText(row.nID,
                        FormatResString(IDS_PANE_TAPELENGTH_FORMAT, {label, theApp.m_strTapeLength}));
            break;
        default:
            break;
        }
        if (row.nID == ID_INDICATOR_TAPEWIDTH) {
            const QString text = pane->text();
            pane->SetPaneWidth(
                PaneWidthForText(pane->fontMetrics().horizontalAdvance(text), int(text.size())));
        } else {
            pane->SetPaneWidth(PaneWidthFromTable(row.nWidth, nScreenWidth));
        }
        pane->setAccessibleName(pane->text());
    }
    return true;
}

void CMainFrame::SetPaneText(int nID, const QString &text)
{
    if (QLabel *pane = GetPane(nID)) {
        pane->setText(text);
        pane->setAccessibleName(text);
        pane->repaint();
    }
    if (m_pTapeUseTip)
        m_pTapeUseTip->Refresh();
}
