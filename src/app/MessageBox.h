#pragma once
// The preview's message boxes: flags, answers, the call that shows one and its test seam.

#include <QString>

#include <functional>

class QWidget;

// Flags and answers of the preview's message boxes, with the platform's values.
enum : unsigned {
    MB_OK = 0x0,
    MB_YESNO = 0x4,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONMASK = 0xF0,
    MB_SYSTEMMODAL = 0x1000,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// What a message box was asked to show; handed to the test seam.
struct MessageBoxRequest {
    QString caption;
    QString text;
    unsigned flags = MB_OK;
    QWidget *owner = nullptr;
};

// Shows a message box: the caption is always the application title; OK or Yes/No; the exclamation icon
// where the flags name none. With an owner the box is modal to it; without one (no window exists) it is
// application-modal and stays on top. Returns IDOK, IDYES or IDNO (IDCANCEL when the box was ended from
// outside by AbortMessageBoxes).
int AfxMessageBox(const QString &text, unsigned flags = MB_OK, QWidget *owner = nullptr);

// From now on, boxes are written to stderr instead ("corvane-preview: caption: text"; the answer is
// IDOK, or IDNO for a question): for a run whose toolkit could not reach a display.
void ShowMessageBoxesOnStandardError();

// Ends every message box that is open, as if dismissed without an answer (IDCANCEL). Used when the
// window must close while a box is up.
void AbortMessageBoxes();

// The test seam: while a hook is set, AfxMessageBox hands each request to it instead of showing a box,
// and returns its answer. An empty function removes the hook.
using MessageBoxHook = std::function<int(const MessageBoxRequest &)>;
void SetMessageBoxHook(MessageBoxHook hook);
