#include "view/ChildView.h"

CChildView::CChildView(QWidget *parent) : QAbstractScrollArea(parent) {}

CChildView::~CChildView() = default;

void CChildView::SetZoom(int) {}

void CChildView::LoadPage(int) {}

void CChildView::UpdateScrollLayout() {}

QSize CChildView::GetLabelExtent() const
{
    return QSize();
}

void CChildView::OnInitialUpdate() {}
