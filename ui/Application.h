#pragma once
// The application object. Its event dispatch is the one place where an error
// that escapes an event handler is caught and shown in the error report,
// after which the event loop goes on.
#include <QApplication>

namespace mg {

class Application : public QApplication {
public:
    // Fixes the application title from the program file's name (argv[0]).
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace mg
