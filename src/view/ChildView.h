#pragma once

#include "view/PageImage.h"

#include <QAbstractScrollArea>
#include <QPoint>
#include <QSize>

// The page view: one page bitmap at a magnification measured against the label's physical size,
// centred in a grey margin, scrolled in pixels.
class CChildView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CChildView(QWidget *parent = nullptr);
    ~CChildView() override;

    void SetZoom(int nZoom);
    void LoadPage(int nPage);
    void UpdateScrollLayout();
    QSize GetLabelExtent() const;
    void OnInitialUpdate();

    int m_nLogUnitsPerInch = 254;
    CPageImage m_image;
    double m_dScale = 1.0;
    QPoint m_ptWindowOrg;
};
