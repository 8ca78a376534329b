// The two batch windows as windows: how a showing ends, the
// destination label, the refusal to write without a real destination
// folder, and buttons that take no clicks while a batch runs.
#include "BatchFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

using namespace mg;
using namespace mg::test;

namespace {

// Counts paint events a window receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

QDialog& Window(BatchDesk& desk, bool encrypt)
{
    return encrypt ? static_cast<QDialog&>(*desk.encrypt) : *desk.decrypt;
}

QPushButton* StartButton(BatchDesk& desk, bool encrypt)
{
    return encrypt ? desk.encrypt->Button3 : desk.decrypt->cmdGo;
}

QPushButton* CancelButton(BatchDesk& desk, bool encrypt)
{
    return encrypt ? desk.encrypt->Button2 : desk.decrypt->Cancel;
}

} // namespace

class TestBatchWindows : public QObject {
    Q_OBJECT

private slots:
    // A showing ends with the button's ModalResult after its handler, also
    // when the passphrase was not confirmed; Cancel, Escape and the close
    // box end it with 2.
    void showing_ends_data()
    {
        QTest::addColumn<bool>("encrypt");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("prompts");
        QTest::addColumn<QStringList>("messages"); // texts shown
        QTest::addColumn<int>("result");

        QTest::newRow("encrypt: keys that do not match run no batch and close with 1")
            << true << "start" << QStringList{"ok:one", "ok:two"} << QStringList{"Keys DID NOT match"} << 1;
        QTest::newRow("encrypt: a cancelled confirmation closes with 1")
            << true << "start" << QStringList{"ok:one", "cancel"} << QStringList{} << 1;
        QTest::newRow("encrypt: cancel closes with 2") << true << "cancel" << QStringList{} << QStringList{} << 2;
        QTest::newRow("encrypt: escape closes with 2") << true << "escape" << QStringList{} << QStringList{} << 2;
        QTest::newRow("decrypt: cancel closes with 2") << false << "cancel" << QStringList{} << QStringList{} << 2;
        QTest::newRow("decrypt: escape closes with 2") << false << "escape" << QStringList{} << QStringList{} << 2;
        QTest::newRow("encrypt: escape in the tree closes with 2")
            << true << "escape in tree" << QStringList{} << QStringList{} << 2;
        QTest::newRow("encrypt: escape in the extension edit closes with 2")
            << true << "escape in edit" << QStringList{} << QStringList{} << 2;
        QTest::newRow("decrypt: escape in the tree closes with 2")
            << false << "escape in tree" << QStringList{} << QStringList{} << 2;
        QTest::newRow("decrypt: escape in the extension edit closes with 2")
            << false << "escape in edit" << QStringList{} << QStringList{} << 2;
        QTest::newRow("decrypt: the close box closes with 2")
            << false << "close" << QStringList{} << QStringList{} << 2;
        QTest::newRow("decrypt: a cancelled prompt still runs and closes with 1")
            << false << "start" << QStringList{"cancel"} << QStringList{"Decrypt: %1/a.Bin to %1/out/a.JPG"} << 1;
    }

    void showing_ends()
    {
        QFETCH(bool, encrypt);
        QFETCH(QString, how);
        QFETCH(QStringList, prompts);
        QFETCH(QStringList, messages);
        QFETCH(int, result);

        BatchDesk desk;
        desk.Add("a.Bin", {1, 2, 3});
        desk.MakeFolder("out");
        desk.Open();
        desk.Select("a.Bin");
        QVERIFY((encrypt ? desk.encrypt->ShellTreeView1 : desk.decrypt->ShellTreeView1)->SelectPath(desk.Path("out")));
        QDialog& w = Window(desk, encrypt);
        Script script;
        for (const QString& p : prompts)
            script.Prompt(p);
        script.Message(mrNo);
        QTimer::singleShot(0, &w, [&] {
            if (how == u"start")
                StartButton(desk, encrypt)->click();
            else if (how == u"cancel")
                CancelButton(desk, encrypt)->click();
            else if (how == u"escape")
                QTest::keyClick(&w, Qt::Key_Escape);
            else if (how == u"escape in tree")
                QTest::keyClick(encrypt ? desk.encrypt->ShellTreeView1 : desk.decrypt->ShellTreeView1, Qt::Key_Escape);
            else if (how == u"escape in edit")
                QTest::keyClick(encrypt ? desk.encrypt->txtExtension : desk.decrypt->txtExtension, Qt::Key_Escape);
            else
                w.close();
        });
        const int shownResult = encrypt ? desk.encrypt->ShowModal() : desk.decrypt->ShowModal();
        QCOMPARE(shownResult, result);
        QVERIFY(!w.isVisible());
        QStringList expected;
        for (const QString& m : messages)
            expected << m.arg(Q(desk.root));
        QCOMPARE(script.MessageTexts(), expected);
        QCOMPARE(desk.Names("out"), QStringList{});
    }

    // A second showing after a completed batch: the main window's count
    // text again, the bar hidden, the destination label shown, and the
    // user's settings as they were left.
    void second_showing_after_a_batch()
    {
        BatchDesk desk;
        desk.Add("a.jpg", MakeJpeg(8, 8));
        desk.Add("b.jpg", MakeJpeg(16, 8));
        desk.MakeFolder("out");
        desk.Open();
        desk.Select("a.jpg");
        desk.Select("b.jpg");
        TfrmEncrypt& w = *desk.encrypt;
        QVERIFY(w.ShellTreeView1->SelectPath(desk.Path("out")));
        w.rbRot13->setChecked(true);
        w.txtExtension->setText(QStringLiteral("enc"));
        Script script;
        script.Prompt(QStringLiteral("ok:key"));
        script.Prompt(QStringLiteral("ok:key"));
        script.Message(mrAll);
        QTimer::singleShot(0, &w, [&] { w.Button3->click(); });
        desk.main->GO1Click();
        QCOMPARE(script.unexpected, 0);
        QCOMPARE(desk.Names("out"), (QStringList{"n.enc", "o.enc"}));
        QCOMPARE(w.lblCount->text(), QStringLiteral("Ready"));

        QString count;
        bool barHidden = false, labelShown = false, rot13 = false;
        QString extension, destination;
        QTimer::singleShot(0, &w, [&] {
            count = w.lblCount->text();
            barHidden = w.ProgressBar1->isHidden();
            labelShown = !w.lblCurrentDirectory->isHidden();
            rot13 = w.rbRot13->isChecked();
            extension = w.txtExtension->text();
            destination = Q(w.ShellTreeView1->Path());
            w.Button2->click();
        });
        desk.main->GO1Click();
        QCOMPARE(count, QStringLiteral("2 files selected for encryption"));
        QVERIFY(barHidden);
        QVERIFY(labelShown);
        QVERIFY(rot13);
        QCOMPARE(extension, QStringLiteral("enc"));
        QCOMPARE(destination, Q(desk.Path("out")));
        QVERIFY(!w.isVisible());
    }

    // Nothing tells the window's tree about changes on disk; a folder made
    // elsewhere shows at the next showing, and the selection stays.
    void folders_made_elsewhere_show_at_the_next_showing_data()
    {
        QTest::addColumn<bool>("encrypt");
        QTest::newRow("encrypt window") << true;
        QTest::newRow("decrypt window") << false;
    }

    void folders_made_elsewhere_show_at_the_next_showing()
    {
        QFETCH(bool, encrypt);
        BatchDesk desk;
        desk.MakeFolder("out");
        desk.Open();
        TShellTreeView& tree = encrypt ? *desk.encrypt->ShellTreeView1 : *desk.decrypt->ShellTreeView1;
        QVERIFY(tree.SelectPath(desk.Path("out")));
        desk.MakeFolder("later");
        QDialog& w = Window(desk, encrypt);
        bool shown = false;
        QTimer::singleShot(0, &w, [&] {
            QTreeWidgetItem* root = tree.RootNode();
            for (int i = 0; i < root->childCount(); ++i)
                shown = shown || root->child(i)->text(0) == u"later";
            CancelButton(desk, encrypt)->click();
        });
        encrypt ? desk.encrypt->ShowModal() : desk.decrypt->ShowModal();
        QVERIFY(shown);
        QCOMPARE(tree.Path(), desk.Path("out"));
    }

    // With no node or a virtual folder selected in the window's tree, the
    // start button explains and writes nothing; the window stays open so
    // that a folder can be picked.
    void no_destination_folder_data()
    {
        QTest::addColumn<bool>("encrypt");
        QTest::addColumn<bool>("computer"); // the virtual Computer; else no node

        QTest::newRow("encrypt: the virtual Computer is no destination") << true << true;
        QTest::newRow("encrypt: no selected node is no destination") << true << false;
        QTest::newRow("decrypt: the virtual Computer is no destination") << false << true;
        QTest::newRow("decrypt: no selected node is no destination") << false << false;
    }

    void no_destination_folder()
    {
        QFETCH(bool, encrypt);
        QFETCH(bool, computer);

        BatchDesk desk;
        desk.Add("a.jpg", MakeJpeg(8, 8));
        desk.Open();
        desk.Select("a.jpg");
        // A folder named like the virtual one below the current folder must
        // not receive anything either.
        desk.MakeFolder("Computer");
        QDir::setCurrent(Q(desk.root));
        TShellTreeView& tree = encrypt ? *desk.encrypt->ShellTreeView1 : *desk.decrypt->ShellTreeView1;
        if (computer) {
            QVERIFY(tree.SelectPath("Computer"));
            QCOMPARE(tree.Path(), std::string("Computer"));
        } else {
            tree.clearSelection();
            tree.selectionModel()->clearCurrentIndex();
            QCOMPARE(tree.Path(), std::string());
        }
        QDialog& w = Window(desk, encrypt);
        w.show();
        Script script;
        script.Message(mrOk);
        StartButton(desk, encrypt)->click();
        QCOMPARE(script.MessageTexts(), QStringList{QStringLiteral("Please select a destination folder")});
        QCOMPARE(script.PromptCount(), 0);
        QCOMPARE(script.unexpected, 0);
        QVERIFY(w.isVisible());
        QCOMPARE(w.result(), int(mrNone));
        QCOMPARE(desk.Names("Computer"), QStringList{});
        QCOMPARE(desk.Names(""), (QStringList{"Computer", "a.jpg"}));
    }

    // With the main tree on the virtual Computer the list still shows the
    // previous folder, and the batch reads the files it shows there: never a
    // name joined to "Computer", which would reach a file below the current
    // folder. Here the listed a.Bin is no picture, the one below "Computer"
    // would decrypt.
    void source_folder_that_is_no_path_data()
    {
        QTest::addColumn<bool>("encrypt");
        QTest::newRow("encrypt: the listed file, not one below a folder named Computer") << true;
        QTest::newRow("decrypt: the listed file, not one below a folder named Computer") << false;
    }

    void source_folder_that_is_no_path()
    {
        QFETCH(bool, encrypt);
        constexpr std::int32_t key = 77;
        BatchDesk desk;
        const std::string item = encrypt ? "a.jpg" : "a.Bin";
        desk.Add(item, {1, 2, 3});
        desk.MakeFolder("Computer");
        desk.MakeFolder("out");
        {
            const std::string plain = desk.Path("plain.tmp");
            WriteFile(plain, MakeJpeg(8, 8));
            TImgCrypt crypt;
            QVERIFY(crypt.EncryptFile(plain, desk.Path("Computer/" + item), key));
            QVERIFY(QFile::remove(Q(plain)));
        }
        const std::vector<std::uint8_t> below = ReadFile(desk.Path("Computer/" + item));
        desk.Open();
        desk.main->DecryptionKey = key;
        QVERIFY(desk.main->ShellTreeView1->SelectPath("Computer"));
        QCOMPARE(desk.main->ShellTreeView1->Path(), std::string("Computer"));
        QDir::setCurrent(Q(desk.root));
        desk.Select(item);
        Script script;
        if (encrypt) {
            QVERIFY(desk.encrypt->ShellTreeView1->SelectPath(desk.Path("out")));
            desk.encrypt->rbKeepExisting->setChecked(true);
            script.Messages({mrYes});
            QVERIFY(desk.encrypt->DoCrypt());
            QCOMPARE(script.MessageTexts(), QStringList{QStringLiteral("Encrypt: ") + Q(desk.Path(item))
                                                        + QStringLiteral(" to ") + Q(desk.Path("out/a.Bin"))});
            TImgCrypt crypt;
            QVERIFY(crypt.EncryptFile(desk.Path(item), desk.Path("expected"), key));
            QCOMPARE(ReadFile(desk.Path("out/a.Bin")), ReadFile(desk.Path("expected")));
        } else {
            QVERIFY(desk.decrypt->ShellTreeView1->SelectPath(desk.Path("out")));
            script.Messages({mrYes});
            QVERIFY(desk.decrypt->DecryptFiles());
            QCOMPARE(script.MessageTexts(), QStringList{QStringLiteral("Decrypt: ") + Q(desk.Path(item))
                                                        + QStringLiteral(" to ") + Q(desk.Path("out/a.JPG"))});
            QCOMPARE(desk.Names("out"), QStringList{});
        }
        QCOMPARE(script.unexpected, 0);
        QCOMPARE(desk.Names("Computer"), QStringList{Q(item)});
        QCOMPARE(ReadFile(desk.Path("Computer/" + item)), below);
    }

    // While a batch runs, its window's buttons, Escape and the close box do
    // nothing: no second batch, no early close.
    void clicks_ignored_during_a_batch_data()
    {
        QTest::addColumn<bool>("encrypt");
        QTest::newRow("encrypt window") << true;
        QTest::newRow("decrypt window") << false;
    }

    void clicks_ignored_during_a_batch()
    {
        QFETCH(bool, encrypt);
        BatchDesk desk;
        for (const char* f : {"a.jpg", "b.jpg", "c.jpg"})
            desk.Add(f, MakeJpeg(8, 8));
        desk.MakeFolder("out");
        desk.Open();
        for (const char* f : {"a.jpg", "b.jpg", "c.jpg"})
            desk.Select(f);
        QVERIFY((encrypt ? desk.encrypt->ShellTreeView1 : desk.decrypt->ShellTreeView1)->SelectPath(desk.Path("out")));
        QDialog& w = Window(desk, encrypt);
        Script script;
        script.Prompt(QStringLiteral("ok:7"));
        if (encrypt)
            script.Prompt(QStringLiteral("ok:7"));
        script.Messages({mrYes, mrYes, mrYes});
        QList<bool> stillOpen;
        script.onMessage = [&](int) {
            stillOpen << w.isVisible();
            // Everything a user could do to the window meanwhile.
            QTest::mouseClick(StartButton(desk, encrypt), Qt::LeftButton);
            QTest::mouseClick(CancelButton(desk, encrypt), Qt::LeftButton);
            QTest::mouseClick(encrypt ? desk.encrypt->Button1 : desk.decrypt->cmdCreateFolder, Qt::LeftButton);
            StartButton(desk, encrypt)->click();
            QTest::keyClick(&w, Qt::Key_Escape);
            w.close();
        };
        QTimer::singleShot(0, &w, [&] { StartButton(desk, encrypt)->click(); });
        const int shownResult = encrypt ? desk.encrypt->ShowModal() : desk.decrypt->ShowModal();
        QCOMPARE(shownResult, int(mrOk));
        QCOMPARE(stillOpen, (QList<bool>{true, true, true}));
        QCOMPARE(script.MessageTexts().size(), 3);
        QCOMPARE(script.PromptCount(), encrypt ? 2 : 1);
        QCOMPARE(script.unexpected, 0);
        QVERIFY(StartButton(desk, encrypt)->isEnabled());
    }

    // The destination label: the path cut at its first "Desktop"; the
    // decrypt window also shows the main list's selected count.
    void destination_label_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("shown"); // %1 stands for the desktop

        QTest::newRow("a folder without the word shows its full path") << "pics"
                                                                       << "CurrentDir = %1/pics";
        QTest::newRow("a path that contains the word is cut there") << "OldDesktop/x"
                                                                    << "CurrentDir = Desktop/x";
        QTest::newRow("the cut is case-sensitive") << "desktop"
                                                   << "CurrentDir = %1/desktop";
    }

    void destination_label()
    {
        QFETCH(QString, folder);
        QFETCH(QString, shown);
        BatchDesk desk;
        desk.MakeFolder(folder.toStdString());
        desk.Add("a.jpg", {1});
        desk.Add("b.jpg", {2});
        desk.Add("c.jpg", {3});
        desk.Open();
        desk.Select("a.jpg");
        desk.Select("c.jpg");
        QVERIFY(desk.encrypt->ShellTreeView1->SelectPath(desk.Path(folder.toStdString())));
        QVERIFY(desk.decrypt->ShellTreeView1->SelectPath(desk.Path(folder.toStdString())));
        const QString expected = shown.contains(u'%') ? shown.arg(Q(desk.root)) : shown;
        QCOMPARE(desk.encrypt->lblCurrentDirectory->text(), expected);
        QCOMPARE(desk.decrypt->lblDirectoryInfo->text(), expected);
        desk.decrypt->MyPaint();
        QCOMPARE(desk.decrypt->lblFileInfo->text(), QStringLiteral("2 files selected for decryption"));
        // The label grows with its text.
        QVERIFY(desk.decrypt->lblFileInfo->width() >= desk.decrypt->lblFileInfo->sizeHint().width());
    }

    // Painting rewrites the labels; the same text again causes no paint, so
    // a shown window comes to rest.
    void painting_comes_to_rest_data()
    {
        QTest::addColumn<bool>("encrypt");
        QTest::newRow("encrypt window") << true;
        QTest::newRow("decrypt window") << false;
    }

    void painting_comes_to_rest()
    {
        QFETCH(bool, encrypt);
        BatchDesk desk;
        desk.Open();
        QDialog& w = Window(desk, encrypt);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::qWait(100);
        PaintCounter counter;
        w.installEventFilter(&counter);
        for (QWidget* child : w.findChildren<QWidget*>())
            child->installEventFilter(&counter);
        QTest::qWait(300);
        QCOMPARE(counter.paints, 0);
    }
};

QTEST_MAIN(TestBatchWindows)
#include "tst_windows.moc"
