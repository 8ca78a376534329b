#pragma once
// Small pieces shared by the two batch windows: their font, self-sizing
// labels, the "Desktop" cut of the destination label, byte/text
// conversions, and the report of an error that ends a button's handler.
#include <QFont>
#include <QSize>
#include <QString>
#include <exception>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QWidget;

namespace mg::batch {

// A label at its layout top-left corner that sizes itself to its text.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top, bool bold = false,
                  double scale = 1.0, bool centred = false);
// Sizes a label to its text, keeping its left edge.
void FitLabel(QLabel* label);
// Sets a label's text only when it differs, so that a label rewritten from
// a paint handler does not cause another paint; sizes it afterwards.
void SetLabelText(QLabel* label, const QString& text);

// Widens check boxes and radio buttons whose captions do not fit their
// layout width in the font in use (keeping position and height), then
// widens the window's fixed client area, never below its layout size, so
// that they fit inside it.
void FitCaptions(QWidget* window, QSize designed, const std::vector<QWidget*>& controls);

// A push button that is never pressed by Enter unless it has the focus.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int left, int top, int width,
                        int height);
// Named controls at their layout places.
QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption, int left, int top, int width,
                        int height);
QRadioButton* MakeRadioButton(QWidget* parent, const char* name, const QString& caption, int left, int top, int width,
                              int height);
QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& text, int left, int top, int width, int height);
// "ProgressBar1": range 0 to 100 at 0, without a percentage text.
QProgressBar* MakeProgressBar(QWidget* parent, int left, int top, int width, int height);

// The destination label's path: from the first "Desktop" (exact case) to
// the end, or the whole path when the word does not occur.
std::string CutAtDesktop(const std::string& path);

// Typed text as file-name bytes (the file system's encoding).
std::string FileNameBytes(const QString& text);

// The error report for an error that ended a handler: an mg::Error (or any
// std::exception) shows its own message, running out of memory shows
// "Out of memory".
void ReportHandlerError(const std::exception_ptr& error);

} // namespace mg::batch
