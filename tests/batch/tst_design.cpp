// The two batch windows' fixed layout: captions, sizes, places, kinds of
// window, initial values and tab orders.
#include "BatchFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

using namespace mg;
using namespace mg::test;

class TestBatchDesign : public QObject {
    Q_OBJECT

private slots:
    void design()
    {
        BatchDesk desk;
        desk.Open();
        TfrmEncrypt& e = *desk.encrypt;
        TfrmDecrypt& d = *desk.decrypt;
        QCOMPARE(e.windowTitle(), QStringLiteral("Encrypt Selected Files"));
        QCOMPARE(d.windowTitle(), QStringLiteral("Decrypt Selected Files"));
        // The layout's client sizes; wider only when a caption would not
        // fit in the font in use, so that no caption is cut off.
        QCOMPARE(e.height(), 433);
        QCOMPARE(d.height(), 436);
        QVERIFY(e.width() >= 380 && d.width() >= 278);
        for (QWidget* c : std::initializer_list<QWidget*>{e.cbKeepExtension, e.rbKeepExisting, e.rbTimeBased, e.rbRot13,
                                                          e.Button1, e.cbStrong, d.cbKeepExtension, d.cbUseDateTime}) {
            QVERIFY2(c->width() >= c->sizeHint().width(), qPrintable(c->objectName()));
            QVERIFY2(c->geometry().right() < c->window()->width(), qPrintable(c->objectName()));
        }
        QCOMPARE(e.rbRot13->geometry().topLeft(), QPoint(232, 312));
        QCOMPARE(d.cbUseDateTime->geometry().topLeft(), QPoint(128, 288));
        QCOMPARE(e.Button3->geometry(), QRect(272, 400, 75, 25));
        QCOMPARE(d.cmdGo->geometry(), QRect(192, 408, 75, 25));
        QCOMPARE(e.ShellTreeView1->geometry(), QRect(16, 40, 201, 305));
        QCOMPARE(d.ShellTreeView1->geometry(), QRect(8, 32, 265, 217));
        QCOMPARE(e.pos(), QPoint(216, 166));
        QCOMPARE(d.pos(), QPoint(192, 107));
        // Tool windows; only the decrypt window has a close box.
        QVERIFY(e.windowFlags().testFlag(Qt::Tool));
        QVERIFY(d.windowFlags().testFlag(Qt::Tool));
        QVERIFY(!e.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(e.windowFlags().testFlag(Qt::CustomizeWindowHint));
        QVERIFY(d.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        // Initial values.
        QVERIFY(e.rbTimeBased->isChecked() && !e.rbKeepExisting->isChecked() && !e.rbRot13->isChecked());
        QVERIFY(!e.cbKeepExtension->isChecked());
        QVERIFY(!e.cbStrong->isChecked());
        // The strong box overlaps no other control, at its grown width too.
        for (QWidget* other : e.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (other != e.cbStrong)
                QVERIFY2(!other->geometry().intersects(e.cbStrong->geometry()), qPrintable(other->objectName()));
        QCOMPARE(e.txtExtension->text(), QStringLiteral("Bin"));
        QCOMPARE(e.txtFolderName->text(), QStringLiteral("New Folder"));
        QVERIFY(e.ProgressBar1->isHidden());
        QCOMPARE(d.txtExtension->text(), QStringLiteral("JPG"));
        QVERIFY(!d.cbKeepExtension->isChecked() && !d.cbUseDateTime->isChecked());
        QCOMPARE(d.cbKeepExtension->text(), QStringLiteral("cbKeepExtension"));
        QVERIFY(!d.ProgressBar1->isHidden());
        QVERIFY(e.Label1->font().bold() && e.lblCount->font().bold() && !e.Label3->font().bold());
        // Controls without a caption of their own have a name a screen reader says.
        for (QWidget* c : std::initializer_list<QWidget*>{e.ShellTreeView1, e.txtFolderName, e.txtExtension,
                                                          d.ShellTreeView1, d.txtExtension})
            QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->objectName()));
        // Tab order follows the controls on screen.
        QList<QWidget*> chain;
        // The radio buttons are one tab stop: the checked one, wherever it is.
        const auto tabChain = [&e] {
            QList<QWidget*> chain;
            for (QWidget* w = e.ShellTreeView1; chain.size() < 9; w = w->nextInFocusChain())
                if (w->focusPolicy() & Qt::TabFocus)
                    chain << w;
            return chain;
        };
        QCOMPARE(tabChain(), (QList<QWidget*>{e.ShellTreeView1, e.txtFolderName, e.Button1, e.txtExtension,
                                              e.rbTimeBased, e.Button2, e.Button3, e.cbKeepExtension, e.cbStrong}));
        e.rbRot13->setChecked(true);
        QCOMPARE(tabChain(), (QList<QWidget*>{e.ShellTreeView1, e.txtFolderName, e.Button1, e.txtExtension, e.rbRot13,
                                              e.Button2, e.Button3, e.cbKeepExtension, e.cbStrong}));
        e.rbTimeBased->setChecked(true);
        chain.clear();
        for (QWidget* w = d.ShellTreeView1; chain.size() < 7; w = w->nextInFocusChain())
            if (w->focusPolicy() & Qt::TabFocus)
                chain << w;
        QCOMPARE(chain, (QList<QWidget*>{d.ShellTreeView1, d.Cancel, d.cmdGo, d.txtExtension, d.cbUseDateTime,
                                         d.cbKeepExtension, d.cmdCreateFolder}));
    }

    // Every control at its layout place with its caption. Labels
    // size themselves, so only their corner is fixed; check boxes and radio
    // buttons and the Create Folder button may grow wider to fit their captions.
    void controls_data()
    {
        QTest::addColumn<bool>("encrypt");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("geometry"); // width 0: sizes itself
        QTest::addColumn<bool>("bold");

        const auto row = [](bool e, const char* name, const char* caption, QRect g, bool bold) {
            QTest::addRow("%s %s at its place with its caption", e ? "encrypt" : "decrypt", name)
                << e << QString::fromLatin1(name) << QString::fromLatin1(caption) << g << bold;
        };
        row(true, "Label1", "Pick Destination Folder", {16, 16, 0, 0}, true);
        row(true, "Label2", "New Folder Name", {224, 40, 0, 0}, true);
        row(true, "txtFolderName", "New Folder", {224, 56, 121, 21}, false);
        row(true, "Button1", "Create Folder", {224, 80, 75, 25}, false);
        row(true, "Label4", "Filename obfuscation", {232, 168, 0, 0}, true);
        row(true, "cbKeepExtension", "Keep original extension", {224, 192, 137, 17}, false);
        row(true, "Label3", "New Extension", {224, 216, 0, 0}, false);
        row(true, "txtExtension", "Bin", {224, 232, 121, 21}, false);
        row(true, "rbKeepExisting", "Keep Existing Filename", {232, 280, 137, 17}, false);
        row(true, "rbTimeBased", "Timebased Filename", {232, 296, 137, 17}, false);
        row(true, "rbRot13", "Rot-13 Filename", {232, 312, 137, 17}, false);
        row(true, "cbStrong", "Strong encryption", {224, 336, 145, 17}, false);
        row(true, "lblCurrentDirectory", "", {8, 360, 0, 0}, true);
        row(true, "ProgressBar1", "", {112, 360, 150, 16}, false);
        row(true, "lblCount", "files selected", {8, 384, 0, 0}, true);
        row(true, "Button2", "Cancel", {40, 400, 75, 25}, false);
        row(true, "Button3", "GO", {272, 400, 75, 25}, false);
        row(false, "Label1", "PICK DESTINATION DIRECTORY", {24, 8, 0, 0}, true);
        row(false, "cmdCreateFolder", "Create New Folder", {80, 256, 129, 17}, false);
        row(false, "cbKeepExtension", "cbKeepExtension", {8, 288, 113, 17}, false);
        row(false, "cbUseDateTime", "Use chrono file name", {128, 288, 137, 17}, false);
        row(false, "Label2", "Target extension", {8, 312, 0, 0}, false);
        row(false, "txtExtension", "JPG", {104, 312, 49, 21}, false);
        row(false, "ProgressBar1", "", {8, 336, 257, 16}, false);
        row(false, "lblDirectoryInfo", "", {8, 360, 0, 0}, false);
        row(false, "lblFileInfo", "", {8, 384, 0, 0}, false);
        row(false, "Cancel", "Cancel", {8, 408, 75, 25}, false);
        row(false, "cmdGo", "Decrypt", {192, 408, 75, 25}, false);
    }

    void controls()
    {
        QFETCH(bool, encrypt);
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, geometry);
        QFETCH(bool, bold);

        BatchDesk desk;
        desk.Open();
        QDialog& window = encrypt ? static_cast<QDialog&>(*desk.encrypt) : *desk.decrypt;
        QWidget* c = window.findChild<QWidget*>(name);
        QVERIFY(c);
        QCOMPARE(c->geometry().topLeft(), geometry.topLeft());
        const bool choice = qobject_cast<QCheckBox*>(c) || qobject_cast<QRadioButton*>(c)
                            || name == "Button1"; // grows to fit "Create Folder"
        if (geometry.width() > 0) {
            QCOMPARE(c->height(), geometry.height());
            if (choice)
                QVERIFY(c->width() >= geometry.width());
            else
                QCOMPARE(c->width(), geometry.width());
        }
        QString text;
        if (auto* l = qobject_cast<QLabel*>(c))
            text = l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(c))
            text = b->text();
        else if (auto* e = qobject_cast<QLineEdit*>(c))
            text = e->text();
        if (!caption.isEmpty())
            QCOMPARE(text, caption);
        QCOMPARE(c->font().bold(), bold);
    }
};

QTEST_MAIN(TestBatchDesign)
#include "tst_design.moc"
