// The main window: layout on resize, menus and check marks, the mask and the
// tree driving the list, keyboard routing and the batch commands' checks.
#include "ViewerFixture.h"

#include "batch/frmDecryptUnit.h"
#include "batch/frmEncryptUnit.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSemaphore>
#include <QSet>
#include <QStatusBar>
#include <QTimer>

using namespace mg;
using namespace mg::test;

namespace {
// A menu caption as shown: the access key mark is not drawn.
QString Caption(const QAction* action)
{
    return QString(action->text()).remove(u'&');
}
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startsOnTheRootFolderWithTheDefaultWindow()
    {
        TestFolder folder;
        folder.Add("b.jpg", {});
        folder.Add("A.bmp", {});
        folder.Add("noext", {});
        auto window = ShowMain(folder);
        QCOMPARE(frmMain, window.get());
        QCOMPARE(window->windowTitle(), QStringLiteral("Murkglass"));
        QCOMPARE(window->pos(), QPoint(332, 108));
        QCOMPARE(window->Edit2->text(), QStringLiteral("*.*"));
        QCOMPARE(window->FileListBox1->Directory(), folder.Root());
        QCOMPARE(window->FileListBox1->Count(), 3);
        QCOMPARE(window->StatusBar1->geometry(), QRect(0, 544, 609, 21));
        QCOMPARE(window->StatusText(), QString());
        QCOMPARE(window->font().pointSize(), 8);
        QVERIFY(window->ImgCrypt);
        QCOMPARE(window->Passphrase, std::string());
        QCOMPARE(window->DecryptionKey, 0);
        QVERIFY(!window->Image2->isVisible());
        // Tab order: tree, mask, list.
        window->activateWindow();
        window->ShellTreeView1->setFocus();
        QTest::keyClick(window->ShellTreeView1, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(window->Edit2));
        QTest::keyClick(window->Edit2, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(window->FileListBox1));
    }

    void layout_data()
    {
        QTest::addColumn<QSize>("asked"); // the window's size without its frame
        QTest::addColumn<bool>("widthPutBack");
        QTest::addColumn<bool>("heightPutBack");
        QTest::newRow("too small both ways is put back to 500 x 480") << QSize(300, 200) << true << true;
        QTest::newRow("too narrow only") << QSize(450, 700) << true << false;
        QTest::newRow("too low only") << QSize(800, 300) << false << true;
        QTest::newRow("larger than the default") << QSize(900, 750) << false << false;
    }
    void layout()
    {
        QFETCH(QSize, asked);
        QFETCH(bool, widthPutBack);
        QFETCH(bool, heightPutBack);
        TestFolder folder;
        folder.AddJpeg("p.jpg", 80, 60);
        ScriptedDialogs dialogs;
        auto window = ShowMain(folder);
        ClickItem(*window, "p.jpg"); // fitted: AutoSize off from here on
        const QSize frame = window->frameGeometry().size() - window->size();
        window->resize(asked);
        QCoreApplication::processEvents();
        // The minimum applies to the outer size, frame included.
        const QSize outer(widthPutBack ? 500 : asked.width() + frame.width(),
                          heightPutBack ? 480 : asked.height() + frame.height());
        QCOMPARE(window->frameGeometry().size(), outer);
        const QSize client = outer - frame - QSize(0, window->menuBar()->height());
        QCOMPARE(QSize(window->ClientWidth(), window->ClientHeight()), client);
        const int cw = client.width(), ch = client.height();
        QCOMPARE(window->GroupBox1->geometry(), QRect(160, 0, cw - 168, ch - 21));
        QCOMPARE(window->GroupBox2->geometry(), QRect(0, 0, 161, ch - 21));
        QCOMPARE(window->FileListBox1->geometry(), QRect(8, 172, 145, ch - 172 - 21));
        QCOMPARE(window->StatusBar1->geometry(), QRect(0, ch - 21, cw, 21));
        // The pane takes the whole box less the margins, stretched.
        const QSize box = window->GroupBox1->contentsRect().size();
        QCOMPARE(window->Image1->geometry(), QRect(8, 12, box.width() - 12, box.height() - 16));
        QCOMPARE(window->ShellTreeView1->geometry(), QRect(8, 8, 145, 137));
        QCOMPARE(window->Edit2->geometry(), QRect(8, 148, 145, 21));
    }

    void menus()
    {
        TestFolder folder;
        auto window = ShowMain(folder);
        QStringList shown;
        for (QAction* menu : window->menuBar()->actions()) {
            QStringList entries;
            for (QAction* a : menu->menu()->actions())
                entries << Caption(a) + (a->isChecked() ? "*" : "") + (a->shortcut().isEmpty() ? "" : "^");
            shown << Caption(menu) + ": " + entries.join(", ");
        }
        QCOMPARE(shown,
                 (QStringList{"File: View Normal*, View Encrypted, Delete, Exit",
                              "Decrypt: Set Decryption Key, Decrypt Selected Files...",
                              "Encrypt: Encrypt Selected Files...", "Options: Fit To Window*", "Help: Help, About"}));
    }

    // Every menu and entry has an access key, none used twice in one menu
    // bar or menu, so each is reached with Alt and letters alone.
    void menusHaveAccessKeys()
    {
        TestFolder folder;
        auto window = ShowMain(folder);
        auto checkKeys = [](const QList<QAction*>& actions) {
            QSet<QChar> keys;
            for (QAction* a : actions) {
                const QKeySequence key = QKeySequence::mnemonic(a->text());
                QVERIFY2(!key.isEmpty(), qPrintable(a->text()));
                const QChar letter = a->text().at(a->text().indexOf('&') + 1).toLower();
                QVERIFY2(!keys.contains(letter), qPrintable(a->text()));
                keys.insert(letter);
            }
        };
        checkKeys(window->menuBar()->actions());
        for (QAction* menu : window->menuBar()->actions())
            checkKeys(menu->menu()->actions());
    }

    // Controls without a caption of their own have a name a screen reader says.
    void controlsHaveAccessibleNames()
    {
        TestFolder folder;
        auto window = ShowMain(folder);
        const QList<QPair<QWidget*, QString>> named = {{window->ShellTreeView1, "Folders"},
                                                       {window->Edit2, "File mask"},
                                                       {window->FileListBox1, "Files"},
                                                       {window->Image1, "Picture"}};
        for (const auto& [widget, name] : named) {
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
            QVERIFY(face);
            QCOMPARE(face->text(QAccessible::Name), name);
        }
    }

    void viewPairAndFitting_data()
    {
        QTest::addColumn<QStringList>("choices");
        QTest::addColumn<bool>("normal");
        QTest::addColumn<bool>("encrypted");
        QTest::addColumn<bool>("fit");
        QTest::newRow("encrypted view unchecks normal") << QStringList{"ViewEncrypted1"} << false << true << true;
        QTest::newRow("back to normal") << QStringList{"ViewEncrypted1", "Open1"} << true << false << true;
        QTest::newRow("normal chosen twice stays checked") << QStringList{"Open1", "Open1"} << true << false << true;
        QTest::newRow("encrypted chosen twice stays checked")
            << QStringList{"ViewEncrypted1", "ViewEncrypted1"} << false << true << true;
        QTest::newRow("fit flips off") << QStringList{"FitToWindow1"} << true << false << false;
        QTest::newRow("fit flips back on") << QStringList{"FitToWindow1", "FitToWindow1"} << true << false << true;
    }
    void viewPairAndFitting()
    {
        QFETCH(QStringList, choices);
        QFETCH(bool, normal);
        QFETCH(bool, encrypted);
        QFETCH(bool, fit);
        TestFolder folder;
        folder.AddJpeg("p.jpg", 80, 60);
        ScriptedDialogs dialogs; // the passphrase prompt is cancelled
        auto window = ShowMain(folder);
        ClickItem(*window, "p.jpg");
        const QString status = window->StatusText();
        const QSize pane = window->Image1->size();
        for (const QString& name : choices)
            window->findChild<QAction*>(name)->trigger();
        QCOMPARE(window->Open1->isChecked(), normal);
        QCOMPARE(window->ViewEncrypted1->isChecked(), encrypted);
        QCOMPARE(window->FitToWindow1->isChecked(), fit);
        QCOMPARE(dialogs.seen.size(), int(choices.count("ViewEncrypted1")));
        // No view command shows the picture again.
        QCOMPARE(window->StatusText(), status);
        QCOMPARE(window->Image1->size(), pane);
        QVERIFY(window->Image1->Stretch());
        QCOMPARE(window->Image1->Picture().Width(), 80);
    }

    void viewEncryptedSetsTheKey()
    {
        TestFolder folder;
        ScriptedDialogs dialogs;
        dialogs.Answer(mrOk, "1234");
        auto window = ShowMain(folder);
        window->ViewEncrypted1->trigger();
        QCOMPARE(window->DecryptionKey, 1234);
        QVERIFY(window->ViewEncrypted1->isChecked());
    }

    void maskFiltersAsTyped()
    {
        TestFolder folder;
        folder.Add("a.jpg", {});
        folder.Add("b.JPEG", {});
        folder.Add("c.bmp", {});
        auto window = ShowMain(folder);
        window->Edit2->setFocus();
        window->Edit2->selectAll();
        QTest::keyClicks(window->Edit2, "*.jp");
        QCOMPARE(window->FileListBox1->Count(), 0);
        QTest::keyClicks(window->Edit2, "g;*.jpeg");
        QCOMPARE(window->FileListBox1->Count(), 2);
        QCOMPARE(window->FileListBox1->Mask(), std::string("*.jpg;*.jpeg"));
    }

    void treeMovesTheList()
    {
        TestFolder folder;
        QVERIFY(QDir().mkpath(QString::fromStdString(folder.Path("sub"))));
        folder.Add("sub/inner.jpg", {});
        folder.Add("outer.jpg", {});
        auto window = ShowMain(folder);
        QCOMPARE(window->FileListBox1->Items(0), std::string("outer.jpg"));
        QVERIFY(window->ShellTreeView1->SelectPath(folder.Path("sub")));
        QCOMPARE(window->FileListBox1->Directory(), folder.Path("sub"));
        QCOMPARE(window->FileListBox1->Count(), 1);
        QCOMPARE(window->FileListBox1->Items(0), std::string("inner.jpg"));
    }

    void keys_data()
    {
        QTest::addColumn<QString>("target"); // where the key goes
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("terminated");
        QTest::addColumn<QStringList>("dialogs");
        QTest::newRow("Escape in the list ends the program")
            << "list" << int(Qt::Key_Escape) << 0 << true << QStringList{};
        QTest::newRow("Delete in the list deletes")
            << "list" << int(Qt::Key_Delete) << 0 << false << QStringList{"No files selected for deletion!"};
        QTest::newRow("Control+Delete deletes too") << "list" << int(Qt::Key_Delete) << int(Qt::ControlModifier)
                                                    << false << QStringList{"No files selected for deletion!"};
        QTest::newRow("a character typed in the mask does not reach the window")
            << "mask" << int(Qt::Key_Q) << 0 << false << QStringList{};
        QTest::newRow("a character typed in the tree does not reach the window")
            << "tree" << int(Qt::Key_Q) << 0 << false << QStringList{};
        QTest::newRow("a character typed with no control focused is echoed")
            << "window" << int(Qt::Key_Q) << 0 << false << QStringList{"Key: q"};
        QTest::newRow("Escape elsewhere does not end the program")
            << "mask" << int(Qt::Key_Escape) << 0 << false << QStringList{};
        QTest::newRow("the Delete key types no character to echo")
            << "window" << int(Qt::Key_Delete) << 0 << false << QStringList{};
        QTest::newRow("Control+Backspace types DEL, which is echoed")
            << "window" << int(Qt::Key_Backspace) << int(Qt::ControlModifier) << false << QStringList{"Key: \x7f"};
    }
    void keys()
    {
        QFETCH(QString, target);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, terminated);
        QFETCH(QStringList, dialogs);
        TestFolder folder;
        folder.Add("a.jpg", {});
        ScriptedDialogs seam;
        auto window = ShowMain(folder);
        bool ended = false;
        window->Terminate = [&ended] { ended = true; };
        QWidget* widget = target == "list"   ? static_cast<QWidget*>(window->FileListBox1)
                          : target == "mask" ? static_cast<QWidget*>(window->Edit2)
                          : target == "tree" ? static_cast<QWidget*>(window->ShellTreeView1)
                                             : static_cast<QWidget*>(window.get());
        window->activateWindow();
        if (widget == window.get()) {
            if (QWidget* focus = QApplication::focusWidget())
                focus->clearFocus();
        } else {
            widget->setFocus();
        }
        // With the texts an X11 keyboard gives: DEL for Delete and for
        // Control+Backspace.
        if (key == Qt::Key_Delete || (key == Qt::Key_Backspace && modifiers == Qt::ControlModifier))
            for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                QKeyEvent event(type, key, Qt::KeyboardModifiers(modifiers), QStringLiteral("\x7f"));
                QApplication::sendEvent(widget, &event);
            }
        else
            QTest::keyClick(widget, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(ended, terminated);
        QCOMPARE(seam.Texts(), dialogs);
        if (!seam.seen.isEmpty() && dialogs.first().startsWith("Key: ")) {
            QCOMPARE(seam.seen.first().kind, mtInformation);
            QCOMPARE(seam.seen.first().buttons, mbOK);
        }
    }

    void closingTheMainWindowEndsTheLoopWhileToolWindowsAreOpen()
    {
        TestFolder folder;
        folder.AddJpeg("p.jpg", 40, 30);
        ScriptedDialogs dialogs;
        auto window = ShowMain(folder);
        ClickItem(*window, "p.jpg");
        window->Image1Click(); // the snapshot's tool window stays open
        QVERIFY(window->Image2->FloatHost()->isVisible());
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        // The signal comes only from a running event loop, as in the program.
        QTimer::singleShot(0, window.get(), [&] { window->close(); });
        QTimer::singleShot(3000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(lastClosed.count(), 1);
    }

    void exitEndsAtOnce()
    {
        TestFolder folder;
        auto window = ShowMain(folder);
        bool ended = false;
        window->Terminate = [&ended] { ended = true; };
        window->Exit1->trigger();
        QVERIFY(ended);
    }

    void batchWithoutSelection_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("message");
        QTest::newRow("encrypt") << "GO1"
                                 << "Please select files you wish to encrypt";
        QTest::newRow("decrypt") << "DecryptFiles1"
                                 << "Please select files you wish to decrypt";
    }
    void batchWithoutSelection()
    {
        QFETCH(QString, entry);
        QFETCH(QString, message);
        TestFolder folder;
        folder.Add("a.jpg", {});
        ScriptedDialogs dialogs;
        auto window = ShowMain(folder);
        window->findChild<QAction*>(entry)->trigger();
        QCOMPARE(dialogs.Texts(), QStringList{message});
        QCOMPARE(dialogs.seen.first().kind, mtCustom);
        QCOMPARE(dialogs.seen.first().buttons, mbOK);
    }

    // A huge folder at start-up: the window shows while the list is still
    // being read (the read is held here), and the commands meanwhile find
    // no files, so none is shown, deleted, encrypted or decrypted.
    void windowShowsBeforeAHugeFolderIsListed()
    {
        TestFolder folder;
        for (const char* f : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"})
            folder.Add(f, {});
        QSemaphore hold;
        TFileListBox::SetBackgroundReadGate([&hold] { hold.acquire(); });
        TFileListBox::SetEntriesReadAtOnce(3);
        struct Restore {
            ~Restore()
            {
                TFileListBox::SetBackgroundReadGate({});
                TFileListBox::SetEntriesReadAtOnce(TFileListBox::kEntriesReadAtOnce);
            }
        } restore;
        ScriptedDialogs dialogs;
        auto window = std::make_unique<TfrmMain>(folder.Root());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(window->FileListBox1->Reading());
        QCOMPARE(window->FileListBox1->Directory(), folder.Root());
        window->Delete1->trigger();
        window->GO1->trigger();
        window->DecryptFiles1->trigger();
        QTest::keyClick(window->FileListBox1, Qt::Key_Down);
        QCOMPARE(dialogs.Texts(),
                 (QStringList{"No files selected for deletion!", "Please select files you wish to encrypt",
                              "Please select files you wish to decrypt"}));
        QVERIFY(!window->Image1->Picture().Graphic());
        hold.release();
        QTRY_VERIFY(!window->FileListBox1->Reading());
        QCOMPARE(window->FileListBox1->Count(), 4);
        for (const char* f : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"})
            QVERIFY(folder.Exists(f));
        QTRY_COMPARE(window->FileListBox1->ThreadsRunning(), std::size_t(0));
    }

    void batchWindowOpensAndTheTreeIsRefreshed_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("label"); // empty: the label is not touched
        QTest::newRow("encrypt, one file: no singular form") << "GO1" << 1 << "1 files selected for encryption";
        QTest::newRow("encrypt, three files") << "GO1" << 3 << "3 files selected for encryption";
        QTest::newRow("decrypt sets no label") << "DecryptFiles1" << 2 << "";
    }
    void batchWindowOpensAndTheTreeIsRefreshed()
    {
        QFETCH(QString, entry);
        QFETCH(int, selected);
        QFETCH(QString, label);
        TestFolder folder;
        for (const char* f : {"a.jpg", "b.jpg", "c.jpg"})
            folder.Add(f, {});
        ScriptedDialogs dialogs;
        auto window = ShowMain(folder);
        TfrmEncrypt encrypt(folder.Root());
        TfrmDecrypt decrypt(folder.Root());
        frmEncrypt = &encrypt;
        frmDecrypt = &decrypt;
        encrypt.lblCount->setText("untouched");
        for (int i = 0; i < selected; ++i)
            window->FileListBox1->SetSelected(i, true);
        const int before = window->ShellTreeView1->RootNode()->childCount();
        // While the window is open a folder appears; the window is cancelled.
        QWidget* shown = nullptr;
        QTimer::singleShot(0, [&] {
            shown = QApplication::activeModalWidget();
            QVERIFY(QDir().mkpath(QString::fromStdString(folder.Path("made meanwhile"))));
            if (auto* dialog = qobject_cast<QDialog*>(shown))
                dialog->reject();
        });
        window->findChild<QAction*>(entry)->trigger();
        frmEncrypt = nullptr;
        frmDecrypt = nullptr;
        QCOMPARE(shown, entry == "GO1" ? static_cast<QWidget*>(&encrypt) : static_cast<QWidget*>(&decrypt));
        QCOMPARE(encrypt.lblCount->text(), label.isEmpty() ? QStringLiteral("untouched") : label);
        QCOMPARE(window->ShellTreeView1->RootNode()->childCount(), before + 1);
    }
};

MG_VIEWER_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
