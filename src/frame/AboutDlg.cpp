// CAboutDlg: the about box built from its dialog template and font.
#include "frame/AboutDlg.h"

#include "app/CorvaneApp.h"
#include "frame/Artwork.h"
#include "frame/DialogUnits.h"
#include "frame/MainFrame.h"
#include "res/AboutTemplate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

namespace {

// The template's font and the Japanese UI fonts that stand in for it where it is not installed.
QFont TemplateFont(const DialogTemplate &dialog)
{
    QFont font;
    font.setFamilies({QString::fromUtf16(dialog.fontFace), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("VL PGothic")});
    font.setPointSize(dialog.pointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

} // namespace

CAboutDlg::CAboutDlg(QWidget *parent) : QDialog(parent ? parent : theApp.m_pMainWnd)
{
    const DialogTemplate &dialog = AboutBoxTemplate();
    setObjectName(QStringLiteral("IDD_ABOUTBOX"));
    setWindowTitle(QString::fromUtf16(dialog.caption));
    setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowContextHelpButtonHint);
    setModal(true);
    setFont(TemplateFont(dialog));

    const QFontMetrics metrics(font());
    const DialogBaseUnits units = DialogBaseUnitsFor(
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")),
        metrics.height());
    setFixedSize(MapDialogRect(dialog.rect, units).size());

    for (int i = 0; i < dialog.itemCount; ++i) {
        const DialogItem &item = dialog.items[i];
        const QRect rect = MapDialogRect(item.rect, units);
        const QString text = QString::fromUtf16(item.text);
        switch (item.kind) {
        case DialogItemKind::Icon: {
            // A static icon takes the size of the icon, from the item's top left corner.
            auto *icon = new QLabel(this);
            const QPixmap pixmap = CorvaneAppIcon().pixmap(32, 32);
            icon->setPixmap(pixmap);
            icon->setGeometry(QRect(rect.topLeft(), pixmap.size()));
            icon->setAccessibleName(windowTitle());
            break;
        }
        case DialogItemKind::Text: {
            auto *label = new QLabel(this);
            label->setTextFormat(Qt::PlainText);
            label->setText(text);
            label->setGeometry(rect);
            break;
        }
        case DialogItemKind::DefaultButton: {
            auto *button = new QPushButton(text, this);
            button->setGeometry(rect);
            button->setDefault(true);
            button->setAutoDefault(true);
            button->setFocus();
            connect(button, &QPushButton::clicked, this, &QDialog::accept);
            break;
        }
        }
    }
}

CAboutDlg::~CAboutDlg() = default;
