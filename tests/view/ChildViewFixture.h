#pragma once

// The page view's widget tests share one job: 360 dots per inch, 24 mm tape, pages written as BMP
// files into a temporary folder, a client area of 800 x 500 pixels on the offscreen platform's
// 96-dpi screen.
#include "app/CorvaneApp.h"
#include "view/ChildView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <memory>

namespace ChildViewTesting {

inline const QRgb kGrey = qRgb(224, 224, 224);

// The smallest rectangle holding every pixel that is not the background grey.
inline QRect NotGrey(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != (kGrey & 0xFFFFFF))
                box |= QRect(x, y, 1, 1);
    return box;
}

class ChildViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        theApp.m_nDpi = 360;
        theApp.m_nTapeWidthMm = 24;
        theApp.m_nTapeLengthMm = 100;
        theApp.m_nOrientation = 2;
        theApp.m_strPageFileFormat = m_dir.path() + QStringLiteral("/p_%05d.bmp");
        QApplication::setWheelScrollLines(3);
    }

    void WritePage(int nPage, const QImage &image)
    {
        ASSERT_TRUE(image.save(m_dir.path() + QStringLiteral("/p_%1.bmp").arg(nPage, 5, 10, QLatin1Char('0')),
                               "BMP"));
    }

    static QImage Black(int w, int h)
    {
        QImage page(w, h, QImage::Format_RGB32);
        page.fill(qRgb(0, 0, 0));
        return page;
    }

    // A view whose client area is 800 x 500 without bars, after its initial update, showing page 1.
    std::unique_ptr<CChildView> MakeView(int nZoom)
    {
        auto view = std::make_unique<CChildView>();
        const int f = 2 * view->frameWidth();
        view->resize(800 + f, 500 + f);
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        view->OnInitialUpdate();
        view->LoadPage(1);
        view->SetZoom(nZoom);
        QApplication::processEvents();
        return view;
    }

    static QImage Grab(CChildView &view)
    {
        return view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    // A wheel turn over the viewport, or over `over` (a scroll bar) when given.
    static void Wheel(CChildView &view, QPoint angle, Qt::KeyboardModifiers modifiers,
                      bool *accepted = nullptr, QWidget *over = nullptr)
    {
        QWidget *target = over ? over : view.viewport();
        const QPointF at(target->width() / 2, target->height() / 2);
        QWheelEvent event(at, target->mapToGlobal(at), QPoint(0, -7), angle, Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
        if (accepted)
            *accepted = event.isAccepted();
    }

    QTemporaryDir m_dir;
};

} // namespace ChildViewTesting
