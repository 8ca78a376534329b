#pragma once
// Dialog services of the windowing layer: message and input dialogs, the
// error report, the busy cursor, the event pump and immediate termination.
// Every dialog of the program goes through MessageDialog or InputDialog, so
// a test can answer them all through one seam (DialogResponder).
#include <QFont>
#include <QString>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

class QDialog;

namespace mg {

enum DialogKind : int {
    mtWarning = 0,
    mtError = 1,
    mtInformation = 2,
    mtConfirmation = 3,
    mtCustom = 4,
};

// Button n is bit n; the enumeration order is the left-to-right order.
using DialogButtons = std::uint16_t;
namespace Btn {
constexpr DialogButtons Yes = 1, No = 2, OK = 4, Cancel = 8, Abort = 16, Retry = 32, Ignore = 64, All = 128,
                        NoToAll = 256, YesToAll = 512, Help = 1024;
}
constexpr DialogButtons mbYesNo = 3;            // Yes, No
constexpr DialogButtons mbOK = 4;               // OK
constexpr DialogButtons mbOKCancel = 12;        // OK, Cancel
constexpr DialogButtons mbYesNoCancelAll = 139; // Yes, No, Cancel, All

// Answer codes of modal dialogs and modal windows.
enum ModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

// The answer of a loop over the selected files (encrypt, decrypt, delete):
// each file is asked about until the user answers All; Cancel stops the
// loop; Yes and All act on the file, No skips it.
class RememberedAnswer {
public:
    // Calls ask() for the file's answer unless All was given.
    template <class Ask> void AskUnlessAll(Ask&& ask)
    {
        if (answer_ != mrAll)
            answer_ = ask();
    }
    // A later dialog's answer (e.g. OK of a failure report) replaces it.
    void Set(int answer) { answer_ = answer; }
    bool Cancelled() const { return answer_ == mrCancel; }
    bool Proceeds() const { return answer_ == mrYes || answer_ == mrAll; }
    bool All() const { return answer_ == mrAll; }

private:
    int answer_ = mrNo;
};

int MessageDialog(const QString& text, DialogKind kind, DialogButtons buttons);
void PlainMessage(const QString& text);
QString InputDialog(const QString& caption, const QString& prompt, const QString& defaultText);
// The same with a password field: what is typed, and the default text, are
// shown as bullets and hidden from accessibility tools.
QString PassphraseDialog(const QString& caption, const QString& prompt, const QString& defaultText);

// The cursor, the event pump and termination below are defined with the
// application object in ui/Application.cpp, which counts cursor changes.
constexpr int crDefault = 0;
constexpr int crHourGlass = -11;
void ScreenCursor(int cursor);
int ScreenCursorValue();
// The busy cursor for the lifetime of a scope (a folder read, a refresh);
// the value before it is put back at the end.
class BusyCursorScope {
public:
    BusyCursorScope() : previous_(ScreenCursorValue()) { ScreenCursor(crHourGlass); }
    ~BusyCursorScope() { ScreenCursor(previous_); }
    BusyCursorScope(const BusyCursorScope&) = delete;
    BusyCursorScope& operator=(const BusyCursorScope&) = delete;

private:
    int previous_;
};

void ProcessPendingEvents();
[[noreturn]] void TerminateNow();

// The cursor rules of a modal window, for as long as the scope lives: the
// cursor is the default one while the window is shown; afterwards the value
// set before it opened comes back, unless the cursor was set again meanwhile,
// in which case the default remains. Every dialog here keeps these rules.
class ModalCursorScope {
public:
    ModalCursorScope();
    ~ModalCursorScope();
    ModalCursorScope(const ModalCursorScope&) = delete;
    ModalCursorScope& operator=(const ModalCursorScope&) = delete;

private:
    int savedCursor_;
    unsigned long long setsAtOpen_;
};
// Shows a window modally (exec()) under the cursor rules above and returns
// its result. The batch windows show themselves through this.
int ShowModalWindow(QDialog& window);

// Shows the error report (stop icon, OK, caption = application title) for a
// message; appends "." when the message is not empty and its last character
// is above '.'.
void ErrorReport(const QString& message);
QString ErrorReportText(const QString& message);
// Queues an error report for the event loop. For errors raised where a modal
// dialog must not open (inside painting): the report follows at once, after
// the current event.
void PostErrorReport(const QString& message);

// The font of every window: the system's UI font at 8 points, which the
// window layouts are sized for (lines 11 pixels high at 96 dpi); scale
// 13/11 gives the batch windows' 13-pixel heading.
QFont WindowFont(double scale = 1.0, bool bold = false);

// The text of an error that ended an action: an exception's own message
// (mg::Error carries the system's text), "Out of memory" for bad_alloc,
// "Unknown error" for anything else.
QString ErrorMessage(const std::exception_ptr& error);

// File-name bytes as text for messages and lists (UTF-8; bytes that are not
// UTF-8 are replaced for display only), bare or in double quotes.
QString ShownName(const std::string& bytes);
QString QuotedName(const std::string& bytes);

// The application title: program file name after the last '/', cut before its
// first '.', all but the first character lower-cased ("murkglass").
QString ApplicationTitle();
QString TitleFromProgramPath(const QString& programPath);
// Fixes the application title (done once at start by the application object).
void SetApplicationTitle(const QString& title);

// The test seam. While a responder is installed, MessageDialog and
// InputDialog (and so PlainMessage and ErrorReport) ask it instead of showing
// a window. It sees exactly what would have been shown.
struct DialogRequest {
    enum Type { Message, Input } type = Message;
    QString text; // Message: the text; Input: the prompt
    DialogKind kind = mtCustom;
    DialogButtons buttons = 0;
    QString caption;     // the caption the real dialog would carry
    QString defaultText; // Input only
    bool masked = false; // Input only: a password field
};
struct DialogAnswer {
    int result = mrCancel; // Message: the ModalResult; Input: mrOk or mrCancel
    QString text;          // Input: the text in the field when OK is pressed
};
using DialogResponder = std::function<DialogAnswer(const DialogRequest&)>;
// Installs a responder (an empty function removes it); returns the previous one.
DialogResponder SetDialogResponder(DialogResponder responder);

} // namespace mg
