#include "info/frmAboutUnit.h"
#include "info/frmHelpUnit.h"

#include <QEvent>
#include <QFontDatabase>
#include <QLabel>

TfrmAbout* frmAbout = nullptr;

TfrmAbout::TfrmAbout(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About murkglass"));
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    setFont(font);
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);

    Label10 = mg::MakeWrappedLabel(this, "Label10", QRect(24, 16, 377, 52), QStringLiteral(
        "This software may be used, copied and passed on to others freely, without charge.  "
        "Whoever uses it does so entirely at his own risk and accepts every risk that "
        "comes with using it."));
    Label2 = mg::MakeWrappedLabel(this, "Label2", QRect(72, 80, 245, 52), QStringLiteral(
        "The cryptographic routines were written for this program.  They are light-weight "
        "and free of any export restrictions."));
    Label1 = mg::MakeWrappedLabel(this, "Label1", QRect(64, 152, 279, 13), QStringLiteral(
        "Have a good time and engage in safe computing practices!"));

    // Client area of the designed size, fixed: the window cannot be resized.
    mg::FitWrappedLabels(this, QSize(427, 182));
    move(192, 107);
}

void TfrmAbout::ShowAndRaise()
{
    show();
    raise();
    activateWindow();
}

void TfrmAbout::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        mg::FitWrappedLabels(this, QSize(427, 182));
}
