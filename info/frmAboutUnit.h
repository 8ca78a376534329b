#pragma once
// The about window: a fixed tool window with three word-wrapped labels.
#include "info/InfoWindow.h"

namespace mg {

class TfrmAbout : public InfoWindow {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label10;
};

// Created hidden by the program's entry; lives until the process ends.
extern TfrmAbout* frmAbout;

} // namespace mg
