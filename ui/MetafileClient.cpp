// Runs the metafile helper and checks everything it hands back.
#include "ui/MetafileClient.h"

#include "cipher/Error.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <cstring>

namespace mg {

namespace {

QString g_program;        // test seam: replaces the helper when not empty
QStringList g_programArgs;
int g_timeoutMs = 10000;

// The largest output a well-behaved helper can write.
constexpr qint64 kMaxOutput =
    qint64(kMetafileHeaderWords) * 4 + qint64(kMetafileMaxSide) * kMetafileMaxSide * 4;

[[noreturn]] void Invalid()
{
    throw Error("Metafile image is not valid");
}

std::uint32_t Word(const QByteArray& data, int index)
{
    std::uint32_t value = 0;
    std::memcpy(&value, data.constData() + index * 4, 4);
    return value; // the helper runs on this machine: host byte order
}

// Kills and reaps the helper on every path out of RenderMetafile.
struct HelperGuard {
    QProcess& process;
    ~HelperGuard()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(2000);
        }
    }
};

} // namespace

void SetMetafileHelperCommand(const QString& program, const QStringList& args)
{
    g_program = program;
    g_programArgs = args;
}

void SetMetafileTimeout(int milliseconds)
{
    g_timeoutMs = milliseconds > 0 ? milliseconds : 10000;
}

QString MetafileHelperPath()
{
    static const QString name = QStringLiteral("murkglass-metafile");
    const QString fromEnv = qEnvironmentVariable("MURKGLASS_LIBEXEC_DIR");
    if (!fromEnv.isEmpty()) {
        const QString path = QDir(fromEnv).filePath(name);
        if (QFileInfo(path).isExecutable())
            return path;
    }
    // The running executable's folder, read from the kernel so that it works
    // without a QCoreApplication as well.
    QString exeDir = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    exeDir = exeDir.isEmpty() ? QCoreApplication::applicationDirPath()
                              : QFileInfo(exeDir).absolutePath();
    const QStringList candidates = {
        exeDir + QStringLiteral("/../libexec/murkglass/") + name,
        exeDir + QStringLiteral("/../../libexec/murkglass/") + name,
        exeDir + QLatin1Char('/') + name,
    };
    for (const QString& path : candidates)
        if (QFileInfo(path).isExecutable())
            return QDir::cleanPath(path);
    return {};
}

MetafilePixels RenderMetafile(MetafileKind kind, const std::vector<std::uint8_t>& bytes)
{
    if (bytes.empty())
        Invalid();
    QString program = g_program;
    QStringList args = g_programArgs;
    if (program.isEmpty()) {
        program = MetafileHelperPath();
        args.clear();
    }
    if (program.isEmpty())
        throw Error("Metafile image is not valid (the helper murkglass-metafile is missing)");
    args << (kind == MetafileKind::Wmf ? QStringLiteral("wmf") : QStringLiteral("emf"));

    QProcess process;
    HelperGuard guard{process};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args, QIODevice::ReadWrite);
    if (!process.waitForStarted(g_timeoutMs))
        Invalid();

    const QDeadlineTimer deadline(g_timeoutMs);
    // Feed the metafile in and read the answer as it comes, so neither pipe
    // fills up and the output limit holds while the helper still writes.
    process.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    process.closeWriteChannel();
    QByteArray output;
    while (process.state() != QProcess::NotRunning) {
        if (deadline.hasExpired())
            Invalid();
        process.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 200)));
        output += process.readAllStandardOutput();
        if (output.size() > kMaxOutput)
            Invalid();
    }
    output += process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        Invalid();
    if (output.size() < kMetafileHeaderWords * 4 || output.size() > kMaxOutput)
        Invalid();

    if (Word(output, 0) != kMetafileMagic || Word(output, 1) != kMetafileVersion)
        Invalid();
    const std::uint32_t naturalW = Word(output, 2), naturalH = Word(output, 3);
    const std::uint32_t w = Word(output, 4), h = Word(output, 5);
    if (naturalW < 1 || naturalH < 1 || naturalW > std::uint32_t(kMetafileMaxNatural)
        || naturalH > std::uint32_t(kMetafileMaxNatural))
        Invalid();
    if (w < 1 || h < 1 || w > std::uint32_t(kMetafileMaxSide) || h > std::uint32_t(kMetafileMaxSide))
        Invalid();
    if (output.size() != qint64(kMetafileHeaderWords) * 4 + qint64(w) * h * 4)
        Invalid();

    MetafilePixels result;
    result.naturalWidth = int(naturalW);
    result.naturalHeight = int(naturalH);
    result.image = QImage(int(w), int(h), QImage::Format_ARGB32_Premultiplied);
    if (result.image.isNull())
        Invalid();
    const char* pixels = output.constData() + kMetafileHeaderWords * 4;
    for (int y = 0; y < int(h); ++y)
        std::memcpy(result.image.scanLine(y), pixels + qsizetype(y) * w * 4, std::size_t(w) * 4);
    return result;
}

} // namespace mg
