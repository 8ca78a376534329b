#include "cipher/KeyPrompt.h"

#include "cipher/KeyText.h"
#include "cipher/SecretBytes.h"
#include "ui/Dialogs.h"

namespace mg {
namespace {

// Characters of Windows-1252 bytes 0x80-0x9F; the five bytes the code page
// leaves undefined stand for the C1 control of the same number.
constexpr char16_t kHighCharacters[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString FromWindows1252(const std::string& bytes)
{
    QString text;
    text.reserve(qsizetype(bytes.size()));
    for (char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        text.append(QChar(b >= 0x80 && b < 0xA0 ? kHighCharacters[b - 0x80] : char16_t(b)));
    }
    return text;
}

// Shows the key prompt, updates the key and returns the text it gave back.
QString AskForKey(std::string& passphrase, std::int32_t& decryptionKey,
                  strong::TStrongKeys* strongKeys)
{
    const QString answer = PassphraseDialog(QStringLiteral("Set Decryption Key"),
                                            QStringLiteral("Enter Decryption Passphrase: "),
                                            PassphraseText(passphrase));
    if (answer.isEmpty())
        return answer;
    std::string bytes = TypedTextBytes(answer);
    const KeyFromText key = KeyForText(bytes);
    decryptionKey = key.key;
    if (strongKeys)
        strongKeys->SetPassphrase(bytes);
    if (!key.isInteger) {
        WipeString(passphrase); // the superseded passphrase
        passphrase = bytes;
    }
    WipeString(bytes);
    return answer;
}

} // namespace

std::string TypedTextBytes(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return PassphraseBytes(std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

QString PassphraseText(const std::string& bytes)
{
    // A passphrase holds Windows-1252 bytes unless one of its characters had
    // none; then it holds UTF-8, which reads back to that text. Any other
    // bytes read as Windows-1252, which every byte round-trips through.
    const QString asUtf8 = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    if (TypedTextBytes(asUtf8) == bytes)
        return asUtf8;
    return FromWindows1252(bytes);
}

std::optional<std::int32_t> IntegerFromText(const QString& text)
{
    return ParseIntegerText(TypedTextBytes(text));
}

void PromptForKey(std::string& passphrase, std::int32_t& decryptionKey,
                  strong::TStrongKeys* strongKeys)
{
    AskForKey(passphrase, decryptionKey, strongKeys);
}

bool ConfirmPassphrase(std::string& passphrase, std::int32_t& decryptionKey,
                       strong::TStrongKeys* strongKeys)
{
    const QString first = AskForKey(passphrase, decryptionKey, strongKeys);
    const QString second = PassphraseDialog(QStringLiteral("CONFIRM Decryption Key"),
                                            QStringLiteral("Confirm Decryption Passphrase: "), QString());
    if (second.isEmpty())
        return false;
    // The confirmation is compared with the text the first prompt gave back,
    // not with the stored passphrase: an integer key typed at the first
    // prompt is confirmed by typing it again, and the batch runs only with a
    // key the user typed twice.
    if (TypedTextBytes(second) == TypedTextBytes(first))
        return true;
    PlainMessage(QStringLiteral("Keys DID NOT match"));
    return false;
}

} // namespace mg
