#include "info/frmAboutUnit.h"

#include <QLabel>

namespace mg {

TfrmAbout* frmAbout = nullptr;

TfrmAbout::TfrmAbout(QWidget* parent)
    : InfoWindow(parent, "frmAbout", QStringLiteral("About murkglass"), QSize(427, 182))
{
    Label10 = MakeWrappedLabel(
        this, "Label10", QRect(24, 16, 377, 52),
        QStringLiteral("This software may be used, copied and passed on to others freely, without charge.  "
                       "Whoever uses it does so entirely at his own risk and accepts every risk that "
                       "comes with using it."));
    Label2 = MakeWrappedLabel(
        this, "Label2", QRect(72, 80, 245, 52),
        QStringLiteral("The cryptographic routines were written for this program.  They are light-weight "
                       "and free of any export restrictions."));
    Label1 = MakeWrappedLabel(this, "Label1", QRect(64, 152, 279, 13),
                              QStringLiteral("Have a good time and engage in safe computing practices!"));

    PlaceLabels(QPoint(192, 107));
}

} // namespace mg
