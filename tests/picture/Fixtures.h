#pragma once
// Small picture files made by the tests themselves: BMP and ICO through Qt's
// writers, and hand-assembled metafiles of a few records drawing one filled
// rectangle.
#include <QByteArray>
#include <QList>
#include <QSize>
#include <cstdint>
#include <string>
#include <vector>

namespace mg::test {

std::vector<std::uint8_t> MakeBmp(int width, int height);
// An icon with one entry per size.
std::vector<std::uint8_t> MakeIco(const QList<QSize>& sizes);
// A placeable WMF whose bounding box is width x height units at 96 per inch.
std::vector<std::uint8_t> MakeWmf(int width, int height);
// An EMF whose frame is width x height pixels at 96 per inch.
std::vector<std::uint8_t> MakeEmf(int width, int height);
// The first count bytes.
std::vector<std::uint8_t> Truncated(const std::vector<std::uint8_t>& bytes, std::size_t count);
// Deterministic junk.
std::vector<std::uint8_t> Garbage(std::size_t count);
std::vector<std::uint8_t> Bytes(const QByteArray& data);

} // namespace mg::test
