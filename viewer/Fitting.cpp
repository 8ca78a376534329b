#include "viewer/Fitting.h"

#include "base/Error.h"

#include <algorithm>
#include <cfenv>
#include <climits>
#include <cmath>

namespace mg::viewer {

int RoundEven(long double value)
{
    if (std::isnan(value))
        throw Error("Invalid floating point operation");
    // nearbyintl honours the default rounding mode: to nearest, ties to even.
    const long double r = std::nearbyintl(value);
    if (r >= static_cast<long double>(INT_MAX))
        return INT_MAX;
    if (r <= static_cast<long double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(r);
}

double Ratio(int width, int height)
{
    if (height == 0)
        throw Error(width == 0 ? "Invalid floating point operation" : "Floating point division by zero");
    return static_cast<double>(static_cast<long double>(width) / static_cast<long double>(height));
}

PaneFit FitPane(int paneW, int paneH, int boxW, int boxH, int clientW, int clientH)
{
    const double r = Ratio(paneW, paneH);
    const double rb = Ratio(boxW, boxH);
    PaneFit fit;
    fit.byWidth = r > rb;
    if (fit.byWidth) {
        fit.width = std::max(0, clientW - 20);
        fit.height = RoundEven(static_cast<long double>(fit.width) / static_cast<long double>(r)) - 10;
    } else {
        fit.height = std::max(0, clientH - 20);
        fit.width = RoundEven(static_cast<long double>(fit.height) * static_cast<long double>(r)) - 10;
    }
    return fit;
}

SnapRect SnapshotRect(int frameLeft, int frameTop, int clientW, int clientH, int paneW, int paneH)
{
    SnapRect s;
    s.right = frameLeft + clientW;
    s.bottom = frameTop + clientH;
    s.left = s.right - paneW / 2;
    s.top = s.bottom - paneH / 2;
    return s;
}

int RescaledSide(std::int32_t percent, std::int32_t side)
{
    // The product wraps at 32 bits; multiplying unsigned keeps the wrap
    // well defined.
    const auto product =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(percent) * static_cast<std::uint32_t>(side));
    return RoundEven(static_cast<long double>(product) / 100.0L);
}

} // namespace mg::viewer
