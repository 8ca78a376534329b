// The encrypt window's batch, driven through the dialog seam: answer
// sequences, the bar, the labels, names unique within a batch, and outputs
// that stay whole when a batch is interrupted.
#include "BatchFixture.h"
#include "base/SafeFile.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <filesystem>
#include <unistd.h>

using namespace mg;
using namespace mg::test;

namespace {

constexpr std::int32_t kKey = 4242;

// Items: "a" is a selected file a.jpg, "-a" one that is not selected, "!a"
// one that is selected but removed after the list was read.
struct Item {
    std::string name;
    bool selected = true;
    bool removed = false;
};

Item ParseItem(const QString& token)
{
    Item item;
    QString t = token;
    if (t.startsWith(u'-')) {
        item.selected = false;
        t.remove(0, 1);
    } else if (t.startsWith(u'!')) {
        item.removed = true;
        t.remove(0, 1);
    }
    item.name = t.toStdString() + ".jpg";
    return item;
}

} // namespace

class TestEncryptBatch : public QObject {
    Q_OBJECT

private:
    // Fills the desktop with the items, opens the windows, selects, points
    // the window at "out" with keep-existing names.
    void Prepare(BatchDesk& desk, const QStringList& items)
    {
        int n = 0;
        for (const QString& token : items)
            desk.Add(ParseItem(token).name, MakeJpeg(8 + n++, 8));
        desk.MakeFolder("out");
        desk.Open();
        for (const QString& token : items) {
            const Item item = ParseItem(token);
            desk.Select(item.name, item.selected);
        }
        for (const QString& token : items) {
            const Item item = ParseItem(token);
            if (item.removed)
                QVERIFY(QFile::remove(Q(desk.Path(item.name))));
        }
        QVERIFY(desk.encrypt->ShellTreeView1->SelectPath(desk.Path("out")));
        desk.encrypt->rbKeepExisting->setChecked(true);
        desk.main->DecryptionKey = kKey;
        desk.encrypt->lblCount->setText(QString::number(desk.List().SelCount())
                                        + QStringLiteral(" files selected for encryption"));
    }

    // The bytes the cipher writes for a file with the test key.
    std::vector<std::uint8_t> Encrypted(BatchDesk& desk, const std::string& source)
    {
        const std::string expect = desk.Path("expected.tmp");
        TImgCrypt crypt;
        if (!crypt.EncryptFile(source, expect, kKey))
            return {};
        auto bytes = ReadFile(expect);
        QFile::remove(Q(expect));
        return bytes;
    }

private slots:
    void answers_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QStringList>("dialogs"); // Q:x a question, F:x a failure
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<bool>("completed");
        QTest::addColumn<QString>("countText"); // %1 stands for the desktop
        QTest::addColumn<QList<int>>("positions");

        const QString counted = QStringLiteral("%1 files selected for encryption");
        QTest::newRow("cancel at the first question writes nothing and keeps the count text")
            << QStringList{"a", "b", "c"} << QList<int>{mrCancel} << QStringList{"Q:a"} << QStringList{} << false
            << counted.arg(3) << QList<int>{};
        QTest::newRow("all at the first question encrypts every file without asking again")
            << QStringList{"a", "b", "c"} << QList<int>{mrAll} << QStringList{"Q:a"} << QStringList{"a", "b", "c"}
            << true << QStringLiteral("Ready") << QList<int>{1, 2};
        QTest::newRow("after all, ok at a failure asks about the next file again")
            << QStringList{"a", "!b", "c", "d"} << QList<int>{mrAll, mrOk, mrYes, mrYes}
            << QStringList{"Q:a", "F:b", "Q:c", "Q:d"} << QStringList{"a", "c", "d"} << true << QStringLiteral("Ready")
            << QList<int>{1, 2, 3};
        QTest::newRow("cancel at the failure dialog stops and names the failed file")
            << QStringList{"a", "!b", "c"} << QList<int>{mrAll, mrCancel} << QStringList{"Q:a", "F:b"}
            << QStringList{"a"} << false << QStringLiteral("Encrypting \"%1/b.jpg\"") << QList<int>{};
        QTest::newRow("unselected items are skipped without a question but move the bar")
            << QStringList{"-a", "b", "-c", "d"} << QList<int>{mrYes, mrNo} << QStringList{"Q:b", "Q:d"}
            << QStringList{"b"} << true << QStringLiteral("Ready") << QList<int>{1, 2, 3};
        QTest::newRow("no leaves a file alone and the next is asked about")
            << QStringList{"a", "b"} << QList<int>{mrNo, mrYes} << QStringList{"Q:a", "Q:b"} << QStringList{"b"} << true
            << QStringLiteral("Ready") << QList<int>{1};
        QTest::newRow("cancel at the second question keeps the first output whole")
            << QStringList{"a", "b", "c"} << QList<int>{mrYes, mrCancel} << QStringList{"Q:a", "Q:b"}
            << QStringList{"a"} << false << QStringLiteral("Encrypting \"%1/a.jpg\"") << QList<int>{};
        QTest::newRow("cancel at the third question keeps both earlier outputs whole")
            << QStringList{"a", "b", "c"} << QList<int>{mrYes, mrYes, mrCancel} << QStringList{"Q:a", "Q:b", "Q:c"}
            << QStringList{"a", "b"} << false << QStringLiteral("Encrypting \"%1/b.jpg\"") << QList<int>{1};
        QTest::newRow("a failure answered ok after yes leaves earlier outputs whole")
            << QStringList{"a", "!b", "c"} << QList<int>{mrYes, mrYes, mrOk, mrNo}
            << QStringList{"Q:a", "Q:b", "F:b", "Q:c"} << QStringList{"a"} << true << QStringLiteral("Ready")
            << QList<int>{1, 2};
    }

    void answers()
    {
        QFETCH(QStringList, items);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, dialogs);
        QFETCH(QStringList, written);
        QFETCH(bool, completed);
        QFETCH(QString, countText);
        QFETCH(QList<int>, positions);

        BatchDesk desk;
        Prepare(desk, items);
        TfrmEncrypt& w = *desk.encrypt;
        QList<int> moved;
        connect(w.ProgressBar1, &QProgressBar::valueChanged, this, [&moved](int v) { moved << v; });
        QList<bool> barShownAtDialog;
        Script script;
        script.Messages(answers);
        script.onMessage = [&](int) { barShownAtDialog << !w.ProgressBar1->isHidden(); };

        QCOMPARE(w.DoCrypt(), completed);

        QStringList expectedTexts;
        for (const QString& d : dialogs) {
            const QString src = Q(desk.Path(d.mid(2).toStdString() + ".jpg"));
            if (d.startsWith(u"Q:"))
                expectedTexts << QStringLiteral("Encrypt: ") + src + QStringLiteral(" to ")
                                     + Q(desk.Path("out/" + d.mid(2).toStdString() + ".Bin"));
            else
                expectedTexts << QStringLiteral("Failed to Encrypt \"") + src
                                     + QStringLiteral("\". Click CANCEL to stop.");
        }
        QCOMPARE(script.MessageTexts(), expectedTexts);
        QCOMPARE(script.unexpected, 0);
        for (const Seen& s : script.seen) {
            const bool question = s.request.text.startsWith(u"Encrypt: ");
            QCOMPARE(int(s.request.kind), question ? int(mtInformation) : int(mtError));
            QCOMPARE(int(s.request.buttons), question ? int(mbYesNoCancelAll) : int(mbOKCancel));
        }
        for (bool shown : barShownAtDialog)
            QVERIFY(shown);

        // Exactly the expected outputs, each whole, nothing temporary beside.
        QStringList names;
        for (const QString& x : written)
            names << x + QStringLiteral(".Bin");
        QCOMPARE(desk.Names("out"), names);
        for (const QString& x : written) {
            const std::string source = desk.Path(x.toStdString() + ".jpg");
            QCOMPARE(ReadFile(desk.Path("out/" + x.toStdString() + ".Bin")), Encrypted(desk, source));
        }

        QCOMPARE(w.lblCount->text(), countText.contains(u'%') ? countText.arg(Q(desk.root)) : countText);
        QCOMPARE(moved, positions);
        QVERIFY(w.ProgressBar1->isHidden());
        QVERIFY(!w.lblCurrentDirectory->isHidden());
        QCOMPARE(w.ProgressBar1->minimum(), 0);
        QCOMPARE(w.ProgressBar1->maximum(), int(items.size()));
        QCOMPARE(ScreenCursorValue(), crDefault);
        QVERIFY(!w.Button3->isHidden() && w.Button1->isEnabled() && w.Button2->isEnabled() && w.Button3->isEnabled());
    }

    // The busy cursor is on while a file is encrypted (the pending events
    // handled before it see it) and off again afterwards.
    void busy_cursor_only_while_encrypting()
    {
        BatchDesk desk;
        Prepare(desk, {"a", "b"});
        QList<int> duringWork;
        Script script;
        script.Messages({mrYes, mrYes});
        script.onMessage = [&](int) {
            QTimer::singleShot(0, desk.encrypt.get(), [&] { duringWork << ScreenCursorValue(); });
        };
        QVERIFY(desk.encrypt->DoCrypt());
        QCOMPARE(duringWork, (QList<int>{crHourGlass, crHourGlass}));
        QCOMPARE(ScreenCursorValue(), crDefault);
    }

    // Equal time stamps (a fixed clock) and equal stems: every later file
    // gets a name of its own, and its question shows that name.
    void names_unique_within_a_batch_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("timeBased");
        QTest::addColumn<QStringList>("outputs");

        QTest::newRow("equal time stamps do not overwrite each other")
            << QStringList{"a.jpg", "b.jpg", "c.jpg"} << true
            << QStringList{"20240115093045123.Bin", "20240115093045123-2.Bin", "20240115093045123-3.Bin"};
        QTest::newRow("equal stems do not overwrite each other")
            << QStringList{"photo.jpg", "photo.png"} << false << QStringList{"photo.Bin", "photo-2.Bin"};
    }

    void names_unique_within_a_batch()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, timeBased);
        QFETCH(QStringList, outputs);

        BatchDesk desk;
        for (const QString& f : files)
            desk.Add(f.toStdString(), MakeJpeg(8 + int(f.size()), 8));
        desk.MakeFolder("out");
        desk.Open();
        for (const QString& f : files)
            desk.Select(f.toStdString());
        QVERIFY(desk.encrypt->ShellTreeView1->SelectPath(desk.Path("out")));
        (timeBased ? desk.encrypt->rbTimeBased : desk.encrypt->rbKeepExisting)->setChecked(true);
        Script script;
        for (int i = 0; i < files.size(); ++i)
            script.Message(mrYes);
        QVERIFY(desk.encrypt->DoCrypt());

        QStringList shown;
        for (int i = 0; i < files.size(); ++i)
            shown << QStringLiteral("Encrypt: ") + Q(desk.Path(files[i].toStdString())) + QStringLiteral(" to ")
                         + Q(desk.Path("out/" + outputs[i].toStdString()));
        QCOMPARE(script.MessageTexts(), shown);
        QStringList sorted = outputs;
        sorted.sort();
        QCOMPARE(desk.Names("out"), sorted);
        for (int i = 0; i < files.size(); ++i) {
            TImgCrypt crypt;
            QVERIFY(crypt.EncryptFile(desk.Path(files[i].toStdString()), desk.Path("check"), 0));
            QCOMPARE(ReadFile(desk.Path("out/" + outputs[i].toStdString())), ReadFile(desk.Path("check")));
        }
    }

    // A renamed output ("-2", "-3") never lands on a file that exists on disk
    // or on a selected source the batch has yet to read.
    void renamed_outputs_spare_other_files_data()
    {
        QTest::addColumn<QStringList>("files");    // selected, in the main folder
        QTest::addColumn<QStringList>("existing"); // unrelated files in the destination
        QTest::addColumn<bool>("inPlace");         // the destination is the main folder
        QTest::addColumn<bool>("rot13");
        QTest::addColumn<QStringList>("outputs");
        QTest::newRow("an unrelated file at the -2 name is passed over")
            << QStringList{"a.jpg", "a.png"} << QStringList{"a-2.Bin"} << false << false
            << QStringList{"a.Bin", "a-3.Bin"};
        QTest::newRow("a selected source at the -2 name is passed over before it is read")
            << QStringList{"abc.jpg", "abc.png", "nop-2.Bin"} << QStringList{} << true << true
            << QStringList{"nop.Bin", "nop-3.Bin", "abc-2.Bin"};
    }
    void renamed_outputs_spare_other_files()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, existing);
        QFETCH(bool, inPlace);
        QFETCH(bool, rot13);
        QFETCH(QStringList, outputs);
        BatchDesk desk;
        for (const QString& f : files)
            desk.Add(f.toStdString(), MakeJpeg(8 + int(f.size()), 8));
        desk.MakeFolder("out");
        const std::string out = inPlace ? std::string() : std::string("out/");
        for (const QString& f : existing)
            desk.Add(out + f.toStdString(), {'k', 'e', 'e', 'p'});
        std::vector<std::vector<std::uint8_t>> expected;
        for (const QString& f : files)
            expected.push_back(Encrypted(desk, desk.Path(f.toStdString())));
        desk.Open();
        for (const QString& f : files)
            desk.Select(f.toStdString());
        QVERIFY(desk.encrypt->ShellTreeView1->SelectPath(inPlace ? desk.root : desk.Path("out")));
        (rot13 ? desk.encrypt->rbRot13 : desk.encrypt->rbKeepExisting)->setChecked(true);
        desk.main->DecryptionKey = kKey;
        Script script;
        script.Message(mrAll);
        QVERIFY(desk.encrypt->DoCrypt());

        QStringList shown;
        for (int i = 0; i < files.size(); ++i)
            shown << QStringLiteral("Encrypt: ") + Q(desk.Path(files[i].toStdString())) + QStringLiteral(" to ")
                         + Q(desk.Path(out + outputs[i].toStdString()));
        QCOMPARE(script.MessageTexts(), shown.mid(0, 1)); // All: asked once, with the name written
        for (int i = 0; i < files.size(); ++i)
            QVERIFY2(ReadFile(desk.Path(out + outputs[i].toStdString())) == expected[std::size_t(i)],
                     qPrintable(outputs[i]));
        for (const QString& f : existing)
            QVERIFY(ReadFile(desk.Path(out + f.toStdString())) == std::vector<std::uint8_t>({'k', 'e', 'e', 'p'}));
    }

    // The sources are the files the main list shows, in the list's folder,
    // whatever the main tree says.
    void sources_are_what_the_list_shows_data()
    {
        QTest::addColumn<QString>("treeFolder");
        QTest::addColumn<QString>("renameAway"); // then the tree is refreshed
        QTest::addColumn<QString>("source");     // the path asked about
        QTest::addColumn<bool>("encrypted");
        QTest::newRow("folder named with a wildcard is read as a folder") << "what?"
                                                                          << ""
                                                                          << "what?/whatX" << true;
        QTest::newRow("tree node gone after a refresh: the list's folder, which fails") << "what?"
                                                                                        << "gone"
                                                                                        << "what?/whatX" << false;
    }
    void sources_are_what_the_list_shows()
    {
        QFETCH(QString, treeFolder);
        QFETCH(QString, renameAway);
        QFETCH(QString, source);
        QFETCH(bool, encrypted);
        BatchDesk desk;
        desk.Add("whatX", MakeJpeg(9, 9));
        desk.MakeFolder("what?");
        desk.Add("what?/whatX", MakeJpeg(10, 10));
        desk.MakeFolder("out");
        desk.Open();
        QVERIFY(desk.main->ShellTreeView1->SelectPath(desk.Path(treeFolder.toStdString())));
        QCOMPARE(desk.List().Directory(), desk.Path(treeFolder.toStdString()));
        QCOMPARE(desk.List().Count(), 1);
        desk.Select("whatX");
        if (!renameAway.isEmpty()) {
            QVERIFY(QDir(Q(desk.root)).rename(treeFolder, renameAway));
            desk.main->ShellTreeView1->RefreshNode(desk.main->ShellTreeView1->RootNode());
            QCOMPARE(desk.main->ShellTreeView1->Path(), std::string());
        }
        QVERIFY(desk.encrypt->ShellTreeView1->SelectPath(desk.Path("out")));
        desk.encrypt->rbKeepExisting->setChecked(true);
        desk.main->DecryptionKey = kKey;
        Script script;
        script.Messages({mrYes, mrOk});
        desk.encrypt->DoCrypt();
        const QString asked = QStringLiteral("Encrypt: ") + Q(desk.Path(source.toStdString()));
        QVERIFY2(script.MessageTexts().value(0).startsWith(asked), qPrintable(script.MessageTexts().value(0)));
        QCOMPARE(desk.Exists("out/whatX.Bin"), encrypted);
        if (!encrypted)
            QVERIFY(script.MessageTexts().value(1).startsWith(QStringLiteral("Failed to Encrypt")));
    }

    // A file that fails only when it is flushed to disk, found out while the
    // next files are already encrypted under "All": the same messages in the
    // same order as if each file had waited for the one before (a failure's
    // OK makes the next file ask again), and nothing of the files written
    // ahead is left on disk.
    void failure_found_after_later_files_were_written()
    {
        BatchDesk desk;
        Prepare(desk, {"a", "b", "c"});
        mg::SafeFileFaults faults;
        faults.syncFailsWith = EIO;
        mg::SetSafeFileFaults(faults);
        struct Reset {
            ~Reset() { mg::SetSafeFileFaults({}); }
        } reset;
        Script script;
        script.Messages({mrAll, mrOk, mrAll, mrOk, mrAll, mrCancel});
        QVERIFY(!desk.encrypt->DoCrypt());
        const QString ask = QStringLiteral("Encrypt: %1 to %2");
        const QString fail = QStringLiteral("Failed to Encrypt \"%1\". Click CANCEL to stop.");
        QStringList expected;
        for (const char* name : {"a", "b", "c"})
            expected << ask.arg(Q(desk.Path(std::string(name) + ".jpg")),
                                Q(desk.Path(std::string("out/") + name + ".Bin")))
                     << fail.arg(Q(desk.Path(std::string(name) + ".jpg")));
        QCOMPARE(script.MessageTexts(), expected);
        QCOMPARE(desk.Names("out"), QStringList());
    }

    // A disk that fills up under "All" while the files before are still
    // waiting to be flushed: those reach the disk whole, the file that met
    // the full disk is told, and nothing partial or temporary is left.
    void full_disk_while_earlier_files_wait()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a small tmpfs needs root");
        BatchDesk desk;
        std::vector<std::uint8_t> big = MakeJpeg(16, 16);
        big.resize(300u << 10, 0x5A); // three fit on the disk, the fourth does not
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"})
            desk.Add(name, big);
        desk.MakeFolder("out");
        const QString out = Q(desk.Path("out"));
        if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=1m", "tmpfs", out}) != 0)
            QSKIP("this machine does not let the test mount a tmpfs");
        struct Unmount {
            QString path;
            ~Unmount() { QProcess::execute("umount", {path}); }
        } unmount{out};
        desk.Open();
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"})
            desk.Select(name, true);
        QVERIFY(desk.encrypt->ShellTreeView1->SelectPath(desk.Path("out")));
        desk.encrypt->rbKeepExisting->setChecked(true);
        desk.main->DecryptionKey = kKey;
        Script script;
        script.Messages({mrAll, mrCancel});
        QVERIFY(!desk.encrypt->DoCrypt());
        QCOMPARE(script.MessageTexts(),
                 QStringList(
                     {QStringLiteral("Encrypt: %1 to %2").arg(Q(desk.Path("a.jpg")), Q(desk.Path("out/a.Bin"))),
                      QStringLiteral("Failed to Encrypt \"%1\". Click CANCEL to stop.").arg(Q(desk.Path("d.jpg")))}));
        QCOMPARE(desk.Names("out"), QStringList({"a.Bin", "b.Bin", "c.Bin"}));
        const auto whole = Encrypted(desk, desk.Path("a.jpg"));
        for (const char* name : {"out/a.Bin", "out/b.Bin", "out/c.Bin"})
            QVERIFY(ReadFile(desk.Path(name)) == whole);
    }

    // A destination folder removed mid-batch and one that cannot be written
    // (/proc): the failure dialog for each file, the batch goes on or stops
    // as answered, nothing is left behind.
    void destination_removed_mid_batch()
    {
        BatchDesk desk;
        Prepare(desk, {"a", "b", "c"});
        Script script;
        script.Messages({mrYes, mrYes, mrOk, mrYes, mrOk});
        script.onMessage = [&](int n) {
            if (n == 2)
                QVERIFY(QDir(Q(desk.Path("out"))).removeRecursively());
        };
        QVERIFY(desk.encrypt->DoCrypt());
        const QString fail = QStringLiteral("Failed to Encrypt \"%1\". Click CANCEL to stop.");
        QCOMPARE(script.MessageTexts().size(), 5);
        QCOMPARE(script.MessageTexts()[2], fail.arg(Q(desk.Path("b.jpg"))));
        QCOMPARE(script.MessageTexts()[4], fail.arg(Q(desk.Path("c.jpg"))));
        QVERIFY(!desk.Exists("out"));
        // Nothing strayed into the desktop or the current folder either.
        QCOMPARE(desk.Names(""), (QStringList{"a.jpg", "b.jpg", "c.jpg"}));
    }

    void destination_not_writable()
    {
        if (!QFileInfo(QStringLiteral("/proc")).isDir())
            QSKIP("no /proc");
        BatchDesk desk;
        Prepare(desk, {"a", "b"});
        QVERIFY(desk.encrypt->ShellTreeView1->SelectPath("/proc"));
        Script script;
        script.Messages({mrAll, mrOk, mrYes, mrCancel});
        QVERIFY(!desk.encrypt->DoCrypt());
        const QStringList texts = script.MessageTexts();
        QCOMPARE(texts.size(), 4);
        QCOMPARE(texts[1],
                 QStringLiteral("Failed to Encrypt \"%1\". Click CANCEL to stop.").arg(Q(desk.Path("a.jpg"))));
        QCOMPARE(texts[3],
                 QStringLiteral("Failed to Encrypt \"%1\". Click CANCEL to stop.").arg(Q(desk.Path("b.jpg"))));
        QVERIFY(desk.encrypt->ProgressBar1->isHidden());
    }

    // The destination folder may be the source's own: with the stem rule and
    // the file's own extension the file is replaced by its encrypted form,
    // and decrypting it the same way gives the picture back. A later file
    // whose name meets an output of this batch goes beside it.
    void destination_is_the_source_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("outputs"); // in the order of the files

        QTest::newRow("a file replaced by its encrypted form and back") << QStringList{"a.jpg"} << QStringList{"a.jpg"};
        QTest::newRow("a later file meeting a replaced one goes beside it")
            << QStringList{"a.jpg", "a.png"} << QStringList{"a.jpg", "a-2.jpg"};
    }

    void destination_is_the_source()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, outputs);

        BatchDesk desk;
        std::vector<std::vector<std::uint8_t>> pictures;
        for (int i = 0; i < files.size(); ++i) {
            pictures.push_back(MakeJpeg(8 + 8 * i, 8));
            desk.Add(files[i].toStdString(), pictures.back());
        }
        desk.Open();
        for (const QString& f : files)
            desk.Select(f.toStdString());
        QVERIFY(desk.encrypt->ShellTreeView1->SelectPath(desk.root));
        desk.encrypt->rbKeepExisting->setChecked(true);
        desk.encrypt->txtExtension->setText(QStringLiteral("jpg"));
        desk.main->DecryptionKey = kKey;
        {
            Script script;
            script.Message(mrAll);
            QVERIFY(desk.encrypt->DoCrypt());
            QCOMPARE(script.unexpected, 0);
        }
        for (int i = 0; i < files.size(); ++i) {
            const std::string out = desk.Path(outputs[i].toStdString());
            QVERIFY(ReadFile(out) != pictures[size_t(i)]);
            QCOMPARE(ReadFile(out).size(), pictures[size_t(i)].size());
        }

        desk.MainFolder("");
        for (const QString& o : outputs)
            desk.Select(o.toStdString());
        QVERIFY(desk.decrypt->ShellTreeView1->SelectPath(desk.root));
        desk.decrypt->cbKeepExtension->setChecked(false);
        desk.decrypt->txtExtension->setText(QStringLiteral("jpg"));
        {
            Script script;
            script.Message(mrAll);
            QVERIFY(desk.decrypt->DecryptFiles());
            QCOMPARE(script.unexpected, 0);
        }
        // Each output decrypts in place into its own picture.
        for (int i = 0; i < outputs.size(); ++i)
            QCOMPARE(ReadFile(desk.Path(outputs[i].toStdString())), pictures[size_t(i)]);
    }

    // A file whose name is not valid UTF-8: both batches use its bytes as
    // they are (ROT-13 leaves bytes above 127 alone), and the decrypt window
    // gives back the original bytes.
    void names_not_utf8_kept_as_bytes_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("rot13");
        QTest::addColumn<bool>("keepExtension");
        QTest::addColumn<QByteArray>("encrypted");
        QTest::addColumn<QByteArray>("decrypted");

        QTest::newRow("latin-1 name, existing name") << QByteArray("\xe9t\xe9.jpg") << false << false
                                                     << QByteArray("\xe9t\xe9.Bin") << QByteArray("\xe9t\xe9.JPG");
        QTest::newRow("latin-1 name, rot13 turns only its letters")
            << QByteArray("\xe9t\xe9.jpg") << true << true << QByteArray("\xe9g\xe9.wct.Bin")
            << QByteArray("\xe9g\xe9.JPG");
        QTest::newRow("a lone continuation byte") << QByteArray("a\x80"
                                                                "b.jpg")
                                                  << false << true
                                                  << QByteArray("a\x80"
                                                                "b.jpg.Bin")
                                                  << QByteArray("a\x80"
                                                                "b.JPG");
    }

    void names_not_utf8_kept_as_bytes()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, rot13);
        QFETCH(bool, keepExtension);
        QFETCH(QByteArray, encrypted);
        QFETCH(QByteArray, decrypted);

        BatchDesk desk;
        const std::string source = name.toStdString();
        const auto picture = MakeJpeg(16, 8);
        desk.Add(source, picture);
        desk.MakeFolder("out");
        desk.MakeFolder("back");
        desk.Open();
        desk.Select(source);
        QVERIFY(desk.encrypt->ShellTreeView1->SelectPath(desk.Path("out")));
        (rot13 ? desk.encrypt->rbRot13 : desk.encrypt->rbKeepExisting)->setChecked(true);
        desk.encrypt->cbKeepExtension->setChecked(keepExtension);
        desk.main->DecryptionKey = kKey;
        {
            Script script;
            script.Message(mrYes);
            QVERIFY(desk.encrypt->DoCrypt());
            QCOMPARE(script.unexpected, 0);
        }
        QCOMPARE(ReadFile(desk.Path("out/" + encrypted.toStdString())), Encrypted(desk, desk.Path(source)));

        desk.MainFolder("out");
        desk.Select(encrypted.toStdString());
        QVERIFY(desk.decrypt->ShellTreeView1->SelectPath(desk.Path("back")));
        {
            Script script;
            script.Message(mrYes);
            QVERIFY(desk.decrypt->DecryptFiles());
            QCOMPARE(script.unexpected, 0);
        }
        QCOMPARE(ReadFile(desk.Path("back/" + decrypted.toStdString())), picture);
        // Qt cannot name these files to remove them with the temporary folder.
        for (const std::string& made : {source, "out/" + encrypted.toStdString(), "back/" + decrypted.toStdString()})
            std::filesystem::remove(desk.Path(made));
    }

    // The question shows exactly the path that is written, and a name that
    // is too long for the file system fails with the failure dialog.
    void name_too_long_fails_with_the_dialog()
    {
        BatchDesk desk;
        const std::string longName(250, 'x');
        desk.Add(longName + ".jpg", MakeJpeg(8, 8));
        desk.MakeFolder("out");
        desk.Open();
        desk.Select(longName + ".jpg");
        QVERIFY(desk.encrypt->ShellTreeView1->SelectPath(desk.Path("out")));
        desk.encrypt->rbKeepExisting->setChecked(true);
        desk.encrypt->cbKeepExtension->setChecked(true);
        desk.encrypt->txtExtension->setText(QString(10, u'e'));
        Script script;
        script.Messages({mrYes, mrOk});
        QVERIFY(desk.encrypt->DoCrypt());
        QCOMPARE(script.MessageTexts().size(), 2);
        QVERIFY(script.MessageTexts()[1].startsWith(u"Failed to Encrypt \""));
        QCOMPARE(desk.Names("out"), QStringList{});
    }
};

QTEST_MAIN(TestEncryptBatch)
#include "tst_encrypt.moc"
