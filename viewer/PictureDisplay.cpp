// Showing the clicked file in the viewing pane: as a picture (normal view)
// or decrypted in memory as a JPEG picture (encrypted view), fitted to the
// pane when "Fit To Window" is checked, with a noise picture when the file
// cannot be shown.
#include "viewer/murkglassmain.h"

#include "cipher/Keystream.h"
#include "cipher/StrongCrypt.h"
#include "ui/Dialogs.h"
#include "ui/Picture.h"
#include "viewer/Fitting.h"
#include "viewer/Prefetch.h"

#include <QAction>
#include <QGroupBox>
#include <exception>
#include <sodium.h>

namespace mg {

QImage TfrmMain::MakeNoiseBitmap(int width, int height)
{
    if (width <= 0 || height <= 0)
        return QImage();
    // 24 bits a pixel; QImage pads each row to 4 bytes, and the padding is
    // not drawn.
    QImage bitmap(width, height, QImage::Format_BGR888);
    if (bitmap.isNull())
        return bitmap;
    const int rowBytes = 3 * width;
    for (int y = 0; y < height; ++y) {
        uchar* row = bitmap.scanLine(y);
        for (int i = 0; i < rowBytes; ++i)
            row[i] = static_cast<uchar>(DrawRandom(256));
    }
    return bitmap;
}

void TfrmMain::ShowNoise()
{
    const QRect client = GroupBox1->contentsRect();
    const TBitmap noise(MakeNoiseBitmap(client.width() - 20, client.height() - 20));
    Image1->Picture().Assign(&noise);
}

void TfrmMain::FitImage1()
{
    const QRect client = GroupBox1->contentsRect();
    // Both ratios are taken (and may raise) before the pane changes.
    const viewer::PaneFit fit = viewer::FitPane(Image1->width(), Image1->height(), GroupBox1->width(),
                                                GroupBox1->height(), client.width(), client.height());
    Image1->SetAutoSize(false);
    if (fit.byWidth) {
        Image1->SetWidth(fit.width);
        Image1->SetHeight(fit.height);
    } else {
        Image1->SetHeight(fit.height);
        Image1->SetWidth(fit.width);
    }
}

void TfrmMain::NormalPictureDisplay(const std::string& path)
{
    // The caller passes the file list's current file name.
    try {
        SetStatusText(QStringLiteral("Display Image ") + QString::fromUtf8(path));
        lastDisplayError_.clear();
        Image1->SetAutoSize(true);
        if (const auto ready = TakePrefetched(path, false, 0)) {
            const JpegGraphic jpeg(ready->picture);
            Image1->Picture().Assign(&jpeg);
        } else {
            Image1->Picture().LoadFromFile(path);
        }
        Image1->show();
        if (FitToWindow1->isChecked()) {
            FitImage1();
            Image1->SetStretch(true);
        } else {
            Image1->SetStretch(false);
        }
    } catch (const std::exception&) {
        // Whatever went wrong, the noise picture says so; AutoSize is on, so
        // the pane takes the noise picture's size.
        lastDisplayError_ = ErrorMessage(std::current_exception());
        ShowNoise();
        SetStatusText(QStringLiteral("Problems displaying: ") + QuotedName(path));
    }
}

void TfrmMain::EncryptedPictureDisplay(const std::string& path, std::int32_t key)
{
    // No guard here: an error (the fitting of an empty picture in a pane of
    // no size) ends the command and reaches the error report.
    SetStatusText(QStringLiteral("Decrypted ") + QString::fromUtf8(path));
    // A light file may begin with the strong magic by chance: when the strong
    // reading fails, the light one is tried as for any other file.
    lastDisplayError_.clear();
    if (const auto ready = TakePrefetched(path, true, key)) {
        // Read ahead from the same file: the process is left as the load
        // below would leave it (a strong file touches neither).
        if (ready->source == viewer::PrefetchSource::Light) {
            ImgCrypt->LastEncrypted = std::make_unique<std::vector<std::uint8_t>>();
            SetSeed(static_cast<std::int32_t>(ready->seedAfter));
        }
        ShowJpeg(ready->picture);
        return;
    }
    if (strong::FileHasMagic(path) && StrongPictureDisplay(path))
        return;
    std::unique_ptr<TJPEGImage> slot;
    const CipherResult result = ImgCrypt->DecryptImageEx(path, slot, key);
    lastDisplayError_ = QString::fromUtf8(result.detail);
    if (result) {
        Image1->show();
        Image1->SetAutoSize(true);
        {
            const JpegGraphic jpeg(*slot);
            Image1->Picture().Assign(&jpeg);
        }
        slot.reset();
        if (FitToWindow1->isChecked()) {
            FitImage1();
            Image1->SetStretch(true);
        } else {
            Image1->SetStretch(false);
        }
    } else {
        slot.reset();
        // AutoSize, Stretch and visibility stay as the previous display left
        // them: after a fitted display the noise is stretched over the pane.
        ShowNoise();
        SetStatusText(QStringLiteral("Decrypt Fail: ") + QuotedName(path));
    }
}

void TfrmMain::ShowJpeg(const TJPEGImage& picture)
{
    Image1->show();
    Image1->SetAutoSize(true);
    {
        const JpegGraphic jpeg(picture);
        Image1->Picture().Assign(&jpeg);
    }
    if (FitToWindow1->isChecked()) {
        FitImage1();
        Image1->SetStretch(true);
    } else {
        Image1->SetStretch(false);
    }
}

bool TfrmMain::StrongPictureDisplay(const std::string& path)
{
    std::vector<std::uint8_t> plain;
    std::string extension;
    if (!strong::DecryptToMemory(path, ImgCrypt->Strong, plain, extension, JpegDecodeBudget()))
        return false;
    TPicture picture;
    bool loaded = true;
    try {
        picture.LoadFromBytes(plain, extension);
    } catch (const std::exception&) {
        loaded = false;
    }
    // The plain bytes go now; the picture keeps what it needs.
    sodium_memzero(plain.data(), plain.size());
    plain = {};
    if (!loaded)
        return false;
    Image1->show();
    Image1->SetAutoSize(true);
    Image1->Picture().Assign(picture.Graphic());
    if (FitToWindow1->isChecked()) {
        FitImage1();
        Image1->SetStretch(true);
    } else {
        Image1->SetStretch(false);
    }
    return true;
}

} // namespace mg
