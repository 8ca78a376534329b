// Runs the metafile helper and checks everything it hands back.
#include "ui/MetafileClient.h"

#include "base/Error.h"
#include "ui/MetafileSandbox.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <cstring>

namespace mg {

namespace {

QString g_program; // test seam: replaces the helper when not empty
QStringList g_programArgs;
int g_timeoutMs = kMetafileTimeLimitMs;

// The largest output a well-behaved helper can write.
constexpr qint64 kMaxOutput = qint64(kMetafileHeaderWords) * 4 + qint64(kMetafileMaxSvg);

[[noreturn]] void Invalid()
{
    throw Error("Metafile image is not valid");
}

[[noreturn]] void RendererBroken()
{
    // The viewer shows only that a picture failed; someone who started it
    // from a terminal learns once why every metafile fails.
    static bool told = false;
    if (!told) {
        told = true;
        qWarning("murkglass: %s", kMetafileRendererBroken);
    }
    throw Error(kMetafileRendererBroken);
}

// Lets the windows repaint while the helper works. Input stays queued, so no
// command can start while this one waits.
void KeepPainting()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

std::uint32_t Word(const QByteArray& data, int index)
{
    std::uint32_t value = 0;
    std::memcpy(&value, data.constData() + index * 4, 4);
    return value; // the helper runs on this machine: host byte order
}

// Kills and reaps the helper on every path out of ConvertMetafile.
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
    g_timeoutMs = milliseconds > 0 ? milliseconds : kMetafileTimeLimitMs;
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
    exeDir = exeDir.isEmpty() ? QCoreApplication::applicationDirPath() : QFileInfo(exeDir).absolutePath();
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

MetafileVectors ConvertMetafile(MetafileKind kind, const std::vector<std::uint8_t>& bytes)
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
    process.setStandardErrorFile(QProcess::nullDevice());
    StartConfined(process, program, args);
    const QDeadlineTimer deadline(g_timeoutMs);
    if (!process.waitForStarted(g_timeoutMs))
        RendererBroken();

    // Feed the metafile in and read the answer as it comes, so neither pipe
    // fills up and the output limit holds while the helper still writes.
    process.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    process.closeWriteChannel();
    QByteArray output;
    while (process.state() != QProcess::NotRunning) {
        if (deadline.hasExpired())
            output.size() < 4 ? RendererBroken() : Invalid();
        process.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 25)));
        output += process.readAllStandardOutput();
        if (output.size() >= 4 && Word(output, 0) != kMetafileMagic)
            RendererBroken(); // not the helper's answer
        if (output.size() > kMaxOutput)
            Invalid();
        KeepPainting();
    }
    output += process.readAllStandardOutput();
    // Nothing read yet, so nothing the file did: the helper, a library it
    // needs or Qt's platform plugin failed to start.
    if (output.size() < 4 || Word(output, 0) != kMetafileMagic)
        RendererBroken();
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == kMetafileExitRendererBroken)
        RendererBroken();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        Invalid();
    if (output.size() < kMetafileHeaderWords * 4 || output.size() > kMaxOutput)
        Invalid();

    if (Word(output, 1) != kMetafileVersion)
        Invalid();
    const std::uint32_t naturalW = Word(output, 2), naturalH = Word(output, 3);
    const std::uint32_t length = Word(output, 4);
    if (naturalW < 1 || naturalH < 1 || naturalW > std::uint32_t(kMetafileMaxNatural)
        || naturalH > std::uint32_t(kMetafileMaxNatural))
        Invalid();
    if (output.size() != qint64(kMetafileHeaderWords) * 4 + qint64(length))
        Invalid();

    MetafileVectors result;
    result.naturalWidth = int(naturalW);
    result.naturalHeight = int(naturalH);
    result.svg = output.mid(kMetafileHeaderWords * 4);
    return result;
}

} // namespace mg
