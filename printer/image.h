// A picture as the printer prints it: decoded (PNG, BMP, JPEG), scaled to a
// width in dots, brightened, dithered to one bit a dot, and sent either as
// 8-dot bit-image bands (ESC *) or as raster slices (GS v 0).
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

enum class Dither { Threshold, FloydSteinberg, Atkinson };

// Widest picture in dots, longest in dots, and the largest source accepted
// (each side), so that no picture can fill memory or the printer's paper.
constexpr int kMaxImageWidth = 2048;
constexpr int kMaxImageRows = 10000;
constexpr int kMaxSourceSide = 10000;
// Largest picture file read.
constexpr DWORD kMaxImageFileBytes = 64u << 20;
// Rows one GS v 0 slice carries at most (its yL yH would allow more, but
// small printers take no more than this at once).
constexpr int kRasterSliceRows = 255;
// This family's line: 210 single-density columns, an 8-dot band being 16
// motion units (0.176 mm each) of paper. A thermal printer's motion unit is
// one dot row, so a band there is 8.
constexpr int kFamilyWidthDots = 210;
constexpr int kFamilyBandFeed = 16;
constexpr int kThermalBandFeed = 8;

// Everything a picture print is chosen by; the dialog's controls and
// mptest-cli's options fill the same record.
struct ImageJob {
    int width = kFamilyWidthDots; // dots, 1..kMaxImageWidth
    Dither dither = Dither::FloydSteinberg;
    int threshold = 128;  // 0..255: darker than this is black (Threshold only)
    int brightness = 0;   // -100..100, added before dithering
    bool invert = false;  // 反色
    bool raster = false;  // GS v 0 slices instead of ESC * bands
    int bandFeed = kFamilyBandFeed; // ESC J n after each band, 1..255
};

// A decoded picture in grey levels (0 black .. 255 white), transparency
// laid over white.
struct GrayImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> level; // width x height, row by row
};

// The 1-bit picture that is sent: exactly these dots are printed.
struct MonoImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> dots; // width x height, row by row, 1 = black
    bool Black(int x, int y) const { return dots[static_cast<size_t>(y) * width + x] != 0; }
};

// The dithering methods' names as the command line takes them
// ("threshold", "floyd-steinberg", "atkinson"), and back.
const char* DitherName(Dither dither);
bool ParseDither(const char* text, Dither* dither);

// nullptr when the job's numbers are in range, else why not (Chinese).
const char* CheckImageJob(const ImageJob& job);
// The file's bytes; false with *error (Chinese) when it cannot be read or
// is larger than kMaxImageFileBytes.
bool ReadImageFile(const char* path, std::string* bytes, std::string* error);
// Decodes a PNG, BMP or JPEG file's bytes; false with *error (Chinese) for
// anything else, an empty picture, or one larger than kMaxSourceSide.
bool DecodeImage(std::span<const BYTE> file, GrayImage* image, std::string* error);
// Scaled to job.width dots (the height in proportion, at least 1 row),
// brightened, inverted when asked, dithered. Empty when the result would
// be longer than kMaxImageRows (*error says so).
bool MakeMonoImage(const GrayImage& source, const ImageJob& job, MonoImage* mono, std::string* error);

// ESC @, then per 8 rows: ESC * 0 nL nH with one byte a column (the top dot
// in the high bit, rows past the picture white), CR, ESC J bandFeed.
std::string ImageBandBytes(const MonoImage& image, int bandFeed);
// ESC @, then GS v 0 0 xL xH yL yH slices of at most kRasterSliceRows rows,
// each row (width + 7) / 8 bytes, the left dot in the high bit.
std::string ImageRasterBytes(const MonoImage& image);
// The stream the job chooses.
std::string ImageBytes(const MonoImage& image, const ImageJob& job);
