// The snapshot: a click on the viewing pane floats a copy of its picture into
// a small tool window near the main window's lower-right corner; a right
// click rescales it by a percentage.
#include "viewer/murkglassmain.h"

#include "cipher/KeyPrompt.h"
#include "ui/Dialogs.h"
#include "viewer/Fitting.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace mg {

void TfrmMain::Image1Click()
{
    Image2->SetAutoSize(false);
    Image2->Picture().Assign(Image1->Picture());
    Image2->show();
    Image2->SetStretch(Image1->Stretch());
    const QPoint frame = frameGeometry().topLeft();
    const viewer::SnapRect r =
        viewer::SnapshotRect(frame.x(), frame.y(), ClientWidth(), ClientHeight(), Image1->width(), Image1->height());
    Image2->FloatControl(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
}

void TfrmMain::Image2ContextPopup()
{
    // Cancel gives back the default, so it rescales to 50 per cent.
    const QString answer = InputDialog(QStringLiteral("Rescale"), QStringLiteral("Rescale % "), QStringLiteral("50"));
    const std::optional<std::int32_t> percent = IntegerFromText(answer);
    if (!percent)
        return;
    Image2->SetAutoSize(false);
    // The percentage is not range-checked, so 0, a negative number or an
    // overflowing product give a side of 0 or less, or a huge one. A window
    // of no size could neither be seen nor right-clicked again, and one far
    // larger than the screen would cost memory for nothing. So a side of 0 or
    // less becomes kSnapshotMinSide (the snapshot stays visible and can be
    // rescaled again), and a side is never larger than the screen. Every
    // other result, small ones included, is taken as computed.
    const QScreen* screen = Image2->screen() ? Image2->screen() : QGuiApplication::primaryScreen();
    const QSize most = screen ? screen->size() : QSize(4096, 4096);
    auto clamp = [](int side, int largest) {
        return side <= 0 ? kSnapshotMinSide : std::min(side, std::max(kSnapshotMinSide, largest));
    };
    Image2->SetWidth(clamp(viewer::RescaledSide(*percent, Image2->width()), most.width()));
    Image2->SetHeight(clamp(viewer::RescaledSide(*percent, Image2->height()), most.height()));
    Image2->SetStretch(true);
}

} // namespace mg
