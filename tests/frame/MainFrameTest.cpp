// The window as built: toolbar, zoom and page boxes, status panes, title, focus, tooltips, about box.
#include "FrameFixture.h"

#include "frame/AboutDlg.h"
#include "frame/WistrelToolTipCtrl.h"
#include "res/Resource.h"

#include <QElapsedTimer>
#include <QHelpEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolTip>
#include <QWidgetAction>
#include <QWindow>

namespace {

TEST_F(FrameTest, ToolbarHasTheNinePositions)
{
    QToolBar *bar = m_frame->m_wndToolBar;
    EXPECT_EQ(bar->windowTitle(), QStringLiteral("標準"));
    const QList<QAction *> actions = bar->actions();
    ASSERT_EQ(actions.size(), 9);
    EXPECT_EQ(actions[0], m_frame->GetCommand(ID_FILE_PRINT));
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(bar->widgetForAction(actions[2]), ZoomBox());
    EXPECT_TRUE(actions[3]->isSeparator());
    EXPECT_EQ(actions[4], m_frame->GetCommand(ID_PAGE_PREV));
    EXPECT_EQ(bar->widgetForAction(actions[5]), PageBox());
    EXPECT_EQ(actions[6], m_frame->GetCommand(ID_PAGE_NEXT));
    EXPECT_TRUE(actions[7]->isSeparator());
    EXPECT_EQ(actions[8], m_frame->GetCommand(ID_APP_EXIT));
    EXPECT_EQ(bar->iconSize(), QSize(24, 24));
    for (const int nID : {int(ID_FILE_PRINT), int(ID_PAGE_PREV), int(ID_PAGE_NEXT), int(ID_APP_EXIT)})
        EXPECT_FALSE(m_frame->GetCommand(nID)->icon().isNull()) << nID;

    // Floats by its handle and docks at the top edge only.
    EXPECT_EQ(m_frame->toolBarArea(bar), Qt::TopToolBarArea);
    EXPECT_EQ(bar->allowedAreas(), Qt::TopToolBarArea);
    EXPECT_TRUE(bar->isFloatable());
    EXPECT_TRUE(bar->isMovable());
    EXPECT_EQ(m_frame->menuWidget(), nullptr);
}

TEST_F(FrameTest, ZoomBoxHoldsTheTenPresets)
{
    QComboBox *box = ZoomBox();
    EXPECT_TRUE(box->isEditable());
    EXPECT_EQ(box->width(), 120);
    EXPECT_EQ(box->insertPolicy(), QComboBox::NoInsert);
    const QStringList texts = {QStringLiteral("600%"), QStringLiteral("400%"),
                               QStringLiteral("300%"), QStringLiteral("200%"),
                               QStringLiteral("150%"), QStringLiteral("100%"),
                               QStringLiteral("75%"),  QStringLiteral("50%"),
                               QStringLiteral("25%"),  QStringLiteral("ﾗﾍﾞﾙ全体を表示")};
    const int data[] = {600, 400, 300, 200, 150, 100, 75, 50, 25, -1};
    ASSERT_EQ(box->count(), 10);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(box->itemText(i), texts[i]);
        EXPECT_EQ(box->itemData(i).toInt(), data[i]);
    }
    EXPECT_EQ(box->currentIndex(), 5);
    EXPECT_EQ(box->lineEdit()->text(), QStringLiteral("100%"));
    EXPECT_EQ(m_frame->m_nZoom, 100);
}

TEST_F(FrameTest, PageBoxShowsOneCentred)
{
    QLineEdit *box = PageBox();
    EXPECT_EQ(box->text(), QStringLiteral("1"));
    EXPECT_EQ(box->width(), 40);
    EXPECT_EQ(box->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(box->validator(), nullptr);
    // Typed letters are filtered; digits go in.
    ClickInto(box);
    Type(box, QStringLiteral("4x-b 2"));
    EXPECT_EQ(box->text(), QStringLiteral("42"));
    // From an input method: full-width digits go in, other text does not.
    Type(box, QStringLiteral("\uFF41\uFF13\u3000"));
    EXPECT_EQ(box->text(), QStringLiteral("42\uFF13"));
}

TEST_F(FrameTest, PanesAfterConstruction)
{
    EXPECT_EQ(PaneText(ID_INDICATOR_PAGE), QStringLiteral("表示ページ : 1/5"));
    EXPECT_EQ(PaneText(ID_INDICATOR_COPIES), QStringLiteral("印刷部数 : 3"));
    EXPECT_EQ(PaneText(ID_INDICATOR_TAPEWIDTH), QStringLiteral("テープ幅 : 24mm"));
    // The job file's text until the first page change, though page 1 measures 70 mm as well.
    EXPECT_EQ(PaneText(ID_INDICATOR_TAPELENGTH), QStringLiteral("テープ長 : 70mm"));
    EXPECT_EQ(PaneText(ID_INDICATOR_BLANK), QStringLiteral(" "));

    // A temporary message does not hide the panes.
    m_frame->m_wndStatusBar->showMessage(QStringLiteral("x"));
    for (int nID = ID_INDICATOR_PAGE; nID <= ID_INDICATOR_BLANK; ++nID)
        EXPECT_TRUE(m_frame->GetPane(nID)->isVisible()) << nID;
}

TEST_F(FrameTest, PaneWidths)
{
    m_frame->resize(1600, 480);
    RunIdle();
    auto width = [this](int nID) { return m_frame->GetPane(nID)->contentsRect().width(); };
    EXPECT_EQ(width(ID_INDICATOR_PAGE), 140);
    EXPECT_EQ(width(ID_INDICATOR_COPIES), 100);
    EXPECT_EQ(width(ID_INDICATOR_TAPELENGTH), 200);
    QLabel *tapeWidth = m_frame->GetPane(ID_INDICATOR_TAPEWIDTH);
    const int cx = tapeWidth->fontMetrics().horizontalAdvance(tapeWidth->text());
    EXPECT_EQ(width(ID_INDICATOR_TAPEWIDTH), cx + cx / int(tapeWidth->text().size()) * 4);
    // The last pane: a quarter of the screen before it stretches over the rest, without a border.
    QLabel *blank = m_frame->GetPane(ID_INDICATOR_BLANK);
    EXPECT_EQ(blank->sizeHint().width(), m_frame->screen()->geometry().width() / 4);
    EXPECT_EQ(blank->frameWidth(), 0);
    EXPECT_GE(blank->width(), blank->sizeHint().width());
}

// The toolkit's own texts in the window are Japanese: a yes/no box's buttons and the context menus
// of the zoom and page boxes.
TEST_F(FrameTest, ToolkitTextsAreJapanese)
{
    QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No,
                    m_frame.get());
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));
    for (QLineEdit *edit : {PageBox(), ZoomBox()->lineEdit()}) {
        const std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
        QStringList texts;
        for (const QAction *action : menu->actions())
            if (!action->isSeparator())
                texts << action->text().section(u'\t', 0, 0); // the shortcut follows a tab
        EXPECT_TRUE(texts.contains(QStringLiteral("元に戻す(&U)"))) << texts.join(u'|').toStdString();
        EXPECT_TRUE(texts.contains(QStringLiteral("すべてを選択"))) << texts.join(u'|').toStdString();
    }
}

TEST_F(FrameTest, TitleAndIcon)
{
    EXPECT_EQ(m_frame->windowTitle(), QStringLiteral("印刷プレビュー - Label1"));
    EXPECT_FALSE(m_frame->windowIcon().isNull());
    // The title stays through page changes.
    Confirm(PageBox(), QStringLiteral("2"));
    EXPECT_EQ(m_frame->windowHandle()->title(), QStringLiteral("印刷プレビュー - Label1"));
}

class OddJobTest : public FrameTest {
protected:
    void AdjustSettings() override
    {
        theApp.m_strDocName.clear();
        theApp.m_strTapeWidth = QStringLiteral("12%d%s[*]");
        theApp.m_nCopies = -7;
    }
};

TEST_F(OddJobTest, TextsShownAsTheyStand)
{
    EXPECT_EQ(m_frame->windowHandle()->title(), QStringLiteral("印刷プレビュー - "));
    EXPECT_EQ(PaneText(ID_INDICATOR_TAPEWIDTH), QStringLiteral("テープ幅 : 12%d%s[*]"));
    EXPECT_EQ(PaneText(ID_INDICATOR_COPIES), QStringLiteral("印刷部数 : -7"));
    QLabel *tapeWidth = m_frame->GetPane(ID_INDICATOR_TAPEWIDTH);
    const int cx = tapeWidth->fontMetrics().horizontalAdvance(QStringLiteral("テープ幅 : 12%d%s[*]"));
    EXPECT_EQ(tapeWidth->sizeHint().width() - 2 * tapeWidth->frameWidth(), cx + cx / 17 * 4);
}

class MarkedTitleTest : public FrameTest {
protected:
    void AdjustSettings() override { theApp.m_strDocName = QStringLiteral("a[*]b <i>c</i>"); }
};

TEST_F(MarkedTitleTest, DocumentNameShownUnchanged)
{
    EXPECT_EQ(m_frame->windowHandle()->title(), QStringLiteral("印刷プレビュー - a[*]b <i>c</i>"));
}

TEST_F(FrameTest, FocusGoesToTheView)
{
    EXPECT_EQ(QApplication::focusWidget(), View());
    ClickInto(PageBox());
    EXPECT_EQ(QApplication::focusWidget(), PageBox());
    m_frame->setFocus(Qt::OtherFocusReason);
    RunIdle();
    EXPECT_EQ(QApplication::focusWidget(), View());
}

// Counts the paints of the tip and when they came, from the moment it was shown.
class PaintRecorder : public QObject {
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            paints.push_back({clock.elapsed(), static_cast<QPaintEvent *>(event)->rect()});
        return false;
    }
    struct Paint {
        qint64 ms;
        QRect rect;
    };
    QElapsedTimer clock;
    std::vector<Paint> paints;
};

TEST_F(FrameTest, TooltipsAreOurOwnWithTheCommandTexts)
{
    // Each label is followed by the command's shortcut, as Qt writes it.
    const std::pair<QWidget *, QString> tools[] = {
        {Button(ID_FILE_PRINT), QStringLiteral("印刷を開始します。 (Ctrl+P)")},
        {ZoomBox(), QStringLiteral("拡大／縮小表示の倍率を指定します。 (Ctrl++; Ctrl+-)")},
        {ZoomBox()->lineEdit(), QStringLiteral("拡大／縮小表示の倍率を指定します。 (Ctrl++; Ctrl+-)")},
        {Button(ID_PAGE_PREV), QStringLiteral("前のページを表示します。 (Ctrl+PgUp)")},
        {PageBox(), QStringLiteral("表示するページを入力します。 (Ctrl+L)")},
        {Button(ID_PAGE_NEXT), QStringLiteral("次のページを表示します。 (Ctrl+PgDown)")},
        {Button(ID_APP_EXIT), QStringLiteral("印刷を中止します。 (Esc)")},
    };
    for (const auto &[tool, text] : tools) {
        ASSERT_NE(tool, nullptr);
        // What the platform sends when the pointer rests over the tool.
        QHelpEvent help(QEvent::ToolTip, QPoint(4, 4), tool->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(tool, &help);
        RunIdle();
        const QList<CWistrelToolTipCtrl *> tips = m_frame->findChildren<CWistrelToolTipCtrl *>();
        ASSERT_EQ(tips.size(), 1);
        EXPECT_TRUE(tips[0]->isVisible());
        EXPECT_TRUE(tips[0]->m_bVislManagerTheme);
        EXPECT_EQ(tips[0]->GetLabel(), text);
        EXPECT_FALSE(QToolTip::isVisible()) << "Qt's own tooltip showed for " << text.toStdString();
        // The control's description for assistive technology is its tooltip.
        EXPECT_EQ((tool == ZoomBox()->lineEdit() ? ZoomBox() : tool)->toolTip(), text);
        // The pointer leaves the tool (the zoom box's field lies inside the box).
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(tool == ZoomBox()->lineEdit() ? ZoomBox() : tool, &leave);
        EXPECT_FALSE(tips[0]->isVisible());
    }
}

TEST_F(FrameTest, TipRepaintedWholeAfterItIsPlaced)
{
    CWistrelToolTipCtrl *tip = m_frame->GetToolTipCtrl();
    QWidget *tool = Button(ID_PAGE_NEXT);
    PaintRecorder recorder;
    tip->installEventFilter(&recorder);
    for (int round = 0; round < 2; ++round) {
        recorder.paints.clear();
        recorder.clock.start();
        QHelpEvent help(QEvent::ToolTip, QPoint(4, 4), tool->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(tool, &help);
        RunIdle(10);
        const size_t early = recorder.paints.size();
        RunIdle(60);
        // A paint of the whole tip 20 ms or more after it was placed, in each showing.
        bool repainted = false;
        for (size_t i = early; i < recorder.paints.size(); ++i)
            repainted = repainted || (recorder.paints[i].ms >= 19 && recorder.paints[i].rect == tip->rect());
        EXPECT_TRUE(repainted) << "round " << round;
        tip->HideTip();
    }
}

TEST_F(FrameTest, AboutBoxThroughTheCommandRouting)
{
    QString caption;
    QStringList texts;
    bool okIsDefault = false;
    QSize size;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<CAboutDlg *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll.stop();
        caption = dialog->windowTitle();
        for (QLabel *label : dialog->findChildren<QLabel *>())
            texts << label->text();
        for (QPushButton *button : dialog->findChildren<QPushButton *>())
            okIsDefault = okIsDefault || (button->text() == QStringLiteral("OK") && button->isDefault());
        size = dialog->size();
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    poll.start();
    // Should the box not be ours, it is closed all the same so that the test ends. The timer goes
    // with the poll, so it cannot fire into a later test.
    QTimer::singleShot(5000, &poll, [&] {
        poll.stop();
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    EXPECT_TRUE(m_frame->OnCmdMsg(ID_APP_ABOUT));
    EXPECT_EQ(caption, QStringLiteral("バージョン情報 Corvane"));
    EXPECT_TRUE(texts.contains(QStringLiteral("Corvane, Version 1.0")));
    EXPECT_TRUE(okIsDefault);
    EXPECT_TRUE(size.width() > 170 && size.height() > 62) << size.width() << "x" << size.height();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(m_frame->OnCmdMsg(12345));
}

TEST_F(FrameTest, SizeChangeRefitsTheWholeLabel)
{
    Confirm(ZoomBox(), QStringLiteral("ﾗﾍﾞﾙ全体を表示"));
    ASSERT_EQ(m_frame->m_nZoom, -1);
    const double before = View()->m_dScale;
    m_frame->resize(500, 300);
    RunIdle(20);
    EXPECT_LT(View()->m_dScale, before);
}

} // namespace
