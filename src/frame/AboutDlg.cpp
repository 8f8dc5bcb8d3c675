#include "frame/AboutDlg.h"

CAboutDlg::CAboutDlg(QWidget *parent) : QDialog(parent) {}

CAboutDlg::~CAboutDlg() = default;
