// The program's entry: creates the windows in their fixed order, shows the
// main window and runs the event loop until the main window is closed.
#include "info/frmAboutUnit.h"
#include "info/frmHelpUnit.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "viewer/CommandLine.h"
#include "viewer/murkglassmain.h"

#include "batch/frmDecryptUnit.h"
#include "batch/frmEncryptUnit.h"

#include <QIcon>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {
std::vector<std::string> Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}
} // namespace

int main(int argc, char** argv)
{
    using mg::viewer::StartRequest;
    // --help and --version need no display: answered before Qt starts.
    const StartRequest early = mg::viewer::ParseArguments(Arguments(argc, argv));
    if (early.action == StartRequest::Help || early.action == StartRequest::Version) {
        std::fputs((early.action == StartRequest::Help ? mg::viewer::UsageText() : mg::viewer::VersionText()).c_str(),
                   stdout);
        return 0;
    }
    // The start folder is read now: the file list moves the process's
    // current folder as soon as the windows exist.
    std::error_code ignored;
    const std::string startFolder = std::filesystem::current_path(ignored).string();

    mg::Application application(argc, argv);
    // The application object has taken out its own options.
    const StartRequest request = mg::viewer::ParseArguments(Arguments(argc, argv));
    if (request.action == StartRequest::Error) {
        std::fprintf(stderr, "murkglass: %s\nTry 'murkglass --help'.\n", request.error.c_str());
        return 2;
    }
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/murkglass.svg")));

    // TfrmMain sets frmMain itself before its first handler can run.
    new mg::TfrmMain;
    mg::frmEncrypt = new mg::TfrmEncrypt;
    mg::frmDecrypt = new mg::TfrmDecrypt;
    mg::frmHelp = new mg::TfrmHelp;
    mg::frmAbout = new mg::TfrmAbout;

    // The loop runs until the main window is closed: the tool windows (help,
    // about, the snapshot) do not keep the program alive.
    mg::frmHelp->setAttribute(Qt::WA_QuitOnClose, false);
    mg::frmAbout->setAttribute(Qt::WA_QuitOnClose, false);
    mg::frmMain->show();
    if (!request.path.empty())
        mg::frmMain->OpenStartPath(mg::viewer::AbsoluteStartPath(request.path, startFolder));
    QApplication::exec();
    if (mg::frmMain)
        mg::frmMain->WipeSecrets();
    mg::TerminateNow();
}
