#pragma once
// The help window: a fixed tool window of word-wrapped labels carrying the
// program's user documentation. It has no behaviour of its own. The window
// base and label layout it shares with the about window are declared here
// as well.
#include <QRect>
#include <QSize>
#include <QWidget>

class QLabel;

namespace mg {

// Lays out the word-wrapped labels of a help or about window. Each label
// keeps its designed left edge and width (one-line labels aside, below) and
// takes the height its text needs in the font in use. Labels stay at their designed tops as long as the text
// fits; a label whose text needs more lines than designed pushes the labels
// below it down, keeping at least a small gap, and the window grows in height
// just enough to show the last one. A label designed as a single line is
// widened about its centre instead when its text is too wide. The window's
// width never changes; it keeps a fixed size whatever it is.
void FitWrappedLabels(QWidget* window, QSize designedClient);

// A word-wrapped, plain-text label at its designed place.
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
    // Once the labels exist: lays them out in the client area of the
    // designed size and moves the window to its designed place.
    void PlaceLabels(QPoint position);
    void changeEvent(QEvent* event) override;

private:
    QSize designedClient_;
};

class TfrmHelp : public InfoWindow {
    Q_OBJECT
public:
    explicit TfrmHelp(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label9;
    QLabel* Label10;
    QLabel* Label11;
    QLabel* Label12;
    QLabel* Label13;
};

// Created hidden by the program's entry; lives until the process ends.
extern TfrmHelp* frmHelp;

} // namespace mg
