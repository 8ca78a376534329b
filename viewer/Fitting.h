#pragma once
// The viewer's arithmetic: fitting a picture to the viewing pane, the
// snapshot's place and its rescaling. Scale factors are computed in long
// double and rounded half to even, so a picture exactly between two sizes
// gets the even one on every machine; a division by zero is an error, not
// a crash.
#include <cstdint>

namespace mg::viewer {

// Round to nearest, ties to even (2.5 -> 2, 3.5 -> 4), clamped to int.
int RoundEven(long double value);

// Picture ratio W / H, divided in extended precision and stored as a double.
// Throws mg::Error "Invalid floating point operation" for 0 / 0 and
// "Floating point division by zero" for x / 0.
double Ratio(int width, int height);

struct PaneFit {
    int width = 0;
    int height = 0;
    bool byWidth = false; // true when the picture is relatively wider than the box
};

// Fits a pane whose current (natural) size is paneW x paneH into the group box
// (outer boxW x boxH, client clientW x clientH). The side taken from the box
// is client - 20 (never below 0, as a widget reads it back); the other side is
// Round(side / r) - 10 or Round(side * r) - 10. Equal ratios fit by height.
PaneFit FitPane(int paneW, int paneH, int boxW, int boxH, int clientW, int clientH);

// Snapshot rectangle in screen coordinates from the main window's outer
// top-left and client size and the viewing pane's size (div truncates).
struct SnapRect {
    int left, top, right, bottom;
};
SnapRect SnapshotRect(int frameLeft, int frameTop, int clientW, int clientH, int paneW, int paneH);

// Round((v * side) / 100) with v * side a wrapping 32-bit signed product.
int RescaledSide(std::int32_t percent, std::int32_t side);

} // namespace mg::viewer
