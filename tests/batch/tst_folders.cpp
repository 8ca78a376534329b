// Folder creation from both batch windows: questions, failure messages, the
// folder made (last part only), both trees refreshed, the selection kept.
#include "BatchFixture.h"

#include <QLineEdit>
#include <QPushButton>

using namespace mg;
using namespace mg::test;

namespace {

bool HasChild(const QTreeWidgetItem* node, const QString& text)
{
    for (int i = 0; node && i < node->childCount(); ++i)
        if (node->child(i)->text(0) == text)
            return true;
    return false;
}

} // namespace

class TestFolderCreation : public QObject {
    Q_OBJECT

private slots:
    void create_data()
    {
        QTest::addColumn<bool>("encryptWindow");
        QTest::addColumn<QString>("name");     // encrypt: the edit; decrypt: the prompt's answer
        QTest::addColumn<QString>("existing"); // folder made beforehand, if any
        QTest::addColumn<int>("answer");       // to the question
        QTest::addColumn<QString>("asked");    // the question's folder, "" for none
        QTest::addColumn<bool>("fails");
        QTest::addColumn<QString>("made"); // folder that must exist afterwards, "" for none

        QTest::newRow("encrypt window: yes creates the folder")
            << true << "New Folder"
            << "" << int(mrYes) << "New Folder" << false << "New Folder";
        QTest::newRow("encrypt window: no creates nothing") << true << "New Folder"
                                                            << "" << int(mrNo) << "New Folder" << false << "";
        QTest::newRow("encrypt window: a name that exists fails") << true << "Taken"
                                                                  << "Taken" << int(mrYes) << "Taken" << true << "";
        QTest::newRow("encrypt window: an empty name names the folder itself and fails")
            << true << ""
            << "" << int(mrYes) << "" << true << "";
        QTest::newRow("encrypt window: a name with a slash needs its parent")
            << true << "Sub/Deeper"
            << "" << int(mrYes) << "Sub/Deeper" << true << "";
        QTest::newRow("encrypt window: a name with a slash under an existing parent makes the last part")
            << true << "Sub/Deeper"
            << "Sub" << int(mrYes) << "Sub/Deeper" << false << "Sub/Deeper";
        QTest::newRow("encrypt window: a name too long fails")
            << true << QString(300, u'n') << "" << int(mrYes) << QString(300, u'n') << true << "";
        QTest::newRow("decrypt window: yes creates the folder") << false << "ok:Fresh"
                                                                << "" << int(mrYes) << "Fresh" << false << "Fresh";
        QTest::newRow("decrypt window: a cancelled name prompt asks about New Folder")
            << false << "cancel"
            << "" << int(mrNo) << "New Folder" << false << "";
        QTest::newRow("decrypt window: an empty name stops without a question") << false << "ok:"
                                                                                << "" << 0 << "" << false << "";
        QTest::newRow("decrypt window: a name that exists fails") << false << "ok:Taken"
                                                                  << "Taken" << int(mrYes) << "Taken" << true << "";
    }

    void create()
    {
        QFETCH(bool, encryptWindow);
        QFETCH(QString, name);
        QFETCH(QString, existing);
        QFETCH(int, answer);
        QFETCH(QString, asked);
        QFETCH(bool, fails);
        QFETCH(QString, made);

        BatchDesk desk;
        desk.MakeFolder("base");
        if (!existing.isEmpty())
            desk.MakeFolder("base/" + existing.toStdString());
        desk.Add("base/p.jpg", MakeJpeg(8, 8));
        desk.Open();
        // Shown, so that the trees have a top visible node to refresh.
        desk.main->show();
        QDialog& window = encryptWindow ? static_cast<QDialog&>(*desk.encrypt) : *desk.decrypt;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        TShellTreeView& own = encryptWindow ? *desk.encrypt->ShellTreeView1 : *desk.decrypt->ShellTreeView1;
        QVERIFY(own.SelectPath(desk.Path("base")));
        own.currentItem()->setExpanded(true);
        QVERIFY(desk.main->ShellTreeView1->SelectPath(desk.Path("base")));
        desk.main->ShellTreeView1->currentItem()->setExpanded(true);
        desk.main->FileListBox1->Update();
        desk.Select("p.jpg");
        const QStringList before = desk.Names("base");

        Script script;
        const bool decryptEmpty = !encryptWindow && name == u"ok:";
        if (encryptWindow) {
            desk.encrypt->txtFolderName->setText(name);
        } else {
            script.Prompt(name);
        }
        if (!decryptEmpty)
            script.Message(answer);
        if (fails)
            script.Message(mrOk);
        (encryptWindow ? desk.encrypt->Button1 : desk.decrypt->cmdCreateFolder)->click();

        QCOMPARE(script.unexpected, 0);
        QStringList expected;
        if (!decryptEmpty) {
            const QString path = Q(desk.Path("base/")) + asked;
            expected << (encryptWindow ? QStringLiteral("Create Folder \"") : QStringLiteral("Create folder \"")) + path
                            + QStringLiteral("\" ?");
            if (fails)
                expected << QStringLiteral("Creating Folder \"") + path + QStringLiteral("\" failed.");
        }
        QCOMPARE(script.MessageTexts(), expected);
        for (const Seen& s : script.seen) {
            if (s.request.type == DialogRequest::Input) {
                QCOMPARE(s.request.caption, QStringLiteral("Create Folder"));
                QCOMPARE(s.request.text, QStringLiteral("New Folder Name: "));
                QCOMPARE(s.request.defaultText, QStringLiteral("New Folder"));
            } else if (s.request.text.startsWith(u"Create")) {
                QCOMPARE(int(s.request.kind), int(mtConfirmation));
                QCOMPARE(int(s.request.buttons), int(mbYesNo));
            } else {
                QCOMPARE(int(s.request.kind), int(mtError));
                QCOMPARE(int(s.request.buttons), int(mbOK));
            }
        }

        // The window stays open: folder creation carries no result.
        QCOMPARE(window.result(), int(mrNone));
        QVERIFY(window.isVisible());
        // The main list is not re-read: the files the batch is to handle
        // are still the selected ones.
        QCOMPARE(desk.List().SelCount(), 1);
        QVERIFY(desk.List().Selected(desk.IndexOf("p.jpg")));
        if (made.isEmpty()) {
            QCOMPARE(desk.Names("base"), before);
            return;
        }
        QVERIFY(QFileInfo(Q(desk.Path("base/" + made.toStdString()))).isDir());
        // Both trees show it below the selected folder, which stays selected.
        const QString shownName = made.section(u'/', 0, 0);
        QVERIFY(HasChild(own.currentItem(), shownName));
        QVERIFY(HasChild(desk.main->ShellTreeView1->currentItem(), shownName));
        QCOMPARE(own.Path(), desk.Path("base"));
        QCOMPARE(desk.main->ShellTreeView1->Path(), desk.Path("base"));
    }
};

QTEST_MAIN(TestFolderCreation)
#include "tst_folders.moc"
