// The dialog services on real windows (offscreen platform): keys, close box
// and quit requests give the table's codes; button rows, captions, the input
// field; the error report; the busy cursor around modal windows; immediate
// termination.
#include "base/Error.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

#include <QAccessible>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTextLayout>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <new>
#include <stdexcept>

using namespace mg;

namespace {

// Runs the action on the modal dialog as soon as it is open.
void WhenModalOpens(std::function<void(QWidget*)> action, int triesLeft = 50)
{
    QTimer::singleShot(0, [action = std::move(action), triesLeft] {
        if (QWidget* modal = QApplication::activeModalWidget())
            action(modal);
        else if (triesLeft > 0)
            WhenModalOpens(action, triesLeft - 1);
    });
}

QWidget* KeyTarget(QWidget* dialog)
{
    QWidget* focus = dialog->focusWidget();
    return focus ? focus : dialog;
}

// The dialog's buttons from left to right.
QList<QPushButton*> ButtonRow(QWidget* dialog)
{
    QList<QPushButton*> buttons = dialog->findChildren<QPushButton*>();
    std::sort(buttons.begin(), buttons.end(), [](QPushButton* a, QPushButton* b) { return a->x() < b->x(); });
    return buttons;
}

// Ends the dialog as the action says: "enter", "escape", "close",
// "focus<n>+enter" (Enter on button n after moving the focus there),
// "escape+enter" (Enter only if Escape left the dialog open) or
// "click<n>+escape".
void Finish(QWidget* dialog, const QString& action)
{
    if (action == u"enter") {
        QTest::keyClick(KeyTarget(dialog), Qt::Key_Return);
    } else if (action == u"escape") {
        QTest::keyClick(KeyTarget(dialog), Qt::Key_Escape);
    } else if (action == u"close") {
        dialog->close();
    } else if (action.startsWith(u"focus")) {
        QPushButton* button = ButtonRow(dialog).at(action.mid(5, 1).toInt());
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Return);
    } else if (action == u"escape+enter") {
        QTest::keyClick(KeyTarget(dialog), Qt::Key_Escape);
        if (QApplication::activeModalWidget() == dialog)
            QTest::keyClick(KeyTarget(dialog), Qt::Key_Return);
    } else if (action.startsWith(u"click")) {
        ButtonRow(dialog).at(action.mid(5, 1).toInt())->click();
        if (QApplication::activeModalWidget() == dialog)
            QTest::keyClick(KeyTarget(dialog), Qt::Key_Escape);
    }
}

class PaintThrower : public QWidget {
public:
    bool armed = false;

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (armed)
            throw Error("Canvas does not allow drawing");
    }
};

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void messageDialogCodes_data();
    void messageDialogCodes();
    void buttonRow_data();
    void buttonRow();
    void captionAndIcon_data();
    void captionAndIcon();
    void longTextWrapsWithinHalfTheScreen();
    void wordWiderThanTheLabelWraps_data();
    void wordWiderThanTheLabelWraps();
    void inputDialog_data();
    void inputDialog();
    void passphraseField_data();
    void passphraseField();
    void quitRequestWhileOpen_data();
    void quitRequestWhileOpen();
    void cursorAroundModalWindow_data();
    void cursorAroundModalWindow();
    void errorReportText_data();
    void errorReportText();
    void escapedErrorIsReportedAndLoopGoesOn_data();
    void escapedErrorIsReportedAndLoopGoesOn();
    void titleFromProgramPath_data();
    void titleFromProgramPath();
    void terminateNowEndsAtOnceWithCodeZero();
};

void DialogsTest::cleanup()
{
    SetDialogResponder({});
    ScreenCursor(crDefault);
}

void DialogsTest::messageDialogCodes_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("expected");
    QTest::newRow("set 3: Enter presses Yes") << 3 << "enter" << 6;
    QTest::newRow("set 3: Escape answers No") << 3 << "escape" << 7;
    QTest::newRow("set 3: close box answers 2, not No") << 3 << "close" << 2;
    QTest::newRow("set 4: Enter presses OK") << 4 << "enter" << 1;
    QTest::newRow("set 4: Escape answers OK") << 4 << "escape" << 1;
    QTest::newRow("set 4: close box answers 2, not OK") << 4 << "close" << 2;
    QTest::newRow("set 12: Enter presses OK") << 12 << "enter" << 1;
    QTest::newRow("set 12: Escape answers Cancel") << 12 << "escape" << 2;
    QTest::newRow("set 12: close box answers 2") << 12 << "close" << 2;
    QTest::newRow("set 139: Enter presses Yes") << 139 << "enter" << 6;
    QTest::newRow("set 139: Escape answers Cancel, not No") << 139 << "escape" << 2;
    QTest::newRow("set 139: close box answers 2") << 139 << "close" << 2;
    QTest::newRow("Enter on focused No presses No") << 3 << "focus1+enter" << 7;
    QTest::newRow("Enter on focused All presses All") << 139 << "focus3+enter" << 8;
    QTest::newRow("Enter on focused Cancel presses Cancel") << 12 << "focus1+enter" << 2;
    QTest::newRow("Retry is the default without OK and Yes") << (16 | 32 | 64) << "enter" << 4;
    QTest::newRow("Help leaves the dialog open") << (4 | 1024) << "click1+escape" << 1;
    QTest::newRow("Escape without Cancel, No or OK answers OK") << (16 | 32 | 64) << "escape+enter" << 4;
}

void DialogsTest::messageDialogCodes()
{
    QFETCH(int, buttons);
    QFETCH(QString, action);
    QFETCH(int, expected);
    WhenModalOpens([action](QWidget* dialog) { Finish(dialog, action); });
    QCOMPARE(MessageDialog(QStringLiteral("Overwrite the file?"), mtConfirmation, DialogButtons(buttons)), expected);
    QVERIFY(!QApplication::activeModalWidget());
}

void DialogsTest::buttonRow_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QStringList>("captions");
    QTest::newRow("set 3") << 3 << QStringList{"&Yes", "&No"};
    QTest::newRow("set 4") << 4 << QStringList{"OK"};
    QTest::newRow("set 12") << 12 << QStringList{"OK", "Cancel"};
    QTest::newRow("set 139 keeps enumeration order, not bit order of the call")
        << 139 << QStringList{"&Yes", "&No", "Cancel", "&All"};
    QTest::newRow("all eleven, widest caption sets the width")
        << 2047 << QStringList{"&Yes",    "&No",  "OK",         "Cancel",      "&Abort", "&Retry",
                               "&Ignore", "&All", "N&o to All", "Yes to &All", "&Help"};
}

void DialogsTest::buttonRow()
{
    QFETCH(int, buttons);
    QFETCH(QStringList, captions);
    QStringList seen;
    QList<int> widths;
    int widest = 0, leftGap = -1, rightGap = -1, textBottom = 0, buttonTop = 0;
    WhenModalOpens([&](QWidget* dialog) {
        const QList<QPushButton*> row = ButtonRow(dialog);
        for (QPushButton* button : row) {
            seen << button->text();
            widths << button->width();
            QString shown = button->text();
            widest = std::max(widest, button->fontMetrics().horizontalAdvance(shown.remove(u'&')));
        }
        leftGap = row.first()->x();
        rightGap = dialog->width() - (row.last()->x() + row.last()->width());
        textBottom = dialog->findChild<QLabel*>(QStringLiteral("text"))->geometry().bottom();
        buttonTop = row.first()->y();
        dialog->close();
    });
    MessageDialog(QStringLiteral("Question"), mtInformation, DialogButtons(buttons));
    QCOMPARE(seen, captions);
    QVERIFY2(std::all_of(widths.begin(), widths.end(), [&](int w) { return w == widths.first(); }),
             "buttons differ in width");
    QCOMPARE(widths.first(), std::max(75, widest + 8));
    QVERIFY2(std::abs(leftGap - rightGap) <= 1, "button row is not centred");
    QVERIFY(buttonTop > textBottom);
}

void DialogsTest::captionAndIcon_data()
{
    QTest::addColumn<QString>("call");    // "kind<n>", "plain" or "report"
    QTest::addColumn<QString>("caption"); // empty: the application title
    QTest::addColumn<bool>("icon");
    QTest::addColumn<QString>("text");
    QTest::newRow("warning") << "kind0"
                             << "Warning" << true << "Text";
    QTest::newRow("error") << "kind1"
                           << "Error" << true << "Text";
    QTest::newRow("information") << "kind2"
                                 << "Information" << true << "Text";
    QTest::newRow("confirmation") << "kind3"
                                  << "Confirm" << true << "Text";
    QTest::newRow("custom carries the application title, no icon") << "kind4"
                                                                   << "" << false << "Text";
    QTest::newRow("plain message carries the application title, not a window's") << "plain"
                                                                                 << "" << false << "Text";
    QTest::newRow("error report: application title, stop sign, period") << "report"
                                                                        << "" << true << "Text.";
}

void DialogsTest::captionAndIcon()
{
    QFETCH(QString, call);
    QFETCH(QString, caption);
    QFETCH(bool, icon);
    QFETCH(QString, text);
    QString title, shownText;
    QStringList buttons;
    bool hasIcon = false, fixedSize = false, closeBoxOnly = false;
    QPoint centre, screenCentre;
    WhenModalOpens([&](QWidget* dialog) {
        title = dialog->windowTitle();
        const QLabel* iconLabel = dialog->findChild<QLabel*>(QStringLiteral("icon"));
        hasIcon = iconLabel && iconLabel->size() == QSize(32, 32) && !iconLabel->pixmap().isNull();
        shownText = dialog->findChild<QLabel*>(QStringLiteral("text"))->text();
        for (QPushButton* button : ButtonRow(dialog))
            buttons << button->text();
        fixedSize = dialog->minimumSize() == dialog->maximumSize();
        const Qt::WindowFlags flags = dialog->windowFlags();
        closeBoxOnly = (flags & Qt::WindowCloseButtonHint)
                       && !(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        centre = dialog->frameGeometry().center();
        screenCentre = dialog->screen()->availableGeometry().center();
        dialog->close();
    });
    QWidget mainWindow; // a window of the program with a caption of its own
    mainWindow.setWindowTitle(QStringLiteral("Murkglass Viewer"));
    mainWindow.show();
    QApplication::setActiveWindow(&mainWindow);
    if (call == u"plain")
        PlainMessage(QStringLiteral("Text"));
    else if (call == u"report")
        ErrorReport(QStringLiteral("Text"));
    else
        MessageDialog(QStringLiteral("Text"), DialogKind(call.mid(4).toInt()), mbOK);
    QCOMPARE(title, caption.isEmpty() ? ApplicationTitle() : caption);
    QCOMPARE(hasIcon, icon);
    QCOMPARE(shownText, text);
    QCOMPARE(buttons, QStringList{"OK"});
    QVERIFY(fixedSize);
    QVERIFY(closeBoxOnly);
    QVERIFY2((centre - screenCentre).manhattanLength() <= 2, "dialog is not centred on the screen");
}

void DialogsTest::longTextWrapsWithinHalfTheScreen()
{
    const QString text = QStringLiteral("Could not write\tthe file ").repeated(40);
    int labelWidth = 0, lineHeight = 0, labelHeight = 0, halfScreen = 0;
    QString shown;
    WhenModalOpens([&](QWidget* dialog) {
        const QLabel* label = dialog->findChild<QLabel*>(QStringLiteral("text"));
        labelWidth = label->width();
        labelHeight = label->height();
        lineHeight = label->fontMetrics().height();
        shown = label->text();
        halfScreen = dialog->screen()->geometry().width() / 2;
        dialog->close();
    });
    MessageDialog(text, mtError, mbOKCancel);
    QVERIFY(labelWidth <= halfScreen);
    QVERIFY(labelHeight >= 3 * lineHeight);
    QVERIFY2(!shown.contains(u'\t'), "tabs are not expanded");
}

void DialogsTest::wordWiderThanTheLabelWraps_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("deeply nested path in the Delete question")
        << "Delete \"/home/user/" + QStringLiteral("Pictures/").repeated(60) + "photo.jpg\" ?";
    QTest::newRow("one long name without a slash") << "Name " + QStringLiteral("x").repeated(600);
}

void DialogsTest::wordWiderThanTheLabelWraps()
{
    QFETCH(QString, text);
    int labelWidth = 0, widestLine = 0, lines = 0;
    QString shown, accessible;
    WhenModalOpens([&](QWidget* dialog) {
        const QLabel* label = dialog->findChild<QLabel*>(QStringLiteral("text"));
        labelWidth = label->contentsRect().width();
        shown = label->text();
        accessible = label->accessibleName();
        // Laid out as the label lays out its text.
        QTextLayout layout(shown, label->font());
        QTextOption option;
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(labelWidth);
            widestLine = std::max(widestLine, int(std::ceil(line.naturalTextWidth())));
            ++lines;
        }
        layout.endLayout();
        dialog->close();
    });
    MessageDialog(text, mtConfirmation, mbYesNo);
    QVERIFY2(widestLine <= labelWidth, qPrintable(QString("%1 > %2").arg(widestLine).arg(labelWidth)));
    QVERIFY(lines >= 2);
    // Nothing of the text is lost, and a screen reader reads it as given.
    QCOMPARE(QString(shown).remove(QChar(0x200B)), text);
    QCOMPARE(accessible, text);
}

void DialogsTest::inputDialog_data()
{
    QTest::addColumn<QString>("defaultText");
    QTest::addColumn<QString>("typed"); // "<erase>" empties the field
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Cancel gives back the default") << "50"
                                                   << ""
                                                   << "click1+escape"
                                                   << "50";
    QTest::newRow("Escape gives back the default") << "50"
                                                   << ""
                                                   << "escape"
                                                   << "50";
    QTest::newRow("close box gives back the default") << "50"
                                                      << ""
                                                      << "close"
                                                      << "50";
    QTest::newRow("typed then cancelled gives back the default") << "50"
                                                                 << "75"
                                                                 << "escape"
                                                                 << "50";
    QTest::newRow("typing replaces the selected default") << "50"
                                                          << "75"
                                                          << "enter"
                                                          << "75";
    QTest::newRow("emptied field confirmed gives empty text") << "50"
                                                              << "<erase>"
                                                              << "enter"
                                                              << "";
    QTest::newRow("OK button gives text untrimmed") << ""
                                                    << "  a b  "
                                                    << "click0+escape"
                                                    << "  a b  ";
    QTest::newRow("256th character is refused") << "" << QString(256, u'k') << "enter" << QString(255, u'k');
}

void DialogsTest::inputDialog()
{
    QFETCH(QString, defaultText);
    QFETCH(QString, typed);
    QFETCH(QString, action);
    QFETCH(QString, expected);
    QString caption, prompt, selected;
    QStringList captions;
    QSize okSize, cancelSize;
    WhenModalOpens([&](QWidget* dialog) {
        caption = dialog->windowTitle();
        prompt = dialog->findChild<QLabel*>(QStringLiteral("prompt"))->text();
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("edit"));
        selected = edit->selectedText();
        const QList<QPushButton*> row = ButtonRow(dialog);
        for (QPushButton* button : row)
            captions << button->text();
        okSize = row.at(0)->size();
        cancelSize = row.at(1)->size();
        if (typed == u"<erase>")
            QTest::keyClick(edit, Qt::Key_Backspace);
        else if (!typed.isEmpty())
            QTest::keyClicks(edit, typed);
        Finish(dialog, action);
    });
    QCOMPARE(InputDialog(QStringLiteral("Rescale"), QStringLiteral("Percent: "), defaultText), expected);
    QCOMPARE(caption, QStringLiteral("Rescale"));
    QCOMPARE(prompt, QStringLiteral("Percent: "));
    QCOMPARE(selected, defaultText);
    QCOMPARE(captions, (QStringList{"OK", "Cancel"}));
    QCOMPARE(okSize, cancelSize);
}

void DialogsTest::passphraseField_data()
{
    QTest::addColumn<bool>("masked");
    QTest::newRow("passphrase prompt hides its default from eyes and screen readers") << true;
    QTest::newRow("plain prompt still shows its default") << false;
}

void DialogsTest::passphraseField()
{
    QFETCH(bool, masked);
    const QString secret = QStringLiteral("Secret pass");
    QLineEdit::EchoMode echo = QLineEdit::Normal;
    QString shown, spoken;
    WhenModalOpens([&](QWidget* dialog) {
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("edit"));
        echo = edit->echoMode();
        shown = edit->displayText();
        if (QAccessibleInterface* face = QAccessible::queryAccessibleInterface(edit))
            spoken = face->text(QAccessible::Value) + u'|' + face->text(QAccessible::Name);
        Finish(dialog, QStringLiteral("enter"));
    });
    const QString caption = QStringLiteral("Set Decryption Key");
    const QString prompt = QStringLiteral("Enter Decryption Passphrase: ");
    const QString answer = masked ? PassphraseDialog(caption, prompt, secret) : InputDialog(caption, prompt, secret);
    // The default text is still given back, whether it was shown or not.
    QCOMPARE(answer, secret);
    QCOMPARE(echo, masked ? QLineEdit::Password : QLineEdit::Normal);
    QCOMPARE(shown.contains(u"Secret"), !masked);
    QCOMPARE(spoken.contains(u"Secret"), !masked);
}

void DialogsTest::quitRequestWhileOpen_data()
{
    QTest::addColumn<bool>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("message dialog answers 2") << false << "2";
    QTest::newRow("input dialog gives back the default") << true << "50";
}

void DialogsTest::quitRequestWhileOpen()
{
    QFETCH(bool, input);
    QFETCH(QString, expected);
    QString answer;
    WhenModalOpens([](QWidget*) { QCoreApplication::quit(); });
    QTimer::singleShot(0, [&] {
        answer = input ? InputDialog(QStringLiteral("Rescale"), QStringLiteral("Percent: "), QStringLiteral("50"))
                       : QString::number(MessageDialog(QStringLiteral("Delete?"), mtConfirmation, mbYesNo));
        QCoreApplication::exit(0); // in case the request did not end the loop
    });
    QCoreApplication::exec();
    QCOMPARE(answer, expected);
}

void DialogsTest::cursorAroundModalWindow_data()
{
    QTest::addColumn<bool>("batchWindow");
    QTest::addColumn<int>("before");
    QTest::addColumn<bool>("setWhileOpen");
    QTest::addColumn<int>("after");
    QTest::newRow("busy before comes back after a dialog") << false << -11 << false << -11;
    QTest::newRow("busy set again while open leaves the default") << false << -11 << true << 0;
    QTest::newRow("default before stays default") << false << 0 << false << 0;
    QTest::newRow("busy set while open of a default cursor leaves the default") << false << 0 << true << 0;
    QTest::newRow("batch window: busy before comes back after") << true << -11 << false << -11;
    QTest::newRow("batch window: busy set while open leaves the default") << true << -11 << true << 0;
}

void DialogsTest::cursorAroundModalWindow()
{
    QFETCH(bool, batchWindow);
    QFETCH(int, before);
    QFETCH(bool, setWhileOpen);
    QFETCH(int, after);
    ScreenCursor(before);
    int valueWhileOpen = -1;
    const QCursor* overrideWhileOpen = nullptr;
    WhenModalOpens([&](QWidget* dialog) {
        valueWhileOpen = ScreenCursorValue();
        overrideWhileOpen = QGuiApplication::overrideCursor();
        if (setWhileOpen)
            ScreenCursor(crHourGlass);
        dialog->close();
    });
    if (batchWindow) {
        QDialog window;
        ShowModalWindow(window);
    } else {
        MessageDialog(QStringLiteral("File exists"), mtWarning, mbOK);
    }
    QCOMPARE(valueWhileOpen, 0);
    QVERIFY(!overrideWhileOpen);
    QCOMPARE(ScreenCursorValue(), after);
    const QCursor* shown = QGuiApplication::overrideCursor();
    if (after == crHourGlass)
        QVERIFY(shown && shown->shape() == Qt::WaitCursor);
    else
        QVERIFY2(!shown, "windows did not get their own cursor back");
}

void DialogsTest::errorReportText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty message stays empty, not \".\"") << ""
                                                          << "";
    QTest::newRow("Disk full gets a period") << "Disk full"
                                             << "Disk full.";
    QTest::newRow("File not found gets a period") << "File not found"
                                                  << "File not found.";
    QTest::newRow("ends in ! unchanged") << "x!"
                                         << "x!";
    QTest::newRow("ends in ) unchanged") << "I/O error (5)"
                                         << "I/O error (5)";
    QTest::newRow("ends in . unchanged") << "Done."
                                         << "Done.";
    QTest::newRow("ends in - (below .) unchanged") << "a-"
                                                   << "a-";
    QTest::newRow("ends in / (above .) gets a period") << "C:/"
                                                       << "C:/.";
    QTest::newRow("ends in a non-ASCII letter gets a period") << "Café"
                                                              << "Café.";
}

void DialogsTest::errorReportText()
{
    QFETCH(QString, message);
    QFETCH(QString, expected);
    QList<DialogRequest> asked;
    SetDialogResponder([&](const DialogRequest& r) {
        asked << r;
        return DialogAnswer{mrOk, {}};
    });
    ErrorReport(message);
    QCOMPARE(ErrorReportText(message), expected);
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].type, DialogRequest::Message);
    QCOMPARE(asked[0].text, expected);
    QCOMPARE(asked[0].kind, mtError);
    QCOMPARE(asked[0].buttons, mbOK);
    QCOMPARE(asked[0].caption, ApplicationTitle());
}

void DialogsTest::escapedErrorIsReportedAndLoopGoesOn_data()
{
    QTest::addColumn<QString>("raised");
    QTest::addColumn<QString>("expected");
    QTest::newRow("program error from a timer handler") << "error"
                                                        << "Disk full.";
    QTest::newRow("out of memory") << "bad_alloc"
                                   << "Out of memory.";
    QTest::newRow("library exception") << "runtime"
                                       << "vector too long.";
    QTest::newRow("error while painting is reported after the paint") << "paint"
                                                                      << "Canvas does not allow drawing.";
}

void DialogsTest::escapedErrorIsReportedAndLoopGoesOn()
{
    QFETCH(QString, raised);
    QFETCH(QString, expected);
    QStringList reports;
    SetDialogResponder([&](const DialogRequest& r) {
        reports << r.text;
        return DialogAnswer{mrOk, {}};
    });
    bool afterwards = false;
    if (raised == u"paint") {
        PaintThrower widget;
        widget.resize(50, 50);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        widget.armed = true;
        widget.repaint();
        QVERIFY2(reports.isEmpty(), "a dialog was opened inside the paint");
        widget.armed = false;
    } else {
        QTimer::singleShot(0, [raised] {
            if (raised == u"error")
                throw Error("Disk full");
            if (raised == u"bad_alloc")
                throw std::bad_alloc();
            throw std::length_error("vector too long");
        });
    }
    QTimer::singleShot(0, [&] { afterwards = true; });
    QTRY_VERIFY(afterwards);
    QTRY_COMPARE(reports, QStringList{expected});
}

void DialogsTest::titleFromProgramPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("installed program") << "/usr/bin/murkglass"
                                       << "murkglass";
    QTest::newRow("first letter kept, rest lower-cased, cut at dot") << "PhotoTool.EXE"
                                                                     << "Phototool";
    QTest::newRow("cut at the first dot, not the last") << "./murkglass.bin.old"
                                                        << "murkglass";
    QTest::newRow("dot in a folder name does not cut") << "/opt/My.Apps/MURKGLASS"
                                                       << "Murkglass";
    QTest::newRow("non-ASCII letters lower-cased") << "/x/ÉCLAT"
                                                   << "Éclat";
    QTest::newRow("name starting with a dot gives empty title") << "/x/.hidden"
                                                                << "";
}

void DialogsTest::titleFromProgramPath()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(TitleFromProgramPath(path), title);
}

void DialogsTest::terminateNowEndsAtOnceWithCodeZero()
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MURKGLASS_TERMINATE_PROBE"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    // Buffered output is written; no window got a close event.
    QCOMPARE(child.readAllStandardOutput(), QByteArray("buffered"));
}

namespace {

class CloseReporter : public QWidget {
protected:
    void closeEvent(QCloseEvent*) override { std::fputs("closed", stdout); }
};

// The child of terminateNowEndsAtOnceWithCodeZero.
int TerminateProbe(int argc, char** argv)
{
    Application app(argc, argv);
    CloseReporter window;
    window.show();
    QTimer::singleShot(0, [] {
        std::fputs("buffered", stdout);
        TerminateNow();
    });
    app.exec();
    return 3;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet("MURKGLASS_TERMINATE_PROBE"))
        return TerminateProbe(argc, argv);
    Application app(argc, argv);
    DialogsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dialogs.moc"
