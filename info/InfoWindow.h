#pragma once
// What the help and about windows share: a fixed tool window of
// word-wrapped labels, each placed at its layout rectangle and moved down
// when its text needs more lines in the font in use.
#include <QRect>
#include <QSize>
#include <QWidget>

class QLabel;

namespace mg {

// Lays out the word-wrapped labels of a help or about window. Each label
// keeps the left edge and width of its layout rectangle (one-line labels
// aside, below) and takes the height its text needs in the font in use.
// Labels keep their layout tops while the text fits; a label that needs
// more lines than its rectangle holds pushes the labels below it down,
// keeping at least a small gap, and the window grows in height just enough
// to show the last one. A one-line label is widened about its centre
// instead when its text is too wide. The window's width never changes, and
// its size stays fixed.
void FitWrappedLabels(QWidget* window, QSize designedClient);

// A word-wrapped, plain-text label at its layout rectangle.
QLabel* MakeWrappedLabel(QWidget* window, const char* name, QRect designed, const QString& text);

// What the help and about windows share: a fixed tool window in the
// program's 8-point UI font whose word-wrapped labels are laid out again
// when its font or style changes.
class InfoWindow : public QWidget {
    Q_OBJECT
public:
    // Shows the window without making it modal and brings it to the front;
    // a window already visible is only brought forward.
    void ShowAndRaise();

protected:
    InfoWindow(QWidget* parent, const char* name, const QString& title, QSize designedClient);
    // Once the labels exist: lays them out in a client area of the layout
    // size and moves the window to its default place.
    void PlaceLabels(QPoint position);
    void changeEvent(QEvent* event) override;

private:
    QSize designedClient_;
};

} // namespace mg
