#pragma once
// Fixtures for the batch windows' tests: a temporary folder that stands for
// the desktop (the root of every folder tree), the main window and the two
// batch windows built on it, and a dialog responder that answers from a
// script and writes down what was asked.
#include "batch/frmDecryptUnit.h"
#include "batch/frmEncryptUnit.h"
#include "tests/common/TestJpeg.h"
#include "ui/Dialogs.h"
#include "ui/ShellTreeView.h"
#include "viewer/murkglassmain.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mg::test {

// One dialog as the user saw it.
struct Seen {
    DialogRequest request;
    int cursor = 0; // the application cursor while it was up
};

// Answers dialogs in order from a script: message answers are ModalResults,
// prompts are answered "ok:<text>" or "cancel". A dialog beyond the script
// is answered with Cancel (the close box) and counted as unexpected.
class Script {
public:
    Script()
    {
        SetDialogResponder([this](const DialogRequest& r) { return Answer(r); });
    }
    ~Script() { SetDialogResponder({}); }
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;

    void Prompt(const QString& answer) { prompts.append(answer); }
    void Message(int result) { messages.append(result); }
    void Messages(const QList<int>& results) { messages.append(results); }

    QStringList MessageTexts() const
    {
        QStringList texts;
        for (const Seen& s : seen)
            if (s.request.type == DialogRequest::Message)
                texts << s.request.text;
        return texts;
    }
    int PromptCount() const
    {
        int n = 0;
        for (const Seen& s : seen)
            n += s.request.type == DialogRequest::Input;
        return n;
    }

    QList<Seen> seen;
    QStringList prompts;
    QList<int> messages;
    int unexpected = 0;
    // Runs when a message dialog comes up, before it is answered; the
    // argument counts the message dialogs from 1.
    std::function<void(int)> onMessage;

private:
    DialogAnswer Answer(const DialogRequest& r)
    {
        seen.append({r, ScreenCursorValue()});
        if (r.type == DialogRequest::Input) {
            if (prompts.isEmpty()) {
                ++unexpected;
                return {mrCancel, {}};
            }
            const QString a = prompts.takeFirst();
            if (a.startsWith(u"ok:"))
                return {mrOk, a.mid(3)};
            return {mrCancel, {}};
        }
        if (onMessage)
            onMessage(static_cast<int>(MessageTexts().size()));
        if (messages.isEmpty()) {
            ++unexpected;
            return {mrCancel, {}};
        }
        return {messages.takeFirst(), {}};
    }
};

// A fixed clock: 15 January 2024, 09:30:45.123.
inline naming::LocalTime FixedTime()
{
    return {2024, 1, 15, 9, 30, 45, 123};
}

// The temporary desktop with the main window and both batch windows on it.
class BatchDesk {
public:
    BatchDesk()
    {
        QVERIFY(dir_.isValid());
        root = QDir(dir_.path()).canonicalPath().toStdString();
    }
    ~BatchDesk()
    {
        decrypt.reset();
        encrypt.reset();
        main.reset();
        frmMain = nullptr;
        QDir::setCurrent(QDir::tempPath());
    }
    BatchDesk(const BatchDesk&) = delete;
    BatchDesk& operator=(const BatchDesk&) = delete;

    std::string Path(const std::string& name) const { return root + "/" + name; }
    void Add(const std::string& name, const std::vector<std::uint8_t>& bytes) { WriteFile(Path(name), bytes); }
    void MakeFolder(const std::string& name) { QVERIFY(QDir().mkpath(QString::fromStdString(Path(name)))); }
    bool Exists(const std::string& name) const { return QFileInfo::exists(QString::fromStdString(Path(name))); }
    // The names in a folder of the desktop, hidden ones included, sorted by
    // code point.
    QStringList Names(const std::string& folder) const
    {
        QStringList names =
            QDir(QString::fromStdString(Path(folder)))
                .entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDir::Unsorted);
        names.sort();
        return names;
    }

    // Builds the windows (after the files are in place, so the main list
    // shows them) and publishes them in the globals.
    void Open()
    {
        main = std::make_unique<TfrmMain>(root);
        encrypt = std::make_unique<TfrmEncrypt>(root);
        decrypt = std::make_unique<TfrmDecrypt>(root);
        frmMain = main.get();
        frmEncrypt = encrypt.get();
        frmDecrypt = decrypt.get();
        encrypt->Clock = FixedTime;
        decrypt->Clock = FixedTime;
    }
    // Moves the main tree (and with it the main list) to a folder.
    void MainFolder(const std::string& folder)
    {
        QVERIFY(main->ShellTreeView1->SelectPath(Path(folder)));
        main->FileListBox1->Update();
    }
    TFileListBox& List() const { return *main->FileListBox1; }
    int IndexOf(const std::string& item) const
    {
        for (int i = 0; i < List().Count(); ++i)
            if (List().Items(i) == item)
                return i;
        return -1;
    }
    void Select(const std::string& item, bool selected = true)
    {
        const int i = IndexOf(item);
        QVERIFY2(i >= 0, item.c_str());
        List().SetSelected(i, selected);
    }

    std::string root;
    std::unique_ptr<TfrmMain> main;
    std::unique_ptr<TfrmEncrypt> encrypt;
    std::unique_ptr<TfrmDecrypt> decrypt;

private:
    QTemporaryDir dir_;
};

inline QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

} // namespace mg::test
