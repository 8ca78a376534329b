// Feeds arbitrary bytes to the picture loader of one kind (MG_FUZZ_KIND:
// bmp, ico, wmf, emf, png, gif, webp, tiff or svg) and draws whatever it accepted. Metafiles go the
// whole way through the helper process, where a helper crash is an ordinary
// load error: what is fuzzed here is our side of that path.
#include "base/Error.h"
#include "base/JPEGImage.h"
#include "ui/MetafileClient.h"
#include "ui/Picture.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int qtArgc = 1;
    static char* qtArgv[] = {(*argv)[0], nullptr};
    (void)argc;
    new QGuiApplication(qtArgc, qtArgv); // lives for the whole run
    // Well inside libFuzzer's own per-input time-out.
    mg::SetMetafileTimeout(3000);
    // A header may declare any size up to the picture budget, and Qt's
    // readers allocate what it declares; the default budget (up to 2 GiB)
    // would meet libFuzzer's memory limit under the sanitizers' overhead.
    mg::SetJpegDecodeBudget(std::uint64_t(64) << 20);
    if (std::getenv("MG_FUZZ_CHECK_HELPER") && mg::MetafileHelperPath().isEmpty())
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const mg::PictureKind* kind = mg::FindPictureKind(MG_FUZZ_KIND);
    std::unique_ptr<mg::TGraphic> graphic = kind->create();
    try {
        graphic->LoadFromBytes(std::vector<std::uint8_t>(data, data + size));
    } catch (const mg::Error&) {
        return 0;
    }
    if (graphic->Empty())
        __builtin_trap(); // a successful load always has a size
    QImage canvas(64, 64, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&canvas);
    graphic->Draw(painter, QRect(0, 0, 64, 64));
    graphic->Draw(painter, QRect(0, 0, qMin(graphic->Width(), 64), qMin(graphic->Height(), 64)));
    return 0;
}
