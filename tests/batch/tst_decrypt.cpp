// The decrypt window's batch through the dialog seam: answer sequences, the
// key prompt, silent failures, the bar; and the round trip through both
// windows with ROT-13 names into freshly created folders.
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

constexpr std::int32_t kKey = 4242; // typed at the prompt as "4242"

} // namespace

class TestDecryptBatch : public QObject {
    Q_OBJECT

private:
    // Encrypted pictures a.Bin, b.Bin, c.Bin and an encrypted text n.Bin on
    // the desktop; the window points at "out". "-a" is not selected; "!a" is
    // selected and then removed, after the list was read.
    static std::string NameOf(const QString& token)
    {
        return (token.startsWith(u'-') || token.startsWith(u'!') ? token.mid(1) : token).toStdString();
    }

    void Prepare(BatchDesk& desk, const QStringList& items)
    {
        int n = 0;
        for (const QString& token : items) {
            const std::string name = NameOf(token);
            const std::string plain = desk.Path(name + ".plain");
            if (name == "n")
                WriteFile(plain, std::vector<std::uint8_t>(300, 'n'));
            else
                WriteFile(plain, MakeJpeg(8 + n++, 8));
            TImgCrypt crypt;
            QVERIFY(crypt.EncryptFile(plain, desk.Path(name + ".Bin"), kKey));
        }
        desk.MakeFolder("out");
        desk.Open();
        for (const QString& token : items)
            desk.Select(NameOf(token) + ".Bin", !token.startsWith(u'-'));
        for (const QString& token : items)
            if (token.startsWith(u'!'))
                QVERIFY(QFile::remove(Q(desk.Path(NameOf(token) + ".Bin"))));
        QVERIFY(desk.decrypt->ShellTreeView1->SelectPath(desk.Path("out")));
        desk.decrypt->show();
    }

private slots:
    // The sources are the files the main list shows, in the list's folder:
    // a folder named with a wildcard is read as a folder, never as a mask.
    void sources_are_what_the_list_shows()
    {
        BatchDesk desk;
        desk.MakeFolder("what?");
        for (const char* folder : {"", "what?/"}) {
            const std::string plain = desk.Path(std::string(folder) + "p.plain");
            WriteFile(plain, MakeJpeg(folder[0] ? 10 : 9, 9));
            TImgCrypt crypt;
            QVERIFY(crypt.EncryptFile(plain, desk.Path(std::string(folder) + "whatX"), kKey));
            QVERIFY(QFile::remove(Q(plain)));
        }
        desk.MakeFolder("out");
        desk.Open();
        QVERIFY(desk.main->ShellTreeView1->SelectPath(desk.Path("what?")));
        QCOMPARE(desk.List().Directory(), desk.Path("what?"));
        QCOMPARE(desk.List().Count(), 1);
        desk.Select("whatX");
        QVERIFY(desk.decrypt->ShellTreeView1->SelectPath(desk.Path("out")));
        desk.main->DecryptionKey = kKey;
        Script script;
        script.Message(mrYes);
        QVERIFY(desk.decrypt->DecryptFiles());
        QCOMPARE(script.MessageTexts(), QStringList{QStringLiteral("Decrypt: ") + Q(desk.Path("what?/whatX"))
                                                    + QStringLiteral(" to ") + Q(desk.Path("out/whatX.JPG"))});
        const std::vector<std::uint8_t> written = ReadFile(desk.Path("out/whatX.JPG"));
        TJPEGImage picture;
        picture.LoadFromBytes(written);
        QCOMPARE(picture.Width(), 10);
    }

    void answers_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<int>("keyBefore");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<int>("barPosition");

        const QStringList abc{"a", "b", "c"};
        QTest::newRow("cancel at the first question writes nothing")
            << abc << "ok:4242" << 0 << QList<int>{mrCancel} << QStringList{"a"} << QStringList{} << 0;
        QTest::newRow("all decrypts every selected file without asking again")
            << abc << "ok:4242" << 0 << QList<int>{mrAll} << QStringList{"a"} << QStringList{"a", "b", "c"} << 3;
        QTest::newRow("a wrong key with all writes nothing and asks nothing more")
            << abc << "ok:4243" << 0 << QList<int>{mrAll} << QStringList{"a"} << QStringList{} << 3;
        QTest::newRow("a wrong key with yes asks only the per-file questions")
            << abc << "ok:4243" << 0 << QList<int>{mrYes, mrYes, mrYes} << abc << QStringList{} << 3;
        QTest::newRow("a cancelled prompt still runs the batch with the key in force")
            << abc << "cancel" << int(kKey) << QList<int>{mrAll} << QStringList{"a"} << QStringList{"a", "b", "c"} << 3;
        QTest::newRow("an empty answer at the prompt still runs the batch")
            << abc << "ok:" << int(kKey) << QList<int>{mrYes, mrNo, mrYes} << abc << QStringList{"a", "c"} << 3;
        QTest::newRow("a file that is not a picture is skipped silently")
            << QStringList{"a", "n", "c"} << "ok:4242" << 0 << QList<int>{mrAll} << QStringList{"a"}
            << QStringList{"a", "c"} << 3;
        QTest::newRow("a source removed after the list was read is skipped silently")
            << QStringList{"a", "!b", "c"} << "ok:4242" << 0 << QList<int>{mrAll} << QStringList{"a"}
            << QStringList{"a", "c"} << 3;
        QTest::newRow("unselected items are skipped without a question")
            << QStringList{"-a", "b", "-c"} << "ok:4242" << 0 << QList<int>{mrYes} << QStringList{"b"}
            << QStringList{"b"} << 1;
        QTest::newRow("cancel at the second question keeps the first output")
            << abc << "ok:4242" << 0 << QList<int>{mrYes, mrCancel} << QStringList{"a", "b"} << QStringList{"a"} << 1;
    }

    void answers()
    {
        QFETCH(QStringList, items);
        QFETCH(QString, prompt);
        QFETCH(int, keyBefore);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, asked);
        QFETCH(QStringList, written);
        QFETCH(int, barPosition);

        BatchDesk desk;
        Prepare(desk, items);
        desk.main->DecryptionKey = keyBefore;
        Script script;
        script.Prompt(prompt);
        script.Messages(answers);
        desk.decrypt->cmdGo->click();

        QCOMPARE(script.PromptCount(), 1);
        QCOMPARE(script.unexpected, 0);
        QStringList expected;
        for (const QString& x : asked)
            expected << QStringLiteral("Decrypt: ") + Q(desk.Path(x.toStdString() + ".Bin")) + QStringLiteral(" to ")
                            + Q(desk.Path("out/" + x.toStdString() + ".JPG"));
        QCOMPARE(script.MessageTexts(), expected);
        for (const Seen& s : script.seen) {
            if (s.request.type != DialogRequest::Message)
                continue;
            QCOMPARE(int(s.request.kind), int(mtInformation));
            QCOMPARE(int(s.request.buttons), int(mbYesNoCancelAll));
        }
        QStringList names;
        for (const QString& x : written)
            names << x + QStringLiteral(".JPG");
        QCOMPARE(desk.Names("out"), names);
        for (const QString& x : written)
            QCOMPARE(ReadFile(desk.Path("out/" + x.toStdString() + ".JPG")),
                     ReadFile(desk.Path(x.toStdString() + ".plain")));

        // The bar: maximum the selected count, position the files dealt
        // with, always visible; the window closed through "Decrypt".
        QCOMPARE(desk.decrypt->ProgressBar1->maximum(), desk.List().SelCount());
        QCOMPARE(desk.decrypt->ProgressBar1->value(), barPosition);
        QVERIFY(!desk.decrypt->ProgressBar1->isHidden());
        QCOMPARE(desk.decrypt->result(), int(mrOk));
        QVERIFY(!desk.decrypt->isVisible());
        QVERIFY(desk.decrypt->cmdGo->isEnabled());
    }

    // Encrypt three JPEGs with ROT-13 names into a folder made in the
    // encrypt window, decrypt them into a folder made in the decrypt window,
    // all through the main window's menu commands; the bytes come back.
    void round_trip_through_both_windows()
    {
        BatchDesk desk;
        desk.MakeFolder("pics");
        const QStringList pics{"photo.jpg", "Zebra.JPG", "Holiday.2019.jpeg"};
        for (int i = 0; i < pics.size(); ++i)
            WriteFile(desk.Path("pics/" + pics[i].toStdString()), MakeJpeg(16 + i, 12 + i, i == 1));
        desk.Open();
        desk.MainFolder("pics");
        for (const QString& p : pics)
            desk.Select(p.toStdString());

        TfrmEncrypt& enc = *desk.encrypt;
        Script script;
        // Create Folder "enc" in the desktop: Yes.
        script.Message(mrYes);
        // Passphrase twice, then All.
        script.Prompt(QStringLiteral("ok:moonlight"));
        script.Prompt(QStringLiteral("ok:moonlight"));
        script.Message(mrAll);
        QTimer::singleShot(0, &enc, [&] {
            enc.txtFolderName->setText(QStringLiteral("enc"));
            enc.Button1->click();
            QVERIFY(enc.ShellTreeView1->SelectPath(desk.Path("enc")));
            enc.rbRot13->setChecked(true);
            enc.Button3->click();
        });
        desk.main->GO1Click();
        QCOMPARE(script.unexpected, 0);
        QCOMPARE(script.MessageTexts().first(), QStringLiteral("Create Folder \"%1\" ?").arg(Q(desk.Path("enc"))));
        QCOMPARE(desk.Names("enc"), (QStringList{"Mroen.Bin", "Ubyvqnl.Bin", "cubgb.Bin"}));
        QCOMPARE(enc.lblCount->text(), QStringLiteral("Ready"));

        // Decrypt the three back into a new folder "dec", made from the
        // decrypt window, keeping the key typed before (the prompt's default).
        desk.MainFolder("enc");
        for (const char* e : {"Mroen.Bin", "Ubyvqnl.Bin", "cubgb.Bin"})
            desk.Select(e);
        TfrmDecrypt& dec = *desk.decrypt;
        script.Prompt(QStringLiteral("ok:dec"));
        script.Message(mrYes);
        script.Prompt(QStringLiteral("cancel"));
        script.Message(mrAll);
        QTimer::singleShot(0, &dec, [&] {
            dec.cmdCreateFolder->click();
            QVERIFY(dec.ShellTreeView1->SelectPath(desk.Path("dec")));
            dec.cmdGo->click();
        });
        desk.main->DecryptFiles1Click();
        QCOMPARE(script.unexpected, 0);
        QCOMPARE(desk.Names("dec"), (QStringList{"Mroen.JPG", "Ubyvqnl.JPG", "cubgb.JPG"}));
        QCOMPARE(ReadFile(desk.Path("dec/cubgb.JPG")), ReadFile(desk.Path("pics/photo.jpg")));
        QCOMPARE(ReadFile(desk.Path("dec/Mroen.JPG")), ReadFile(desk.Path("pics/Zebra.JPG")));
        QCOMPARE(ReadFile(desk.Path("dec/Ubyvqnl.JPG")), ReadFile(desk.Path("pics/Holiday.2019.jpeg")));
    }
};

QTEST_MAIN(TestDecryptBatch)
#include "tst_decrypt.moc"
