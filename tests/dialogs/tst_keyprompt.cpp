// The current key's prompts, answered through the dialog seam.
#include "cipher/KeyPrompt.h"
#include "cipher/KeyText.h"
#include "cipher/passKey.h"
#include "ui/Dialogs.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cstdint>
#include <string>

using namespace mg;

namespace {

// Answers the dialogs from a script ("ok:<text>" or "cancel") and writes down
// what each asked: "<caption> [<default>]" for a prompt, "message: <text>"
// for a message.
class ScriptedUser {
public:
    explicit ScriptedUser(QStringList answers) : answers_(std::move(answers))
    {
        SetDialogResponder([this](const DialogRequest& r) { return Answer(r); });
    }
    ~ScriptedUser() { SetDialogResponder({}); }
    ScriptedUser(const ScriptedUser&) = delete;
    ScriptedUser& operator=(const ScriptedUser&) = delete;

    QStringList asked;
    QStringList faults;
    int unanswered() const { return int(answers_.size()); }

private:
    DialogAnswer Answer(const DialogRequest& r)
    {
        if (r.type == DialogRequest::Message) {
            asked << QStringLiteral("message: ") + r.text;
            if (r.kind != mtCustom || r.buttons != mbOK || r.caption != ApplicationTitle())
                faults << QStringLiteral("not a plain message box: ") + r.text;
            return {mrOk, {}};
        }
        asked << r.caption + QStringLiteral(" [") + r.defaultText + u']';
        const bool first = r.caption == u"Set Decryption Key" && r.text == u"Enter Decryption Passphrase: ";
        const bool confirm = r.caption == u"CONFIRM Decryption Key" && r.text == u"Confirm Decryption Passphrase: ";
        if (!first && !confirm)
            faults << QStringLiteral("unexpected prompt: ") + r.caption + u'/' + r.text;
        if (!r.masked)
            faults << QStringLiteral("passphrase shown in clear: ") + r.caption;
        if (answers_.isEmpty()) {
            faults << QStringLiteral("more prompts than answers");
            return {mrCancel, {}};
        }
        const QString answer = answers_.takeFirst();
        if (answer.startsWith(u"ok:"))
            return {mrOk, answer.mid(3)};
        return {mrCancel, QStringLiteral("ignored")};
    }
    QStringList answers_;
};

std::int32_t Key(const char* bytes)
{
    return PassphraseKey(bytes);
}

} // namespace

class KeyPromptTest : public QObject {
    Q_OBJECT

private slots:
    void promptFlows_data();
    void promptFlows();
    void integerFromTypedText_data();
    void integerFromTypedText();
    void anyTypedTextYieldsKeyAndRoundTrips();
};

void KeyPromptTest::promptFlows_data()
{
    QTest::addColumn<QByteArray>("passphrase");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("operations"); // P PromptForKey, C ConfirmPassphrase
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QByteArray>("expectedPassphrase");
    QTest::addColumn<int>("expectedKey");
    QTest::addColumn<QString>("confirmed"); // one 1/0 per C
    QTest::addColumn<QStringList>("asked");

    const QString set = QStringLiteral("Set Decryption Key [%1]");
    const QString confirm = QStringLiteral("CONFIRM Decryption Key []");
    const QString mismatch = QStringLiteral("message: Keys DID NOT match");

    QTest::newRow("cancel without passphrase keeps an integer key")
        << QByteArray() << 1234 << "P" << QStringList{"cancel"} << QByteArray() << 1234 << ""
        << QStringList{set.arg("")};
    QTest::newRow("cancel with passphrase derives its key again over an integer key")
        << QByteArray("abc") << 77 << "P" << QStringList{"cancel"} << QByteArray("abc") << Key("abc") << ""
        << QStringList{set.arg("abc")};
    QTest::newRow("emptied field changes nothing") << QByteArray("abc") << 77 << "P" << QStringList{"ok:"}
                                                   << QByteArray("abc") << 77 << "" << QStringList{set.arg("abc")};
    QTest::newRow("passphrase sets text and key")
        << QByteArray() << 0 << "P" << QStringList{"ok:Secret"} << QByteArray("Secret") << Key("Secret") << ""
        << QStringList{set.arg("")};
    QTest::newRow("integer text sets the key and keeps the passphrase")
        << QByteArray("abc") << Key("abc") << "P" << QStringList{"ok:  -42"} << QByteArray("abc") << -42 << ""
        << QStringList{set.arg("abc")};
    QTest::newRow("integer then cancel: passphrase key replaces the integer")
        << QByteArray("abc") << Key("abc") << "PP" << QStringList{"ok:x1F", "cancel"} << QByteArray("abc") << Key("abc")
        << "" << QStringList{set.arg("abc"), set.arg("abc")};
    QTest::newRow("spaces alone are a passphrase") << QByteArray() << 0 << "P" << QStringList{"ok:   "}
                                                   << QByteArray("   ") << Key("   ") << "" << QStringList{set.arg("")};
    QTest::newRow("digits then a space are a passphrase")
        << QByteArray() << 0 << "P" << QStringList{"ok:12 "} << QByteArray("12 ") << Key("12 ") << ""
        << QStringList{set.arg("")};
    QTest::newRow("accented passphrase keys on its Windows-1252 bytes")
        << QByteArray() << 0 << "P" << QStringList{"ok:Café"} << QByteArray("Caf\xE9") << Key("Caf\xE9") << ""
        << QStringList{set.arg("")};
    QTest::newRow("accented passphrase shown as text and kept on cancel")
        << QByteArray("Caf\xE9 \x80") << 5 << "P" << QStringList{"cancel"} << QByteArray("Caf\xE9 \x80")
        << Key("Caf\xE9 \x80") << "" << QStringList{set.arg("Café €")};
    QTest::newRow("passphrase beyond the code page keeps UTF-8 and round-trips")
        << QByteArray("\xCE\xA9mega \xC3\xA9") << 5 << "P" << QStringList{"cancel"}
        << QByteArray("\xCE\xA9mega \xC3\xA9") << Key("\xCE\xA9mega \xC3\xA9") << "" << QStringList{set.arg("Ωmega é")};
    QTest::newRow("confirmation typed the same runs the batch")
        << QByteArray() << 0 << "C" << QStringList{"ok:Secret", "ok:Secret"} << QByteArray("Secret") << Key("Secret")
        << "1" << QStringList{set.arg(""), confirm};
    QTest::newRow("confirmation differing in letter case does not match")
        << QByteArray() << 0 << "C" << QStringList{"ok:Secret", "ok:secret"} << QByteArray("Secret") << Key("Secret")
        << "0" << QStringList{set.arg(""), confirm, mismatch};
    QTest::newRow("cancelled confirmation says nothing and keeps the new key")
        << QByteArray("old") << Key("old") << "C" << QStringList{"ok:Secret", "cancel"} << QByteArray("Secret")
        << Key("Secret") << "0" << QStringList{set.arg("old"), confirm};
    QTest::newRow("integer key confirmed by typing it again")
        << QByteArray("abc") << Key("abc") << "C" << QStringList{"ok:42", "ok:42"} << QByteArray("abc") << 42 << "1"
        << QStringList{set.arg("abc"), confirm};
    QTest::newRow("after an integer key the old passphrase does not confirm")
        << QByteArray("abc") << Key("abc") << "C" << QStringList{"ok:42", "ok:abc"} << QByteArray("abc") << 42 << "0"
        << QStringList{set.arg("abc"), confirm, mismatch};
    QTest::newRow("cancelled first prompt is confirmed by the kept passphrase")
        << QByteArray("abc") << 9 << "C" << QStringList{"cancel", "ok:abc"} << QByteArray("abc") << Key("abc") << "1"
        << QStringList{set.arg("abc"), confirm};
    QTest::newRow("emptied first prompt confirms nothing")
        << QByteArray("abc") << Key("abc") << "C" << QStringList{"ok:", "ok:abc"} << QByteArray("abc") << Key("abc")
        << "0" << QStringList{set.arg("abc"), confirm, mismatch};
    QTest::newRow("accented confirmation compares code-page bytes")
        << QByteArray() << 0 << "C" << QStringList{"ok:Ärger", "ok:Ärger"} << QByteArray("\xC4rger") << Key("\xC4rger")
        << "1" << QStringList{set.arg(""), confirm};
}

void KeyPromptTest::promptFlows()
{
    QFETCH(QByteArray, passphrase);
    QFETCH(int, key);
    QFETCH(QString, operations);
    QFETCH(QStringList, answers);
    QFETCH(QByteArray, expectedPassphrase);
    QFETCH(int, expectedKey);
    QFETCH(QString, confirmed);
    QFETCH(QStringList, asked);

    std::string pass = passphrase.toStdString();
    std::int32_t decryptionKey = key;
    ScriptedUser user(answers);
    QString results;
    for (QChar op : operations) {
        if (op == u'P')
            PromptForKey(pass, decryptionKey);
        else
            results += ConfirmPassphrase(pass, decryptionKey) ? u'1' : u'0';
    }
    QCOMPARE(user.faults, QStringList());
    QCOMPARE(user.unanswered(), 0);
    QCOMPARE(user.asked, asked);
    QCOMPARE(results, confirmed);
    QCOMPARE(QByteArray::fromStdString(pass), expectedPassphrase);
    QCOMPARE(decryptionKey, expectedKey);
}

void KeyPromptTest::integerFromTypedText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("integer");
    QTest::addColumn<int>("value");
    QTest::newRow("leading spaces and digits") << "  42" << true << 42;
    QTest::newRow("hexadecimal pattern past the sign bit") << "$FFFFFFFF" << true << -1;
    QTest::newRow("full-width digits are not decimal digits") << "４２" << false << 0;
    QTest::newRow("Arabic-Indic digits are not decimal digits") << "٤٢" << false << 0;
    QTest::newRow("no-break space is not a leading space") << "\u00A042" << false << 0;
    QTest::newRow("full-width x is not a hexadecimal prefix") << "ｘ1F" << false << 0;
}

void KeyPromptTest::integerFromTypedText()
{
    QFETCH(QString, text);
    QFETCH(bool, integer);
    QFETCH(int, value);
    const auto read = IntegerFromText(text);
    QCOMPARE(read.has_value(), integer);
    if (integer)
        QCOMPARE(*read, value);
}

// Any text up to the field's limit yields a key or is ignored, and the
// passphrase it leaves comes back unchanged through a cancelled prompt.
void KeyPromptTest::anyTypedTextYieldsKeyAndRoundTrips()
{
    const QString pool = QStringLiteral(" 0123456789abcxXF$+-éÄ€ŒΩ漢\u0081\u00A0\t\u0000") + QString(QChar(0xD83D))
                         + QChar(0xDE00) + QChar(0xDC00);
    QRandomGenerator random(20261210);
    for (int round = 0; round < 60; ++round) {
        QString typed;
        const int length = random.bounded(0, 256);
        for (int i = 0; i < length; ++i)
            typed += pool.at(random.bounded(pool.size()));
        std::string pass = "start";
        std::int32_t key = 7;
        {
            ScriptedUser user({QStringLiteral("ok:") + typed, QStringLiteral("cancel")});
            PromptForKey(pass, key);
            if (typed.isEmpty()) {
                QCOMPARE(pass, std::string("start"));
                QCOMPARE(key, 7);
            } else if (const auto value = IntegerFromText(typed)) {
                QCOMPARE(key, *value);
                QCOMPARE(pass, std::string("start"));
            } else {
                QCOMPARE(pass, TypedTextBytes(typed));
                QCOMPARE(key, PassphraseKey(pass));
            }
            QVERIFY(!ParseIntegerText(pass).has_value());
            const std::string kept = pass;
            PromptForKey(pass, key);
            QVERIFY2(pass == kept, qPrintable(QStringLiteral("round %1: passphrase changed on cancel").arg(round)));
            QCOMPARE(key, PassphraseKey(pass));
            QCOMPARE(user.faults, QStringList());
        }
    }
}

QTEST_MAIN(KeyPromptTest)
#include "tst_keyprompt.moc"
