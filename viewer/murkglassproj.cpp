// The program's entry: creates the windows in their fixed order, shows the
// main window and runs the event loop until the main window is closed.
#include "info/frmAboutUnit.h"
#include "info/frmHelpUnit.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "viewer/murkglassmain.h"

#include "batch/frmDecryptUnit.h"
#include "batch/frmEncryptUnit.h"

#include <QIcon>

int main(int argc, char** argv)
{
    mg::TApplication application(argc, argv);
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
    QApplication::exec();
    if (mg::frmMain)
        mg::frmMain->WipeSecrets();
    mg::TerminateNow();
}
