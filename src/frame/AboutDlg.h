#pragma once
// The about box, laid out from its dialog template.

#include <QDialog>

// The about box: the icon, "Corvane, Version 1.0", the rights notice and OK, laid out from its dialog
// template in dialog units of the Japanese UI font. OK, Escape and the close box end it.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget *parent = nullptr);
    ~CAboutDlg() override;
};
