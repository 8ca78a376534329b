#pragma once
// The help window: a fixed tool window of word-wrapped labels carrying the
// program's user documentation. It has no behaviour of its own.
#include "info/InfoWindow.h"

namespace mg {

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
