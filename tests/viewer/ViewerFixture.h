#pragma once
// Fixtures for the main window's tests: a temporary folder filled from a
// list, the main window built on it, and a dialog responder that records
// every dialog and answers from a script.
#include "tests/common/TestJpeg.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "viewer/murkglassmain.h"

#include <QList>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace mg::test {

// Records the dialogs shown and answers them in order; unscripted dialogs
// are answered with Cancel (the close box), inputs with their default.
class ScriptedDialogs {
public:
    ScriptedDialogs()
    {
        SetDialogResponder([this](const DialogRequest& request) {
            seen.append(request);
            if (answers.isEmpty())
                return DialogAnswer{mrCancel, request.defaultText};
            return answers.takeFirst();
        });
    }
    ~ScriptedDialogs() { SetDialogResponder({}); }
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    void Answer(int result, const QString& text = {}) { answers.append(DialogAnswer{result, text}); }
    QStringList Texts() const
    {
        QStringList texts;
        for (const DialogRequest& r : seen)
            texts << r.text;
        return texts;
    }

    QList<DialogRequest> seen;
    QList<DialogAnswer> answers;
};

// A temporary folder with files made from a list.
class TestFolder {
public:
    TestFolder() { QVERIFY(dir_.isValid()); }
    std::string Root() const { return dir_.path().toStdString(); }
    std::string Path(const std::string& name) const { return Root() + "/" + name; }
    void Add(const std::string& name, const std::vector<std::uint8_t>& bytes) { WriteFile(Path(name), bytes); }
    void AddJpeg(const std::string& name, int width, int height) { Add(name, MakeJpeg(width, height)); }
    // By the name's bytes, which need not be UTF-8.
    bool Exists(const std::string& name) const { return ::access(Path(name).c_str(), F_OK) == 0; }

private:
    QTemporaryDir dir_;
};

// The main window on a folder, shown (offscreen) at its default size.
inline std::unique_ptr<TfrmMain> ShowMain(const TestFolder& folder)
{
    auto window = std::make_unique<TfrmMain>(folder.Root());
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("main window not exposed");
    return window;
}

inline int IndexOf(const TFileListBox& list, const std::string& name)
{
    for (int i = 0; i < list.Count(); ++i)
        if (list.Items(i) == name)
            return i;
    return -1;
}

// A left click on the named item, as the user makes it: the event goes
// through the application object, so escaped errors reach the error report.
inline void ClickItem(TfrmMain& window, const std::string& name, Qt::KeyboardModifiers modifiers = {})
{
    TFileListBox* list = window.FileListBox1;
    const int index = IndexOf(*list, name);
    QVERIFY2(index >= 0, name.c_str());
    list->scrollTo(list->model()->index(index, 0));
    const QRect rect = list->visualRect(list->model()->index(index, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rect.center());
}

} // namespace mg::test

// Test main with the program's own application object.
#define MG_VIEWER_TEST_MAIN(TestClass)                                                                                 \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        mg::Application app(argc, argv);                                                                               \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        TestClass test;                                                                                                \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
