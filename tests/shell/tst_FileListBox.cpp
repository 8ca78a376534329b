// The file list: reading through the mask, the index rules, the current file
// name, assigning paths, and the extended selection with its clicked()
// signal for user changes only.
#include "Fixture.h"
#include "base/Error.h"
#include "ui/Dialogs.h"
#include "ui/FileListBox.h"
#include "ui/FolderReader.h"

#include <QApplication>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

namespace {

std::string Str(const QString& s)
{
    QByteArray b = QFile::encodeName(s);
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

QString Selection(const mg::TFileListBox& list)
{
    QStringList rows;
    for (int i = 0; i < list.Count(); ++i)
        if (list.Selected(i))
            rows << QString::number(i);
    return rows.join(',');
}

} // namespace

// Items with the mask "*.*": 0 a.txt, 1 b.jpg, 2 bad\xff.jpg, 3 filelink.jpg,
// 4 new\nline.jpg, 5 noext, 6 photo.jpeg, 7 readonly.jpg, 8 UPPER.JPG.
class TestFileListBox : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::string folder_;
    std::unique_ptr<mg::TFileListBox> list_;
    int dialogs_ = 0;

private slots:
    void cleanupTestCase() { fixture::Remove(folder_, fixture::ListEntries()); }

    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QVERIFY(mg::ChangeDirectory(Str(dir_.path())));
        folder_ = mg::CurrentDirectory(); // as the system reports it
        QVERIFY(fixture::Make(folder_, fixture::ListEntries()));
        mg::SetDialogResponder([this](const mg::DialogRequest&) {
            ++dialogs_;
            return mg::DialogAnswer{mg::mrOk, {}};
        });
    }

    void init()
    {
        list_ = std::make_unique<mg::TFileListBox>();
        list_->resize(200, 300);
        list_->SetFileName(folder_);
        QCOMPARE(list_->Directory(), folder_);
        QCOMPARE(list_->Count(), 9);
    }
    void cleanup()
    {
        list_.reset();
        mg::TFileListBox::SetBackgroundReadGate({});
        mg::TFileListBox::SetEntriesReadAtOnce(mg::TFileListBox::kEntriesReadAtOnce);
    }

    void readingMakesTheFolderCurrent()
    {
        QVERIFY(mg::ChangeDirectory("/"));
        list_->Update();
        QCOMPARE(mg::CurrentDirectory(), folder_);
        QCOMPARE(list_->Items(2), std::string("bad\xff.jpg"));
        QCOMPARE(list_->Items(4), std::string("new\nline.jpg"));
        QCOMPARE(mg::ScreenCursorValue(), mg::crDefault);
        QCOMPARE(list_->visualRect(list_->model()->index(0, 0)).height(), 13);
    }

    void indexOutOfBounds_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("message");
        QTest::newRow("negative index accepted") << -1 << "List index out of bounds (-1)";
        QTest::newRow("index equal to count accepted") << 9 << "List index out of bounds (9)";
        QTest::newRow("far index accepted") << 1000 << "List index out of bounds (1000)";
    }
    void indexOutOfBounds()
    {
        QFETCH(int, index);
        QFETCH(QString, message);
        try {
            (void)list_->Selected(index);
            QFAIL("no error raised");
        } catch (const mg::Error& e) {
            QCOMPARE(QString::fromUtf8(e.what()), message);
        }
    }

    // Current file name: empty without a selected current item.
    void fileName_data()
    {
        QTest::addColumn<int>("selected"); // -1: none
        QTest::addColumn<int>("current");  // -1: none
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("name without current item") << 1 << -1 << QByteArray();
        QTest::newRow("name of an unselected current item") << 1 << 2 << QByteArray();
        QTest::newRow("selected current item not joined") << 2 << 2 << QByteArray("/bad\xff.jpg");
    }
    void fileName()
    {
        QFETCH(int, selected);
        QFETCH(int, current);
        QFETCH(QByteArray, expected);
        if (selected >= 0)
            list_->SetSelected(selected, true);
        list_->SetItemIndex(current);
        QCOMPARE(list_->ItemIndex(), current);
        QCOMPARE(list_->FileName(), expected.isEmpty() ? std::string() : folder_ + expected.toStdString());
    }

    void fileNameInRootHasOneSlash()
    {
        list_->SetFileName("/");
        QCOMPARE(list_->Directory(), std::string("/"));
        QCOMPARE(mg::JoinFolder(list_->Directory(), "x"), std::string("/x"));
        list_->SetFileName(folder_);
        QCOMPARE(list_->Count(), 9);
    }

    // Assigning a path; the selection tells whether the list was re-read.
    void assignPath_data()
    {
        QTest::addColumn<QByteArray>("text"); // "@" stands for the fixture
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("reread");
        QTest::newRow("virtual name moved the list or kept the selection")
            << QByteArray("Computer") << QByteArray("@") << "*.*" << 9 << true;
        QTest::newRow("missing folder moved the list")
            << QByteArray("/no/such/folder") << QByteArray("@") << "*.*" << 9 << true;
        QTest::newRow("empty text re-read") << QByteArray("") << QByteArray("@") << "*.*" << 9 << false;
        // Names compare with their case: B.JPG is not the current b.jpg, and
        // as no folder of that name exists the list reads its folder again.
        QTest::newRow("current file name in other case taken for the same file")
            << QByteArray("@/B.JPG") << QByteArray("@") << "*.*" << 9 << true;
        QTest::newRow("same folder re-read") << QByteArray("@") << QByteArray("@") << "*.*" << 9 << false;
        QTest::newRow("wildcard not made the mask") << QByteArray("@/*.TXT") << QByteArray("@") << "*.TXT" << 1 << true;
        QTest::newRow("sub-folder not entered")
            << QByteArray("@/sub.jpg") << QByteArray("@/sub.jpg") << "*.*" << 1 << true;
        QTest::newRow("bare name entered a sub-folder of that name")
            << QByteArray("sub.jpg") << QByteArray("@") << "*.*" << 9 << true;
    }
    void assignPath()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, folder);
        QFETCH(QString, mask);
        QFETCH(int, count);
        QFETCH(bool, reread);
        auto expand = [this](const QByteArray& t) {
            std::string s = t.toStdString();
            return s.rfind("@", 0) == 0 ? folder_ + s.substr(1) : s;
        };
        list_->SetSelected(1, true);
        list_->SetItemIndex(1);
        QSignalSpy clicks(list_.get(), &mg::TFileListBox::clicked);
        dialogs_ = 0;
        list_->SetFileName(expand(text));
        QCOMPARE(list_->Directory(), expand(folder));
        QCOMPARE(mg::CurrentDirectory(), expand(folder));
        QCOMPARE(QString::fromStdString(list_->Mask()), mask);
        QCOMPARE(list_->Count(), count);
        QCOMPARE(list_->SelCount(), reread ? 0 : 1);
        QCOMPARE(list_->ItemIndex(), reread ? -1 : 1);
        QCOMPARE(clicks.count(), 0);
        QCOMPARE(dialogs_, 0);
        mg::ChangeDirectory(folder_);
    }

    // A folder the tree hands over is a folder whatever its name holds.
    void folderFromTree_data()
    {
        QTest::addColumn<QByteArray>("folder"); // "@" stands for the fixture
        QTest::addColumn<QByteArray>("reached");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("reread");
        QTest::newRow("wildcard in the name became the mask")
            << QByteArray("@/what?") << QByteArray("@/what?") << 1 << true;
        QTest::newRow("star in the name became the mask") << QByteArray("@/*") << QByteArray("@/*") << 1 << true;
        QTest::newRow("same folder lost the selection") << QByteArray("@") << QByteArray("@") << 9 << false;
        QTest::newRow("virtual name moved the list") << QByteArray("Computer") << QByteArray("@") << 9 << true;
        QTest::newRow("bare name entered a sub-folder of that name")
            << QByteArray("sub.jpg") << QByteArray("@") << 9 << true;
        QTest::newRow("no node moved the list") << QByteArray("") << QByteArray("@") << 9 << false;
    }
    void folderFromTree()
    {
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, reached);
        QFETCH(int, count);
        QFETCH(bool, reread);
        auto expand = [this](const QByteArray& t) {
            std::string s = t.toStdString();
            return s.rfind("@", 0) == 0 ? folder_ + s.substr(1) : s;
        };
        for (const char* name : {"/what?", "/*"}) {
            QVERIFY(::mkdir((folder_ + name).c_str(), 0755) == 0);
            QVERIFY(::close(::open((folder_ + name + "/x.jpg").c_str(), O_CREAT | O_WRONLY, 0644)) == 0);
        }
        list_->SetSelected(1, true);
        list_->SetFolder(expand(folder));
        QCOMPARE(list_->Directory(), expand(reached));
        QCOMPARE(list_->Mask(), std::string("*.*"));
        QCOMPARE(list_->Count(), count);
        QCOMPARE(list_->SelCount(), reread ? 0 : 1);
        list_->SetFolder(folder_);
        QCOMPARE(list_->Count(), 9); // the sub-folders are not listed
        mg::ChangeDirectory(folder_);
        for (const char* name : {"/what?", "/*"})
            QVERIFY(::unlink((folder_ + name + "/x.jpg").c_str()) == 0 && ::rmdir((folder_ + name).c_str()) == 0);
    }

    // The list's folder removed meanwhile: the re-read finds nothing and
    // reports nothing; the list still moves on afterwards.
    void removedFolderReadsEmpty()
    {
        const std::string gone = folder_ + "/gone";
        QVERIFY(::mkdir(gone.c_str(), 0755) == 0);
        QVERIFY(::close(::open((gone + "/x.jpg").c_str(), O_CREAT | O_WRONLY, 0644)) == 0);
        list_->SetFileName(gone);
        QCOMPARE(list_->Count(), 1);
        QVERIFY(::unlink((gone + "/x.jpg").c_str()) == 0 && ::rmdir(gone.c_str()) == 0);
        dialogs_ = 0;
        list_->Update();
        QCOMPARE(list_->Count(), 0);
        QCOMPARE(dialogs_, 0);
        list_->SetFileName(folder_);
        QCOMPARE(list_->Count(), 9);
    }

    void maskComparedExactly()
    {
        list_->SetSelected(3, true);
        list_->SetMask("*.*");
        QCOMPARE(list_->SelCount(), 1); // same text: not re-read
        list_->SetMask("*.JPG");
        QCOMPARE(list_->SelCount(), 0);
        QCOMPARE(list_->Count(), 6);
        list_->SetMask("");
        QCOMPARE(list_->Count(), 0);
    }

    // A folder with more entries than the list reads at once is read on a
    // worker thread (held here until released): meanwhile the list is empty
    // and busy, so commands see no files and none of the folder read before;
    // a caret set meanwhile lands once the files are listed.
    void hugeFolderReadInBackground()
    {
        QSemaphore hold;
        mg::TFileListBox::SetBackgroundReadGate([&hold] { hold.acquire(); });
        mg::TFileListBox::SetEntriesReadAtOnce(3);
        QSignalSpy read(list_.get(), &mg::TFileListBox::folderRead);
        list_->SetSelected(1, true);
        list_->SetItemIndex(1);
        list_->Update();
        QVERIFY(list_->Reading());
        QCOMPARE(list_->Count(), 0);
        QCOMPARE(list_->SelCount(), 0);
        QCOMPARE(list_->FileName(), std::string());
        QCOMPARE(list_->Directory(), folder_);
        QCOMPARE(list_->viewport()->cursor().shape(), Qt::BusyCursor);
        QCOMPARE(mg::ScreenCursorValue(), mg::crDefault); // the window goes on
        list_->SetItemIndex(4);
        hold.release();
        QTRY_VERIFY(!list_->Reading());
        QCOMPARE(read.count(), 1);
        QCOMPARE(list_->Count(), 9);
        QCOMPARE(list_->Items(2), std::string("bad\xff.jpg"));
        QCOMPARE(list_->Items(8), std::string("UPPER.JPG"));
        QCOMPARE(list_->ItemIndex(), 4);
        QCOMPARE(list_->SelCount(), 0);
        QCOMPARE(list_->viewport()->cursor().shape(), Qt::ArrowCursor);
        QTRY_COMPARE(list_->ThreadsRunning(), std::size_t(0));
    }

    // A new read while one runs drops it: however late the dropped thread
    // finishes, its files never show and it reports nothing.
    void newReadDropsTheRunningOne_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("background"); // the new read too
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<int>("count");
        QTest::newRow("folder change showed the old folder") << "folder" << false << QByteArray("/sub.jpg") << 1;
        QTest::newRow("folder change in the background showed the old folder")
            << "folder" << true << QByteArray("/sub.jpg") << 1;
        QTest::newRow("mask change showed the old mask's files") << "mask" << false << QByteArray() << 1;
        QTest::newRow("mask change in the background showed the old mask's files")
            << "mask" << true << QByteArray() << 1;
        QTest::newRow("re-read showed the dropped read twice") << "update" << true << QByteArray() << 9;
    }
    void newReadDropsTheRunningOne()
    {
        QFETCH(QString, change);
        QFETCH(bool, background);
        QFETCH(QByteArray, folder);
        QFETCH(int, count);
        QSemaphore hold;
        std::atomic<int> gates{0};
        // The first read is held; a later one passes.
        mg::TFileListBox::SetBackgroundReadGate([&] {
            if (gates++ == 0)
                hold.acquire();
        });
        mg::TFileListBox::SetEntriesReadAtOnce(3);
        list_->Update();
        QVERIFY(list_->Reading());
        // The first read's thread must be the one held: otherwise, on a busy
        // machine, the new read's thread could reach the gate first.
        QTRY_COMPARE(gates.load(), 1);
        QSignalSpy read(list_.get(), &mg::TFileListBox::folderRead);
        QList<int> shown;
        connect(list_->model(), &QAbstractItemModel::modelReset, this, [&] { shown << list_->Count(); });
        // sub.jpg holds inner.jpg and the link "loop": two entries besides
        // "." and "..", so a limit of 3 reads it at once.
        mg::TFileListBox::SetEntriesReadAtOnce(background ? 1 : 1000);
        if (change == "folder")
            list_->SetFolder(folder_ + folder.toStdString());
        else if (change == "mask")
            list_->SetMask("*.txt");
        else
            list_->Update();
        QCOMPARE(list_->Reading(), background);
        QTRY_VERIFY(!list_->Reading());
        hold.release();
        QTRY_COMPARE(list_->ThreadsRunning(), std::size_t(0));
        QCOMPARE(list_->Directory(), folder_ + folder.toStdString());
        QCOMPARE(list_->Count(), count);
        QCOMPARE(read.count(), background ? 1 : 0);
        QCOMPARE(shown.last(), count);
        QCOMPARE(shown.size(), background ? 2 : 1); // emptied, then the new files only
        mg::ChangeDirectory(folder_);
    }

    // The list destroyed while its worker reads: the thread is joined and its
    // late report goes nowhere.
    void listDestroyedDuringRead()
    {
        mg::TFileListBox::SetBackgroundReadGate([] { QThread::msleep(30); });
        mg::TFileListBox::SetEntriesReadAtOnce(3);
        list_->Update();
        QVERIFY(list_->Reading());
        list_.reset();
        QCoreApplication::processEvents();
        list_ = std::make_unique<mg::TFileListBox>();
        list_->SetFileName(folder_);
        QTRY_VERIFY(!list_->Reading());
        QCOMPARE(list_->Count(), 9);
    }

    // Each step: "click N", "ctrl N", "shift N", "right N", "key NAME",
    // "shiftkey NAME", "type TEXT", "select N", "current N" (the last two are
    // program changes).
    void selection_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("clicks");
        QTest::newRow("click kept other items") << "click 1; click 3"
                                                << "3" << 3 << 2;
        QTest::newRow("ctrl click cleared others") << "click 1; ctrl 3"
                                                   << "1,3" << 3 << 2;
        QTest::newRow("ctrl click on current did not clear it") << "click 1; ctrl 3; ctrl 3"
                                                                << "1" << 3 << 3;
        QTest::newRow("shift click not a range from the anchor") << "click 5; shift 2"
                                                                 << "2,3,4,5" << 2 << 2;
        QTest::newRow("shift click anchored at the last click") << "click 1; ctrl 3; shift 5"
                                                                << "3,4,5" << 5 << 3;
        QTest::newRow("arrow kept the old selection") << "click 1; ctrl 3; key Down"
                                                      << "4" << 4 << 3;
        QTest::newRow("shift arrow did not extend") << "click 2; shiftkey Down; shiftkey Down"
                                                    << "2,3,4" << 4 << 3;
        QTest::newRow("end did not move") << "click 2; key End"
                                          << "8" << 8 << 2;
        QTest::newRow("home did not move") << "click 6; key Home"
                                           << "0" << 0 << 2;
        QTest::newRow("page down did not move") << "click 0; key PageDown"
                                                << "8" << 8 << 2;
        QTest::newRow("shift end did not extend") << "click 6; shiftkey End"
                                                  << "6,7,8" << 8 << 2;
        QTest::newRow("type-ahead missed or kept case") << "click 0; type u"
                                                        << "8" << 8 << 2;
        QTest::newRow("type-ahead over two letters") << "click 0; type no"
                                                     << "5" << 5 << 3;
        QTest::newRow("program changes fired clicked") << "select 2; select 4; current 6"
                                                       << "2,4" << 6 << 0;
        QTest::newRow("key that changes nothing fired") << "click 8; key End"
                                                        << "8" << 8 << 1;
        QTest::newRow("right click selected") << "current 6; right 2"
                                              << "" << 6 << 0;
        QTest::newRow("click on one of several selected kept the others") << "click 1; shift 3; click 2"
                                                                          << "2" << 2 << 3;
        QTest::newRow("shift click not anchored at the item an arrow moved to") << "click 1; key Down; shift 5"
                                                                                << "2,3,4,5" << 5 << 3;
        QTest::newRow("page up did not move") << "click 8; key PageUp"
                                              << "0" << 0 << 2;
        QTest::newRow("shift home did not extend from the anchor") << "click 4; ctrl 6; shiftkey Home"
                                                                   << "0,1,2,3,4,5,6" << 0 << 3;
    }
    void selection()
    {
        QFETCH(QString, steps);
        QFETCH(QString, selected);
        QFETCH(int, current);
        QFETCH(int, clicks);
        list_->resize(200, 13 * 9 + 10);
        list_->show();
        QVERIFY(QTest::qWaitForWindowExposed(list_.get()));
        QSignalSpy spy(list_.get(), &mg::TFileListBox::clicked);
        const QMap<QString, Qt::Key> keys{{"Down", Qt::Key_Down},         {"Up", Qt::Key_Up},
                                          {"End", Qt::Key_End},           {"Home", Qt::Key_Home},
                                          {"PageDown", Qt::Key_PageDown}, {"PageUp", Qt::Key_PageUp}};
        for (const QString& step : steps.split(';')) {
            const QStringList parts = step.trimmed().split(' ');
            const QString what = parts[0];
            const QString arg = parts.value(1);
            auto pointOf = [&](int row) { return list_->visualRect(list_->model()->index(row, 0)).center(); };
            if (what == "click" || what == "ctrl" || what == "shift" || what == "right") {
                Qt::KeyboardModifiers mods = what == "ctrl"    ? Qt::ControlModifier
                                             : what == "shift" ? Qt::ShiftModifier
                                                               : Qt::NoModifier;
                QTest::mouseClick(list_->viewport(), what == "right" ? Qt::RightButton : Qt::LeftButton, mods,
                                  pointOf(arg.toInt()));
            } else if (what == "key" || what == "shiftkey") {
                QTest::keyClick(list_.get(), keys.value(arg), what == "shiftkey" ? Qt::ShiftModifier : Qt::NoModifier);
            } else if (what == "type") {
                QTest::keyClicks(list_.get(), arg);
            } else if (what == "select") {
                list_->SetSelected(arg.toInt(), true);
            } else if (what == "current") {
                list_->SetItemIndex(arg.toInt());
            } else {
                QFAIL(qPrintable("unknown step " + step));
            }
        }
        QCOMPARE(Selection(*list_), selected);
        QCOMPARE(list_->ItemIndex(), current);
        QCOMPARE(spy.count(), clicks);
    }

    void ctrlClickOnCurrentEmptiesFileName()
    {
        list_->show();
        QVERIFY(QTest::qWaitForWindowExposed(list_.get()));
        auto pointOf = [&](int row) { return list_->visualRect(list_->model()->index(row, 0)).center(); };
        QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, pointOf(1));
        QTest::mouseClick(list_->viewport(), Qt::LeftButton, Qt::ControlModifier, pointOf(3));
        QCOMPARE(list_->FileName(), folder_ + "/filelink.jpg");
        QTest::mouseClick(list_->viewport(), Qt::LeftButton, Qt::ControlModifier, pointOf(3));
        QCOMPARE(list_->FileName(), std::string());
        QCOMPARE(list_->SelCount(), 1);
    }

    // Escape and Delete reach the owner before the list handles them.
    void keysReachTheOwner()
    {
        QSignalSpy downs(list_.get(), &mg::TFileListBox::keyDown);
        QSignalSpy presses(list_.get(), &mg::TFileListBox::keyPress);
        QTest::keyClick(list_.get(), Qt::Key_Delete, Qt::ShiftModifier);
        QVERIFY(!downs.isEmpty()); // the Shift key itself comes first
        QCOMPARE(downs.last()[0].toInt(), int(Qt::Key_Delete));
        QCOMPARE(downs.last()[1].value<Qt::KeyboardModifiers>(), Qt::KeyboardModifiers(Qt::ShiftModifier));
        QTest::keyClick(list_.get(), Qt::Key_Escape);
        QCOMPARE(presses.count(), 1);
        QCOMPARE(presses[0][0].value<QChar>(), QChar(27));
    }
};

QTEST_MAIN(TestFileListBox)
#include "tst_FileListBox.moc"
