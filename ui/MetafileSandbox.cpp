// Confined start of the metafile helper: bubblewrap where it works, and no
// privileges, environment or stray descriptors everywhere.
#include "ui/MetafileSandbox.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <fcntl.h>
#include <linux/close_range.h>
#include <optional>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace mg {

namespace {

std::optional<QString> g_bwrapOverride; // test seam
std::optional<bool> g_bwrapWorks;       // the one try's result

QString BubblewrapProgram()
{
    if (g_bwrapOverride)
        return *g_bwrapOverride;
    return QStandardPaths::findExecutable(QStringLiteral("bwrap"),
                                          {QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
}

// Runs in the child between fork and exec, so it makes system calls only.
// Descriptors are marked close-on-exec rather than closed: QProcess's own
// pipe that reports a failed exec must stay open until the exec.
void ConfineChild()
{
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    if (::syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) != 0) {
        rlimit limit{};
        const long last =
            ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY ? long(limit.rlim_cur) : 65536;
        for (long fd = 3; fd < last; ++fd)
            ::fcntl(int(fd), F_SETFD, FD_CLOEXEC);
    }
}

// Top-level system folders: a link (/bin -> usr/bin on merged systems) is
// made again as a link, a real folder is bound read-only.
void AddSystemFolder(QStringList& args, const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink())
        args << QStringLiteral("--symlink") << info.symLinkTarget() << path;
    else if (info.isDir())
        args << QStringLiteral("--ro-bind") << path << path;
}

QStringList BubblewrapArguments(const QString& program)
{
    QStringList args = {
        QStringLiteral("--unshare-all"), // user, IPC, PID, network, UTS, cgroup
        QStringLiteral("--die-with-parent"),
        QStringLiteral("--new-session"), // no way to type into the terminal
        QStringLiteral("--clearenv"),
        QStringLiteral("--ro-bind"),
        QStringLiteral("/usr"),
        QStringLiteral("/usr"),
        QStringLiteral("--dev"),
        QStringLiteral("/dev"),
        QStringLiteral("--proc"),
        QStringLiteral("/proc"),
        QStringLiteral("--tmpfs"),
        QStringLiteral("/tmp"),
        QStringLiteral("--chdir"),
        QStringLiteral("/"),
    };
    for (const char* folder : {"/bin", "/sbin", "/lib", "/lib32", "/lib64"})
        AddSystemFolder(args, QString::fromLatin1(folder));
    // What the dynamic loader and the font lookup read: nothing else of /etc.
    for (const char* path : {"/etc/ld.so.cache", "/etc/ld.so.conf", "/etc/ld.so.conf.d", "/etc/fonts",
                             "/etc/alternatives", "/var/cache/fontconfig"})
        args << QStringLiteral("--ro-bind-try") << QString::fromLatin1(path) << QString::fromLatin1(path);
    // The helper itself, read-only, where it lives (a build tree, /opt).
    const QString real = QFileInfo(program).canonicalFilePath();
    if (!real.isEmpty() && !real.startsWith(QLatin1String("/usr/")))
        args << QStringLiteral("--ro-bind") << real << real;
    args << QStringLiteral("--") << (real.isEmpty() ? program : real);
    return args;
}

void StartLimitsOnly(QProcess& process, const QString& program, const QStringList& args)
{
    process.setProcessEnvironment(QProcessEnvironment()); // empty, not inherited
    process.setChildProcessModifier(ConfineChild);
    process.start(program, args, QIODevice::ReadWrite);
}

} // namespace

void SetBubblewrapProgram(const QString& program)
{
    g_bwrapOverride = program.isNull() ? std::nullopt : std::optional<QString>(program);
    g_bwrapWorks.reset();
}

bool BubblewrapWorks()
{
    if (!g_bwrapWorks) {
        const QString bwrap = BubblewrapProgram();
        bool works = false;
        if (!bwrap.isEmpty()) {
            QProcess probe;
            probe.setStandardOutputFile(QProcess::nullDevice());
            probe.setStandardErrorFile(QProcess::nullDevice());
            StartLimitsOnly(probe, bwrap, BubblewrapArguments(QStringLiteral("/usr/bin/true")));
            works = probe.waitForFinished(5000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
            if (probe.state() != QProcess::NotRunning) {
                probe.kill();
                probe.waitForFinished(1000);
            }
        }
        g_bwrapWorks = works;
    }
    return *g_bwrapWorks;
}

Confinement StartConfined(QProcess& process, const QString& program, const QStringList& args)
{
    if (BubblewrapWorks()) {
        StartLimitsOnly(process, BubblewrapProgram(), BubblewrapArguments(program) + args);
        return Confinement::Bubblewrap;
    }
    StartLimitsOnly(process, program, args);
    return Confinement::LimitsOnly;
}

} // namespace mg
