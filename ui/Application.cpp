#include "ui/Application.h"

#include "base/Error.h"
#include "ui/Dialogs.h"

#include <QCursor>
#include <QDialog>
#include <QEvent>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <new>

namespace mg {
namespace {

// Errors raised while painting must not open a modal dialog inside the
// paint: their report follows right after the current event.
bool IsPainting(QEvent::Type type)
{
    return type == QEvent::Paint || type == QEvent::UpdateRequest || type == QEvent::UpdateLater;
}

void ReportEscapedError(const QString& message, QEvent::Type during)
{
    if (IsPainting(during))
        PostErrorReport(message);
    else
        ErrorReport(message);
}

// The application-wide cursor: one value for the whole process, shown as
// Qt's override cursor while it is not the default. Every change of the
// cursor counts, so that a modal window can tell whether the cursor was set
// while it was open.
int g_cursor = crDefault;
unsigned long long g_cursorSets = 0;
bool g_overridden = false;

Qt::CursorShape ShapeFor(int cursor)
{
    return cursor == crHourGlass ? Qt::WaitCursor : Qt::ArrowCursor;
}

void ApplyCursor()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    if (g_cursor == crDefault) {
        // Removing the override gives every window its own cursor back at
        // once; Qt re-applies the cursor of the window under the mouse.
        if (g_overridden)
            QGuiApplication::restoreOverrideCursor();
        g_overridden = false;
        return;
    }
    const QCursor shape(ShapeFor(g_cursor));
    if (g_overridden)
        QGuiApplication::changeOverrideCursor(shape);
    else
        QGuiApplication::setOverrideCursor(shape);
    g_overridden = true;
}

} // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    SetApplicationTitle(TitleFromProgramPath(QString::fromLocal8Bit(argc > 0 ? argv[0] : "")));
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    const QEvent::Type type = event->type();
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportEscapedError(ErrorMessage(std::current_exception()), type);
    }
    return false;
}

void ScreenCursor(int cursor)
{
    ++g_cursorSets;
    if (cursor == g_cursor)
        return;
    g_cursor = cursor;
    ApplyCursor();
}

int ScreenCursorValue()
{
    return g_cursor;
}

ModalCursorScope::ModalCursorScope() : savedCursor_(g_cursor)
{
    ScreenCursor(crDefault);
    setsAtOpen_ = g_cursorSets;
}

ModalCursorScope::~ModalCursorScope()
{
    ScreenCursor(g_cursorSets == setsAtOpen_ ? savedCursor_ : crDefault);
}

int ShowModalWindow(QDialog& window)
{
    ModalCursorScope cursorRules;
    return window.exec();
}

void ProcessPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Ends the process at once with exit code 0: no close events, no questions.
// The program keeps no state and every file it writes is complete on disk
// before the handler that wrote it returns, so only the standard streams need
// flushing; the windows and the application object are left to the operating
// system, because running the static destructors while the application
// object on main's stack is still alive is not something Qt supports.
void TerminateNow()
{
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace mg
