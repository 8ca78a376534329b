#include "info/frmHelpUnit.h"

#include <QLabel>

namespace mg {

TfrmHelp* frmHelp = nullptr;

TfrmHelp::TfrmHelp(QWidget* parent)
    : InfoWindow(parent, "frmHelp", QStringLiteral("Program Hints and Help"), QSize(413, 578))
{
    Label11 = MakeWrappedLabel(
        this, "Label11", QRect(16, 8, 369, 52),
        QStringLiteral("No claim whatsoever is made as to the fitness of this program for any purpose "
                       "or as to the correctness of its results.  Do not encrypt or delete files that "
                       "are important to you.  The program assumes that you know what you are doing."));
    Label10 = MakeWrappedLabel(
        this, "Label10", QRect(16, 64, 387, 26),
        QStringLiteral("Note: Due to bugginess of the TShellTreeView Control, newly created folders may  "
                       "not be immediately visible.  Hope this will be corrected soon!"));
    Label12 =
        MakeWrappedLabel(this, "Label12", QRect(16, 96, 377, 39),
                         QStringLiteral("WARNING: the program ONLY encrypts/decrypts JPEG files.  User assumes all "
                                        "responsibitlity for errors in operation that might overwrite or corrupt the "
                                        "original file."));
    Label1 = MakeWrappedLabel(
        this, "Label1", QRect(16, 144, 384, 39),
        QStringLiteral("1. VIEWING UNENCRYPTED JPG FILES: To view a file, select with mouse.  If it is "
                       "viewable, it will appear in the  viewing pane.  If not, an error will be shown in "
                       "the status bar and a noise image may appear."));
    Label2 = MakeWrappedLabel(
        this, "Label2", QRect(16, 192, 373, 26),
        QStringLiteral("2. NAVIGATION: Once a file is selected, you can navigate through the list with "
                       "arrow keys and pgup and pgdn"));
    Label3 = MakeWrappedLabel(
        this, "Label3", QRect(11, 232, 386, 26),
        QStringLiteral("3. SELECTING FILES: This program uses the Windows convention of selecting a single "
                       "file with a mouse click into the file list."));
    Label4 =
        MakeWrappedLabel(this, "Label4", QRect(14, 272, 362, 26),
                         QStringLiteral("4. MULTIPLE SELECT (individual): You can select multiple individual files by "
                                        "holding down the CNTRL key while clicking files."));
    Label5 = MakeWrappedLabel(
        this, "Label5", QRect(14, 312, 383, 26),
        QStringLiteral("5. MULTIPLE SELECT (list): Select the first file in the range, then hold the SHIFT "
                       "key then mouse click the last file in the list."));
    Label6 = MakeWrappedLabel(
        this, "Label6", QRect(17, 344, 391, 39),
        QStringLiteral("6. VIEWING ENCRYPTED: Click File, then View Encrypted.  Type in the passphrase, "
                       "then click then select a file.  If the passphrase is correct, the file will be "
                       "viewable in the window."));
    Label7 = MakeWrappedLabel(
        this, "Label7", QRect(16, 392, 382, 52),
        QStringLiteral("7. ENCRYPTING: Select the files you wish to encrypt in the file window, then click "
                       "\"Encrypt Selected Files\" from the drop-down menu.  Select your destination "
                       "directory (or create a new one) and the File extension and Filename obfuscation "
                       "method."));
    Label8 = MakeWrappedLabel(
        this, "Label8", QRect(72, 456, 242, 39),
        QStringLiteral("NOTE: The ENCRYPTED file DOES NOT retain its original filename if you obfuscate "
                       "with Time-Date or ROT-13 encryption!"));
    Label9 = MakeWrappedLabel(
        this, "Label9", QRect(16, 512, 378, 26),
        QStringLiteral("8. DECRYPTING: The \"reverse\" of encryption process.  The decrypted file may not "
                       "have original integrity.  User accepts all risk in this process!!"));
    Label13 = MakeWrappedLabel(
        this, "Label13", QRect(16, 544, 385, 39),
        QStringLiteral("9. SNAPSHOT: left-click once on viewed image and a  small resizable window with the "
                       "image will pop up in lower-right corner of view window"));

    PlaceLabels(QPoint(191, 64));
}

} // namespace mg
