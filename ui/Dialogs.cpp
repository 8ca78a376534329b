#include "ui/Dialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <new>
#include <utility>

namespace mg {
namespace {

struct ButtonSpec {
    DialogButtons bit;
    const char* caption;
    int result;
};

// The buttons in their fixed left-to-right order.
constexpr ButtonSpec kButtons[] = {
    {Btn::Yes, "&Yes", mrYes},
    {Btn::No, "&No", mrNo},
    {Btn::OK, "OK", mrOk},
    {Btn::Cancel, "Cancel", mrCancel},
    {Btn::Abort, "&Abort", mrAbort},
    {Btn::Retry, "&Retry", mrRetry},
    {Btn::Ignore, "&Ignore", mrIgnore},
    {Btn::All, "&All", mrAll},
    {Btn::NoToAll, "N&o to All", mrNoToAll},
    {Btn::YesToAll, "Yes to &All", mrYesToAll},
    {Btn::Help, "&Help", mrNone},
};

constexpr int kMinButtonWidth = 75;
constexpr int kInputWidthInChars = 45;
constexpr int kTabColumns = 8;

DialogResponder& Responder()
{
    static DialogResponder responder;
    return responder;
}

QString& StoredTitle()
{
    static QString title;
    return title;
}

QScreen* DialogScreen()
{
    if (QWidget* active = QApplication::activeWindow())
        if (QScreen* screen = active->screen())
            return screen;
    return QGuiApplication::primaryScreen();
}

QString KindCaption(DialogKind kind)
{
    switch (kind) {
    case mtWarning:
        return QStringLiteral("Warning");
    case mtError:
        return QStringLiteral("Error");
    case mtInformation:
        return QStringLiteral("Information");
    case mtConfirmation:
        return QStringLiteral("Confirm");
    default:
        return ApplicationTitle();
    }
}

bool KindIcon(DialogKind kind, QStyle::StandardPixmap& icon)
{
    switch (kind) {
    case mtWarning:
        icon = QStyle::SP_MessageBoxWarning;
        return true;
    case mtError:
        icon = QStyle::SP_MessageBoxCritical;
        return true;
    case mtInformation:
        icon = QStyle::SP_MessageBoxInformation;
        return true;
    case mtConfirmation:
        icon = QStyle::SP_MessageBoxQuestion;
        return true;
    default:
        return false;
    }
}

// Tabs become spaces up to the next stop of eight columns.
QString ExpandTabs(const QString& text)
{
    QString out;
    int column = 0;
    for (QChar c : text) {
        if (c == u'\t') {
            const int spaces = kTabColumns - column % kTabColumns;
            out.append(QString(spaces, u' '));
            column += spaces;
        } else {
            out.append(c);
            column = (c == u'\n') ? 0 : column + 1;
        }
    }
    return out;
}

QString WithoutAccessMarks(const char* caption)
{
    return QString::fromLatin1(caption).remove(u'&');
}

// A modal dialog whose Escape key gives its own code (nothing happens when
// the code is 0: the set has no cancel button) and whose close box (or the
// system's close command) gives 2.
class AnswerDialog : public QDialog {
public:
    AnswerDialog(QWidget* parent, const QString& caption)
        : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                              | Qt::MSWindowsFixedSizeDialogHint)
    {
        setWindowTitle(caption);
        setWindowModality(Qt::ApplicationModal);
    }
    int escapeResult = mrCancel;

    void reject() override { done(mrCancel); }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape) {
            if (escapeResult != mrNone)
                done(escapeResult);
            return;
        }
        QDialog::keyPressEvent(event);
    }
};

// Centres the dialog on the screen, runs it modally and destroys it. A
// dialog whose loop ended without an answer (the application was asked to
// quit) or that was destroyed meanwhile answers 2.
int RunAndDispose(AnswerDialog* dialog)
{
    QPointer<AnswerDialog> guard(dialog);
    dialog->adjustSize();
    dialog->winId(); // the window frame is known once the native window exists
    const QRect area = DialogScreen()->availableGeometry();
    const QSize frame = dialog->frameGeometry().size();
    dialog->move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
    const int result = dialog->exec();
    delete guard.data();
    return result == mrNone ? int(mrCancel) : result;
}

// Word wrapping breaks lines only between words, so a word wider than the
// label (the path of a deeply nested file) would be cut off. Such a word gets
// zero-width spaces, invisible places where a line may break: after each
// "/", or anywhere when a piece between them is still too wide.
QString BreakableText(const QString& text, const QFontMetrics& metrics, int maxWidth)
{
    static const QChar breakHere(0x200B);
    QString result;
    QString word;
    const auto flush = [&] {
        if (metrics.horizontalAdvance(word) <= maxWidth) {
            result += word;
        } else {
            QString piece;
            for (const QChar c : word) {
                if (!piece.isEmpty() && metrics.horizontalAdvance(piece + c) > maxWidth) {
                    result += piece + breakHere;
                    piece.clear();
                }
                piece += c;
                if (c == u'/') {
                    result += piece + breakHere;
                    piece.clear();
                }
            }
            result += piece;
        }
        word.clear();
    };
    for (const QChar c : text) {
        if (c.isSpace()) {
            flush();
            result += c;
        } else {
            word += c;
        }
    }
    flush();
    return result;
}

QLabel* WrappedLabel(const QString& text, int maxWidth, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(BreakableText(text, QFontMetrics(label->font()), maxWidth - 4));
    label->setAccessibleName(text); // read without the break marks
    label->setWordWrap(true);
    const QFontMetrics metrics(label->font());
    int natural = 1;
    for (const QString& line : text.split(u'\n'))
        natural = std::max(natural, metrics.horizontalAdvance(line) + 4);
    const int width = std::min(natural, maxWidth);
    label->setFixedSize(width, label->heightForWidth(width));
    return label;
}

QPushButton* AddButton(QHBoxLayout* row, QWidget* dialog, const QString& caption, int width)
{
    auto* button = new QPushButton(caption, dialog);
    button->setAutoDefault(true); // Enter presses the button that has the focus
    button->setFixedWidth(width);
    row->addWidget(button);
    return button;
}

DialogAnswer ShowMessageWindow(const DialogRequest& request)
{
    auto* dialog = new AnswerDialog(QApplication::activeWindow(), request.caption);
    dialog->setObjectName(QStringLiteral("MessageDialog"));
    auto* grid = new QGridLayout(dialog);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(12);

    QStyle::StandardPixmap iconId;
    if (KindIcon(request.kind, iconId)) {
        auto* icon = new QLabel(dialog);
        icon->setObjectName(QStringLiteral("icon"));
        icon->setPixmap(dialog->style()->standardIcon(iconId, nullptr, dialog).pixmap(32, 32));
        icon->setFixedSize(32, 32);
        grid->addWidget(icon, 0, 0, Qt::AlignTop | Qt::AlignLeft);
    }
    QLabel* text = WrappedLabel(ExpandTabs(request.text), DialogScreen()->geometry().width() / 2, dialog);
    text->setObjectName(QStringLiteral("text"));
    grid->addWidget(text, 0, 1, Qt::AlignTop | Qt::AlignLeft);

    const QFontMetrics metrics(dialog->font());
    int width = kMinButtonWidth;
    for (const ButtonSpec& spec : kButtons)
        if (request.buttons & spec.bit)
            width = std::max(width, metrics.horizontalAdvance(WithoutAccessMarks(spec.caption)) + 8);

    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addStretch();
    QPushButton* defaultButton = nullptr;
    int defaultRank = 0; // 3 OK, 2 Yes, 1 Retry
    bool hasCancel = false, hasNo = false, hasOk = false;
    for (const ButtonSpec& spec : kButtons) {
        if (!(request.buttons & spec.bit))
            continue;
        QPushButton* button = AddButton(row, dialog, QString::fromLatin1(spec.caption), width);
        const int result = spec.result;
        // The help button opens help and leaves the dialog open; there is no
        // help behind these dialogs, so it does nothing.
        if (result != mrNone)
            QObject::connect(button, &QPushButton::clicked, dialog, [dialog, result] { dialog->done(result); });
        const int rank = spec.bit == Btn::OK ? 3 : spec.bit == Btn::Yes ? 2 : spec.bit == Btn::Retry ? 1 : 0;
        if (rank > defaultRank)
            defaultRank = rank, defaultButton = button;
        hasCancel = hasCancel || spec.bit == Btn::Cancel;
        hasNo = hasNo || spec.bit == Btn::No;
        hasOk = hasOk || spec.bit == Btn::OK;
    }
    row->addStretch();
    grid->addLayout(row, 1, 0, 1, 2);
    // The cancel button is Cancel, else No, else OK; a set with none of them
    // has no cancel button and Escape presses nothing.
    dialog->escapeResult = hasCancel ? mrCancel : hasNo ? mrNo : hasOk ? mrOk : mrNone;
    if (defaultButton) {
        defaultButton->setDefault(true);
        defaultButton->setFocus();
    }
    return {RunAndDispose(dialog), QString()};
}

DialogAnswer ShowInputWindow(const DialogRequest& request)
{
    auto* dialog = new AnswerDialog(QApplication::activeWindow(), request.caption);
    dialog->setObjectName(QStringLiteral("InputDialog"));
    auto* column = new QVBoxLayout(dialog);
    column->setSizeConstraint(QLayout::SetFixedSize);
    const QFontMetrics metrics(dialog->font());
    const int width = metrics.averageCharWidth() * kInputWidthInChars;

    QLabel* prompt = WrappedLabel(request.text, width, dialog);
    prompt->setObjectName(QStringLiteral("prompt"));
    column->addWidget(prompt);
    auto* edit = new QLineEdit(dialog);
    edit->setObjectName(QStringLiteral("edit"));
    edit->setMaxLength(255);
    if (request.masked)
        edit->setEchoMode(QLineEdit::Password);
    edit->setText(request.defaultText);
    edit->selectAll();
    edit->setFixedWidth(width);
    column->addWidget(edit);

    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addStretch();
    const QString ok = QString::fromLatin1(kButtons[2].caption);
    const QString cancel = QString::fromLatin1(kButtons[3].caption);
    const int buttonWidth =
        std::max({kMinButtonWidth, metrics.horizontalAdvance(ok) + 8, metrics.horizontalAdvance(cancel) + 8});
    QPushButton* okButton = AddButton(row, dialog, ok, buttonWidth);
    QPushButton* cancelButton = AddButton(row, dialog, cancel, buttonWidth);
    row->addStretch();
    column->addLayout(row);
    okButton->setDefault(true);
    QObject::connect(okButton, &QPushButton::clicked, dialog, [dialog] { dialog->done(mrOk); });
    QObject::connect(cancelButton, &QPushButton::clicked, dialog, [dialog] { dialog->done(mrCancel); });
    edit->setFocus();

    // The field is read before the dialog is destroyed.
    QString typed;
    QObject::connect(dialog, &QDialog::finished, dialog, [&typed, edit] { typed = edit->text(); });
    const int result = RunAndDispose(dialog);
    return {result, result == mrOk ? typed : QString()};
}

// Every dialog is asked here. The responder, when a test installed one,
// answers in place of the window; it sees the request the window would show.
DialogAnswer Ask(const DialogRequest& request)
{
    ModalCursorScope cursorRules;
    const DialogResponder responder = Responder(); // a copy: it may replace itself
    if (responder)
        return responder(request);
    return request.type == DialogRequest::Input ? ShowInputWindow(request) : ShowMessageWindow(request);
}

} // namespace

int MessageDialog(const QString& text, DialogKind kind, DialogButtons buttons)
{
    DialogRequest request;
    request.type = DialogRequest::Message;
    request.text = text;
    request.kind = kind;
    request.buttons = buttons;
    request.caption = KindCaption(kind);
    return Ask(request).result;
}

void PlainMessage(const QString& text)
{
    MessageDialog(text, mtCustom, mbOK);
}

namespace {
QString AskForText(const QString& caption, const QString& prompt, const QString& defaultText, bool masked)
{
    DialogRequest request;
    request.type = DialogRequest::Input;
    request.text = prompt;
    request.caption = caption;
    request.defaultText = defaultText;
    request.masked = masked;
    const DialogAnswer answer = Ask(request);
    return answer.result == mrOk ? answer.text : defaultText;
}
} // namespace

QString InputDialog(const QString& caption, const QString& prompt, const QString& defaultText)
{
    return AskForText(caption, prompt, defaultText, false);
}

QString PassphraseDialog(const QString& caption, const QString& prompt, const QString& defaultText)
{
    return AskForText(caption, prompt, defaultText, true);
}

void ErrorReport(const QString& message)
{
    DialogRequest request;
    request.type = DialogRequest::Message;
    request.text = ErrorReportText(message);
    request.kind = mtError; // the stop sign
    request.buttons = mbOK;
    request.caption = ApplicationTitle();
    Ask(request);
}

QString ErrorReportText(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

void PostErrorReport(const QString& message)
{
    QObject* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(
        app, [message] { ErrorReport(message); }, Qt::QueuedConnection);
}

QString TitleFromProgramPath(const QString& programPath)
{
    QString name = programPath.mid(programPath.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    if (name.isEmpty())
        return name;
    return name.left(1) + name.mid(1).toLower();
}

void SetApplicationTitle(const QString& title)
{
    StoredTitle() = title;
}

QString ApplicationTitle()
{
    QString& title = StoredTitle();
    if (title.isEmpty() && QCoreApplication::instance())
        title = TitleFromProgramPath(QCoreApplication::arguments().value(0));
    return title;
}

DialogResponder SetDialogResponder(DialogResponder responder)
{
    return std::exchange(Responder(), std::move(responder));
}

QFont WindowFont(double scale, bool bold)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(8.0 * scale);
    font.setBold(bold);
    return font;
}

QString ErrorMessage(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

QString ShownName(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString QuotedName(const std::string& bytes)
{
    return QLatin1Char('"') + ShownName(bytes) + QLatin1Char('"');
}

} // namespace mg
