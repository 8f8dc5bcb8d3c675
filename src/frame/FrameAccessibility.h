#pragma once
// What the preview window tells assistive technology beyond its widgets: names and announcements.

#include <QObject>
#include <QString>

class CMainFrame;

// What assistive technology learns of the preview window beyond what the widgets tell by
// themselves: names for the zoom box's edit field and the page view, the panes' labels as their
// descriptions, and the announcements of page and zoom changes.
//
// A status pane keeps its whole text as its name (Qt's labels have no text interface, so a name of
// just the label would hide the value); the label goes into the description. The zoom box is named
// through its edit field: a name set on an editable combo box is replaced by its current text.
//
// Announcements run from the frame's idle update: a page change (or a new page count) sends the page
// pane's new text ("表示ページ : 2/5") as the view's description with a description-changed event;
// a zoom change sends a value-changed event on the zoom box with the box's new text ("150%").
class CFrameAccessibility : public QObject {
    Q_OBJECT
public:
    explicit CFrameAccessibility(CMainFrame *frame);

    // Compares the page, the page count and the zoom with what was last announced and announces
    // what changed.
    void OnIdleUpdate();

private:
    void AnnouncePage();
    void AnnounceZoom();

    CMainFrame *m_pFrame;
    int m_nPage = 0;
    int m_nPageCount = 0;
    int m_nZoom = 0;
};
