// The help and about windows: captions, fixed geometry, texts, wrapping,
// and showing, bringing forward and hiding.
#include "info/frmAboutUnit.h"
#include "info/frmHelpUnit.h"

#include <QApplication>
#include <QLabel>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace mg;

class TestInfo : public QObject {
    Q_OBJECT

private slots:
    void windows_data();
    void windows();
    void helpTexts_data();
    void helpTexts();
    void labels_data();
    void labels();
    void aboutLastLine();
    void ownWordsNameNoOne();
    void showTwiceGivesOneWindow_data();
    void showTwiceGivesOneWindow();
    void closeHidesAndShowsAgain_data();
    void closeHidesAndShowsAgain();
    void labelsRefitOnFontChange_data();
    void labelsRefitOnFontChange();
};

namespace {

std::unique_ptr<QWidget> Make(const QString& which)
{
    if (which == QLatin1String("help"))
        return std::make_unique<TfrmHelp>();
    return std::make_unique<TfrmAbout>();
}

int TopLevelCount(const QString& caption)
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == caption && w->isVisible())
            ++n;
    return n;
}

// A label keeps its layout left edge and width; a one-line label instead
// stays one line, widened evenly about the centre of its layout rectangle.
// (The layout rectangles were measured in 13-pixel lines.)
bool HorizontalAsDesigned(QLabel* l, const QRect& designed)
{
    if (designed.height() >= 2 * 13)
        return l->x() == designed.x() && l->width() == designed.width();
    if (l->width() < designed.width())
        return false;
    const int clientWidth = l->parentWidget()->width();
    const bool fitsWindow = l->fontMetrics().horizontalAdvance(l->text()) < clientWidth - 8;
    if (!fitsWindow) // as wide as the window allows
        return l->x() == 4 && l->width() == clientWidth - 8;
    const int centre = designed.x() + designed.width() / 2;
    return l->height() < 2 * l->fontMetrics().lineSpacing() && std::abs(l->x() + l->width() / 2 - centre) <= 1;
}

} // namespace

void TestInfo::windows_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QPoint>("position");
    QTest::addColumn<QSize>("client");
    QTest::newRow("help") << "help"
                          << "Program Hints and Help" << QPoint(191, 64) << QSize(413, 578);
    QTest::newRow("about") << "about"
                           << "About murkglass" << QPoint(192, 107) << QSize(427, 182);
}

void TestInfo::windows()
{
    QFETCH(QString, which);
    QFETCH(QString, caption);
    QFETCH(QPoint, position);
    QFETCH(QSize, client);
    auto w = Make(which);
    QVERIFY(!w->isVisible()); // created hidden
    QVERIFY(w->isWindow());
    QCOMPARE(w->windowTitle(), caption);
    QCOMPARE(w->pos(), position);
    // The layout width always; the layout height unless the font in use
    // needs more room for the texts (then just enough for the last label).
    QCOMPARE(w->width(), client.width());
    QVERIFY(w->height() >= client.height());
    int lowest = 0;
    for (QLabel* l : w->findChildren<QLabel*>())
        lowest = std::max(lowest, l->geometry().bottom() + 1);
    QCOMPARE(w->height(), std::max(client.height(), lowest + 4));
    QCOMPARE(w->minimumSize(), w->size());
    QCOMPARE(w->maximumSize(), w->size());
    client = w->size();
    const Qt::WindowFlags f = w->windowFlags();
    QCOMPARE(f & Qt::WindowType_Mask, Qt::Tool);
    QVERIFY(f & Qt::WindowCloseButtonHint);
    QVERIFY(!(f & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(f & Qt::WindowMaximizeButtonHint));
    QVERIFY(!w->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(!w->isModal());
    QCOMPARE(w->font().pointSize(), 8);
    QCOMPARE(w->backgroundRole(), QPalette::Window);
    QVERIFY(w->autoFillBackground());
    w->resize(client.width() + 50, client.height() + 50);
    QCOMPARE(w->size(), client); // not resizable
}

void TestInfo::helpTexts_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("text");
    QTest::newRow("Label10 keeps its double spaces")
        << "Label10"
        << "Note: Due to bugginess of the TShellTreeView Control, newly created folders may  not be immediately "
           "visible.  Hope this will be corrected soon!";
    QTest::newRow("Label12 keeps its misspelling")
        << "Label12"
        << "WARNING: the program ONLY encrypts/decrypts JPEG files.  User assumes all responsibitlity for errors in "
           "operation that might overwrite or corrupt the original file.";
    QTest::newRow("Label1 keeps the double space before viewing")
        << "Label1"
        << "1. VIEWING UNENCRYPTED JPG FILES: To view a file, select with mouse.  If it is viewable, it will appear in "
           "the  viewing pane.  If not, an error will be shown in the status bar and a noise image may appear.";
    QTest::newRow("Label2 has no full stop") << "Label2"
                                             << "2. NAVIGATION: Once a file is selected, you can navigate through the "
                                                "list with arrow keys and pgup and pgdn";
    QTest::newRow("Label3") << "Label3"
                            << "3. SELECTING FILES: This program uses the Windows convention of selecting a single "
                               "file with a mouse click into the file list.";
    QTest::newRow("Label4 keeps CNTRL") << "Label4"
                                        << "4. MULTIPLE SELECT (individual): You can select multiple individual files "
                                           "by holding down the CNTRL key while clicking files.";
    QTest::newRow("Label5") << "Label5"
                            << "5. MULTIPLE SELECT (list): Select the first file in the range, then hold the SHIFT key "
                               "then mouse click the last file in the list.";
    QTest::newRow("Label6 keeps click then select")
        << "Label6"
        << "6. VIEWING ENCRYPTED: Click File, then View Encrypted.  Type in the passphrase, then click then select a "
           "file.  If the passphrase is correct, the file will be viewable in the window.";
    QTest::newRow("Label7 keeps its double quotes")
        << "Label7"
        << "7. ENCRYPTING: Select the files you wish to encrypt in the file window, then click \"Encrypt Selected "
           "Files\" from the drop-down menu.  Select your destination directory (or create a new one) and the File "
           "extension and Filename obfuscation method.";
    QTest::newRow("Label8") << "Label8"
                            << "NOTE: The ENCRYPTED file DOES NOT retain its original filename if you obfuscate with "
                               "Time-Date or ROT-13 encryption!";
    QTest::newRow("Label9 keeps quotes and two exclamation marks")
        << "Label9"
        << "8. DECRYPTING: The \"reverse\" of encryption process.  The decrypted file may not have original integrity. "
           " User accepts all risk in this process!!";
    QTest::newRow("Label13 keeps the double space before small")
        << "Label13"
        << "9. SNAPSHOT: left-click once on viewed image and a  small resizable window with the image will pop up in "
           "lower-right corner of view window";
}

void TestInfo::helpTexts()
{
    QFETCH(QString, label);
    QFETCH(QString, text);
    TfrmHelp help;
    auto* l = help.findChild<QLabel*>(label);
    QVERIFY(l);
    QCOMPARE(l->text(), text);
    QCOMPARE(l->textFormat(), Qt::PlainText); // quotes and spaces shown as typed
}

void TestInfo::labels_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QRect>("designed");
    const struct {
        const char* name;
        int x, y, w, h;
    } help[] = {
        {"Label11", 16, 8, 369, 52},   {"Label10", 16, 64, 387, 26}, {"Label12", 16, 96, 377, 39},
        {"Label1", 16, 144, 384, 39},  {"Label2", 16, 192, 373, 26}, {"Label3", 11, 232, 386, 26},
        {"Label4", 14, 272, 362, 26},  {"Label5", 14, 312, 383, 26}, {"Label6", 17, 344, 391, 39},
        {"Label7", 16, 392, 382, 52},  {"Label8", 72, 456, 242, 39}, {"Label9", 16, 512, 378, 26},
        {"Label13", 16, 544, 385, 39},
    };
    for (const auto& r : help)
        QTest::addRow("help %s", r.name) << "help" << r.name << QRect(r.x, r.y, r.w, r.h);
    const struct {
        const char* name;
        int x, y, w, h;
    } about[] = {
        {"Label10", 24, 16, 377, 52},
        {"Label2", 72, 80, 245, 52},
        {"Label1", 64, 152, 279, 13},
    };
    for (const auto& r : about)
        QTest::addRow("about %s", r.name) << "about" << r.name << QRect(r.x, r.y, r.w, r.h);
}

void TestInfo::labels()
{
    QFETCH(QString, which);
    QFETCH(QString, label);
    QFETCH(QRect, designed);
    auto w = Make(which);
    auto* l = w->findChild<QLabel*>(label);
    QVERIFY(l);
    QVERIFY(l->wordWrap());
    QVERIFY(HorizontalAsDesigned(l, designed));
    QVERIFY(l->y() >= designed.y());
    // At its layout top unless a label above needed more lines than its rectangle holds.
    bool pushed = false;
    for (QLabel* above : w->findChildren<QLabel*>())
        if (above->property("designedGeometry").toRect().y() < designed.y()
            && above->height() > above->property("designedGeometry").toRect().height())
            pushed = true;
    if (!pushed)
        QCOMPARE(l->y(), designed.y());
    // Height follows the wrapped text: nothing clipped, nothing padded.
    QCOMPARE(l->height(), l->heightForWidth(l->width()));
    QVERIFY(l->height() >= l->fontMetrics().height());
    // Inside the client area.
    QVERIFY(w->rect().contains(l->geometry()));
    // Does not run into the label laid out below it.
    for (QLabel* other : w->findChildren<QLabel*>()) {
        if (other == l || other->y() <= l->y())
            continue;
        if (other->x() < l->x() + l->width() && l->x() < other->x() + other->width())
            QVERIFY2(l->y() + l->height() <= other->y(), qPrintable(label + " overlaps " + other->objectName()));
    }
}

void TestInfo::aboutLastLine()
{
    TfrmAbout about;
    QCOMPARE(about.Label1->text(), QStringLiteral("Have a good time and engage in safe computing practices!"));
    // One line, whatever the font's width.
    QCOMPARE(about.Label1->height(), about.Label1->heightForWidth(about.Label1->width()));
    QVERIFY(about.Label1->height() < 2 * about.Label1->fontMetrics().lineSpacing());
    QVERIFY(about.Label1->width() >= about.Label1->fontMetrics().horizontalAdvance(about.Label1->text()));
}

void TestInfo::ownWordsNameNoOne()
{
    // The disclaimer, usage statement and credit line say what they must
    // and carry no names.
    TfrmHelp help;
    TfrmAbout about;
    const QString disclaimer = help.Label11->text();
    QCOMPARE(disclaimer.count(QLatin1Char('.')), 3);
    QVERIFY(disclaimer.contains(QLatin1String("fitness")));
    QVERIFY(disclaimer.contains(QLatin1String("correctness")));
    QVERIFY(disclaimer.contains(QLatin1String("encrypt or delete")));
    QVERIFY(disclaimer.contains(QLatin1String("know what you are doing")));
    QVERIFY(about.Label10->text().contains(QLatin1String("freely")));
    QVERIFY(about.Label10->text().contains(QLatin1String("risk")));
    QVERIFY(about.Label2->text().contains(QLatin1String("light-weight")));
    QVERIFY(about.Label2->text().contains(QLatin1String("export restrictions")));
    for (const QString& t : {disclaimer, about.Label10->text(), about.Label2->text()})
        QVERIFY2(!t.contains(QRegularExpression(QStringLiteral("\\(c\\)|©|Inc\\b|Ltd\\b|www\\.|@"))), qPrintable(t));
}

void TestInfo::showTwiceGivesOneWindow_data()
{
    QTest::addColumn<QString>("which");
    QTest::newRow("help") << "help";
    QTest::newRow("about") << "about";
}

void TestInfo::showTwiceGivesOneWindow()
{
    QFETCH(QString, which);
    auto w = Make(which);
    const QString caption = w->windowTitle();
    auto show = [&] {
        if (auto* h = qobject_cast<TfrmHelp*>(w.get()))
            h->ShowAndRaise();
        else
            qobject_cast<TfrmAbout*>(w.get())->ShowAndRaise();
    };
    show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QVERIFY(!w->isModal());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    show();
    QVERIFY(w->isVisible());
    QCOMPARE(TopLevelCount(caption), 1);
    QCOMPARE(w->size(), w->minimumSize());
}

void TestInfo::closeHidesAndShowsAgain_data()
{
    showTwiceGivesOneWindow_data();
}

void TestInfo::closeHidesAndShowsAgain()
{
    QFETCH(QString, which);
    QPointer<QWidget> w = Make(which).release();
    auto show = [&] {
        if (auto* h = qobject_cast<TfrmHelp*>(w.data()))
            h->ShowAndRaise();
        else
            qobject_cast<TfrmAbout*>(w.data())->ShowAndRaise();
    };
    show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const QString before = w->findChild<QLabel*>(QStringLiteral("Label10"))->text();
    QVERIFY(w->close());
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!w.isNull()); // hidden, not destroyed
    QVERIFY(!w->isVisible());
    show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QVERIFY(w->isVisible());
    QCOMPARE(w->findChild<QLabel*>(QStringLiteral("Label10"))->text(), before);
    delete w.data();
}

void TestInfo::labelsRefitOnFontChange_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<int>("points");
    QTest::addColumn<QSize>("client");
    QTest::addColumn<QString>("expect"); // layout kept, grows, or either
    QTest::newRow("help, small font keeps the layout") << "help" << 5 << QSize(413, 578) << "design";
    QTest::newRow("help, large font grows downwards only") << "help" << 16 << QSize(413, 578) << "grows";
    QTest::newRow("about, small font keeps the layout") << "about" << 5 << QSize(427, 182) << "design";
    QTest::newRow("about, large font grows downwards only") << "about" << 16 << QSize(427, 182) << "grows";
    QTest::newRow("about, last line widens to stay one line") << "about" << 9 << QSize(427, 182) << "either";
}

void TestInfo::labelsRefitOnFontChange()
{
    QFETCH(QString, which);
    QFETCH(int, points);
    QFETCH(QSize, client);
    QFETCH(QString, expect);
    auto w = Make(which);
    QFont f = w->font();
    f.setPointSize(points);
    w->setFont(f);
    const QList<QLabel*> labels = w->findChildren<QLabel*>();
    bool fitsDesign = true;
    for (QLabel* l : labels) {
        const QRect designed = l->property("designedGeometry").toRect();
        QCOMPARE(l->height(), l->heightForWidth(l->width()));
        QVERIFY(HorizontalAsDesigned(l, designed));
        QVERIFY(w->rect().contains(l->geometry()));
        for (QLabel* other : labels)
            if (other != l)
                QVERIFY2(!l->geometry().intersects(other->geometry()),
                         qPrintable(l->objectName() + " overlaps " + other->objectName()));
        fitsDesign = fitsDesign && l->height() <= designed.height();
    }
    QCOMPARE(w->width(), client.width());
    if (expect == QLatin1String("design")) {
        QVERIFY(fitsDesign);
        QCOMPARE(w->size(), client);
        for (QLabel* l : labels)
            QCOMPARE(l->geometry().topLeft(), l->property("designedGeometry").toRect().topLeft());
    } else if (expect == QLatin1String("grows")) {
        QVERIFY(!fitsDesign);
        QVERIFY(w->height() > client.height());
    }
}

QTEST_MAIN(TestInfo)
#include "tst_info.moc"
