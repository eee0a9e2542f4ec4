// Report measures: tenths of a millimetre as doubles, turned into device pixels only
// when a page is drawn.
#pragma once

namespace units {
inline constexpr double kTenthsPerInch = 254.0;
inline constexpr double kDesignPixelsPerInch = 96.0;
// A design pixel: the report is laid out as if on a 96 pixels-per-inch screen.
inline constexpr double kTenthsPerDesignPixel = kTenthsPerInch / kDesignPixelsPerInch;

constexpr double DesignPixelsToTenths(double pixels) { return pixels * kTenthsPerDesignPixel; }
constexpr double TenthsToPixels(double tenths, double pixelsPerInch) { return tenths * pixelsPerInch / kTenthsPerInch; }
constexpr double PixelsToTenths(double pixels, double pixelsPerInch) { return pixels * kTenthsPerInch / pixelsPerInch; }
} // namespace units
