#pragma once
// Set-up shared by the benchmarks that open windows. Header only, so the
// helpers in BenchSupport.h stay free of Qt for the benchmarks without
// windows.
#include "ui/Dialogs.h"

#include <QByteArray>
#include <cstdio>

namespace mg::bench {

// Windows go to the offscreen platform unless QT_QPA_PLATFORM names one
// (xvfb-run gives a real X server). Call before the application is made.
inline void OffscreenUnlessChosen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// A dialog during a timed run means the set-up went wrong: it is named on
// stderr and answered OK, so the run ends rather than waiting for a click.
inline void ReportUnexpectedDialogs()
{
    SetDialogResponder([](const DialogRequest& r) {
        std::fprintf(stderr, "unexpected dialog: %s\n", qPrintable(r.text));
        return DialogAnswer{mrOk, {}};
    });
}

} // namespace mg::bench
