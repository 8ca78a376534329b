#include "Fixtures.h"

#include "ByteWriter.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <stdexcept>

namespace mg::test {

namespace {

QImage Pattern(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 255 / qMax(1, width - 1), y * 255 / qMax(1, height - 1), 96));
    return image;
}

} // namespace

std::vector<std::uint8_t> Bytes(const QByteArray& data)
{
    return std::vector<std::uint8_t>(data.begin(), data.end());
}

std::vector<std::uint8_t> MakeBmp(int width, int height)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!Pattern(width, height).save(&buffer, "BMP"))
        throw std::runtime_error("BMP writer failed");
    return Bytes(data);
}

std::vector<std::uint8_t> MakeIco(const QList<QSize>& sizes)
{
    // Qt's ICO writer stores one entry; the directory is assembled here so
    // that an icon can carry several sizes.
    std::vector<QByteArray> entries;
    for (const QSize& size : sizes) {
        QByteArray one;
        QBuffer buffer(&one);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "ico");
        if (!writer.write(Pattern(size.width(), size.height()).convertToFormat(QImage::Format_ARGB32)))
            throw std::runtime_error("ICO writer failed");
        entries.push_back(one);
    }
    ByteWriter w;
    w.u16(0);
    w.u16(1);
    w.u16(static_cast<unsigned>(entries.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(entries.size());
    for (const QByteArray& one : entries) {
        // Each single-entry file: 6-byte header, 16-byte entry, then the image.
        const QByteArray entry = one.mid(6, 16);
        const std::uint32_t size = static_cast<std::uint32_t>(one.size() - 22);
        for (int i = 0; i < 8; ++i)
            w.bytes.push_back(static_cast<std::uint8_t>(entry[i]));
        w.u32(size);
        w.u32(offset);
        offset += size;
    }
    for (const QByteArray& one : entries)
        w.bytes.insert(w.bytes.end(), one.begin() + 22, one.end());
    return w.bytes;
}

std::vector<std::uint8_t> MakeWmf(int width, int height)
{
    ByteWriter records;
    auto record = [&](unsigned function, std::initializer_list<int> params) {
        records.u32(3 + static_cast<std::uint32_t>(params.size()));
        records.u16(function);
        for (int p : params)
            records.u16(static_cast<unsigned>(p) & 0xffff);
    };
    record(0x020B, {0, 0});          // SETWINDOWORG y, x
    record(0x020C, {height, width}); // SETWINDOWEXT
    records.u32(7);                  // CREATEBRUSHINDIRECT: solid red
    records.u16(0x02FC);
    records.u16(0);
    records.u32(0x000000FF);
    records.u16(0);
    record(0x012D, {0});                           // SELECTOBJECT 0
    record(0x041B, {height - 2, width - 2, 2, 2}); // RECTANGLE bottom, right, top, left
    record(0x0000, {});                            // EOF

    return PlaceableWmf(width, height, 1, 7, records.bytes);
}

std::vector<std::uint8_t> MakeEmf(int width, int height)
{
    ByteWriter records;
    records.u32(39);
    records.u32(24);
    records.u32(1); // CREATEBRUSHINDIRECT, handle 1
    records.u32(0);
    records.u32(0x000000FF);
    records.u32(0);
    records.u32(37);
    records.u32(12);
    records.u32(1); // SELECTOBJECT 1
    records.u32(43);
    records.u32(24); // RECTANGLE
    records.i32(2);
    records.i32(2);
    records.i32(width - 3);
    records.i32(height - 3);
    records.u32(14);
    records.u32(20);
    records.u32(0);
    records.u32(16);
    records.u32(20); // EOF

    ByteWriter file;
    file.u32(1); // EMR_HEADER
    file.u32(108);
    file.i32(0);
    file.i32(0);
    file.i32(width - 1);
    file.i32(height - 1); // bounds
    file.i32(0);
    file.i32(0); // frame, 0.01 mm
    file.i32(width * 2540 / 96);
    file.i32(height * 2540 / 96);
    file.u32(0x464D4520); // " EMF"
    file.u32(0x10000);
    file.u32(static_cast<std::uint32_t>(108 + records.bytes.size()));
    file.u32(5); // records
    file.u16(2); // handles
    file.u16(0);
    file.u32(0);
    file.u32(0);
    file.u32(0); // description, palette
    file.i32(1024);
    file.i32(768); // device pixels
    file.i32(271);
    file.i32(203); // device millimetres
    file.u32(0);
    file.u32(0);
    file.u32(0); // pixel format, OpenGL
    file.i32(270933);
    file.i32(203200); // device micrometres
    file.bytes.insert(file.bytes.end(), records.bytes.begin(), records.bytes.end());
    return file.bytes;
}

std::vector<std::uint8_t> Truncated(const std::vector<std::uint8_t>& bytes, std::size_t count)
{
    return std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + std::min(count, bytes.size()));
}

std::vector<std::uint8_t> Garbage(std::size_t count)
{
    std::vector<std::uint8_t> bytes(count);
    std::uint32_t seed = 12345;
    for (auto& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(seed >> 24);
    }
    return bytes;
}

} // namespace mg::test
