#pragma once
// The preview's own tooltip window, shared by every control that shows tips.

#include <QString>
#include <QTimer>
#include <QWidget>

// The preview's tooltip window. Every tooltip of the window is one of these: a control registers the
// widgets it shows tips for with AddTool, and the tip shows the tool's tooltip text (the part of the
// command's string after its line break) instead of Qt's own tooltip. The look comes from the
// application style at the moment the tip is shown. 20 ms after the tip has been sized and placed the
// whole tip, background included, is repainted.
class CWistrelToolTipCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CWistrelToolTipCtrl(QWidget *parent = nullptr);
    ~CWistrelToolTipCtrl() override;

    // Shows tips for tool: its tooltip events come here from now on.
    void AddTool(QWidget *tool);

    // Sizes and places the tip for tool at the global position and shows it.
    void ShowTip(QWidget *tool, const QPoint &globalPos, const QString &text);
    void HideTip();

    QString GetLabel() const { return m_strLabel; }
    QWidget *GetTool() const { return m_pTool; }

    // Take the look from the style each time a tip is shown.
    bool m_bVislManagerTheme = true;
    bool m_bBoldLabel = true;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // Runs each time the tip has been placed: the base sizing and placing, then the repaint timer.
    void OnShow(const QPoint &globalPos);
    // The repaint 20 ms after placement.
    void OnRepaintTimer();
    void ApplyTheme();
    QFont LabelFont() const;

    QString m_strLabel;
    QWidget *m_pTool = nullptr;
    QTimer m_repaintTimer;
    QTimer m_hideTimer;
};
