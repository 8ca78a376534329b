#pragma once
// The about window: a fixed tool window with three word-wrapped labels.
#include <QWidget>

class QLabel;

class TfrmAbout : public QWidget {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    // Shows the window without making it modal and brings it to the front;
    // a window already visible is only brought forward.
    void ShowAndRaise();

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label10;

protected:
    void changeEvent(QEvent* event) override;
};

// Created hidden by the program's entry; lives until the process ends.
extern TfrmAbout* frmAbout;
