// Pictures to printer bytes: decoding with stb_image (the same decoder on
// every system), box-filter scaling, dithering, and the two image commands.
#include "printer/image.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#include <stb_image.h>

namespace {

// A source picture's pixels at most; the sides are limited each as well.
constexpr long long kMaxSourcePixels = 40'000'000;

struct DitherRow {
    Dither dither;
    const char* name;
};

constexpr std::array<DitherRow, 3> kDithers{{
    {Dither::Threshold, "threshold"},
    {Dither::FloydSteinberg, "floyd-steinberg"},
    {Dither::Atkinson, "atkinson"},
}};

// Where a dot's error goes: (dx, dy, share of `divisor`).
struct Spread {
    int dx, dy, share;
};
constexpr std::array<Spread, 4> kFloydSteinberg{{{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}};
constexpr std::array<Spread, 6> kAtkinson{{{1, 0, 1}, {2, 0, 1}, {-1, 1, 1}, {0, 1, 1}, {1, 1, 1}, {0, 2, 1}}};

uint8_t Clamp255(int v)
{
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// Box filter when shrinking, nearest pixel when growing.
std::vector<int16_t> Scale(const GrayImage& source, int width, int height)
{
    std::vector<int16_t> out(static_cast<size_t>(width) * height);
    for (int oy = 0; oy < height; ++oy) {
        const int y0 = static_cast<int>(static_cast<long long>(oy) * source.height / height);
        const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<long long>(oy + 1) * source.height / height));
        for (int ox = 0; ox < width; ++ox) {
            const int x0 = static_cast<int>(static_cast<long long>(ox) * source.width / width);
            const int x1 = std::max(x0 + 1, static_cast<int>(static_cast<long long>(ox + 1) * source.width / width));
            long long sum = 0;
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x)
                    sum += source.level[static_cast<size_t>(y) * source.width + x];
            out[static_cast<size_t>(oy) * width + ox] =
                static_cast<int16_t>(sum / (static_cast<long long>(y1 - y0) * (x1 - x0)));
        }
    }
    return out;
}

template <size_t N>
void Diffuse(std::vector<int16_t>& level, int width, int height, const std::array<Spread, N>& spread, int divisor,
             std::vector<uint8_t>& dots)
{
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t at = static_cast<size_t>(y) * width + x;
            const int old = level[at];
            const int now = old < 128 ? 0 : 255;
            dots[at] = now == 0;
            const int error = old - now;
            for (const Spread& s : spread) {
                const int nx = x + s.dx, ny = y + s.dy;
                if (nx < 0 || nx >= width || ny >= height)
                    continue;
                int16_t& target = level[static_cast<size_t>(ny) * width + nx];
                // Kept within a byte's reach either side, so nothing overflows.
                target = static_cast<int16_t>(std::clamp(target + error * s.share / divisor, -512, 767));
            }
        }
}

void AppendWord(std::string& out, int value)
{
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

const std::string kReset{"\x1B\x40"};

// Whether a PNG's or BMP's header gives a side of 0, which the decoder
// refuses like any file it cannot read.
bool HeaderStatesNoSide(std::span<const BYTE> file)
{
    auto big = [&file](size_t at) { return file[at] << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3]; };
    auto little = [&file](size_t at) { return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24; };
    static const BYTE kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (file.size() >= 24 && std::equal(std::begin(kPng), std::end(kPng), file.begin()))
        return big(16) == 0 || big(20) == 0;
    if (file.size() >= 26 && file[0] == 'B' && file[1] == 'M')
        return little(18) == 0 || little(22) == 0;
    return false;
}

} // namespace

const char* DitherName(Dither dither)
{
    for (const DitherRow& row : kDithers)
        if (row.dither == dither)
            return row.name;
    return "";
}

bool ParseDither(const char* text, Dither* dither)
{
    for (const DitherRow& row : kDithers)
        if (text != nullptr && std::strcmp(text, row.name) == 0) {
            *dither = row.dither;
            return true;
        }
    return false;
}

const char* CheckImageJob(const ImageJob& job)
{
    if (job.width < 1 || job.width > kMaxImageWidth)
        return "图片宽度应为 1–2048 点";
    if (job.threshold < 0 || job.threshold > 255)
        return "阈值应为 0–255";
    if (job.brightness < -100 || job.brightness > 100)
        return "亮度应为 -100–100";
    if (job.bandFeed < 1 || job.bandFeed > 255)
        return "每行走纸应为 1–255";
    return nullptr;
}

bool ReadImageFile(const char* path, std::string* bytes, std::string* error)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = "无法打开图片文件";
        return false;
    }
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    bool ok = false;
    if (size == INVALID_FILE_SIZE || high != 0 || size > kMaxImageFileBytes) {
        *error = "图片文件太大（最大 64 MB）";
    } else {
        bytes->assign(size, '\0');
        DWORD got = 0;
        ok = size == 0 || (ReadFile(file, bytes->data(), size, &got, nullptr) && got == size);
        if (!ok)
            *error = "无法读取图片文件";
    }
    CloseHandle(file);
    return ok;
}

bool DecodeImage(std::span<const BYTE> file, GrayImage* image, std::string* error)
{
    *image = {};
    int w = 0, h = 0, channels = 0;
    const bool known = !file.empty() && file.size() <= kMaxImageFileBytes &&
                       stbi_info_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &channels);
    if (!known && HeaderStatesNoSide(file)) {
        *error = "图片是空的（0 × 0）";
        return false;
    }
    if (!known) {
        *error = "不是可读的图片（支持 PNG、BMP、JPEG）";
        return false;
    }
    if (w > kMaxSourceSide || h > kMaxSourceSide || static_cast<long long>(w) * h > kMaxSourcePixels) {
        *error = "图片太大（每边最多 10000 像素，共 4000 万像素）";
        return false;
    }
    // Grey and alpha, so transparency can be laid over white paper.
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &channels, 2), stbi_image_free);
    if (!pixels) {
        *error = std::string("图片无法解码：") + stbi_failure_reason();
        return false;
    }
    image->width = w;
    image->height = h;
    image->level.resize(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < image->level.size(); ++i) {
        const int grey = pixels.get()[2 * i], alpha = pixels.get()[2 * i + 1];
        image->level[i] = static_cast<uint8_t>((grey * alpha + 255 * (255 - alpha) + 127) / 255);
    }
    return true;
}

bool MakeMonoImage(const GrayImage& source, const ImageJob& job, MonoImage* mono, std::string* error)
{
    *mono = {};
    if (const char* bad = CheckImageJob(job)) {
        *error = bad;
        return false;
    }
    if (source.width <= 0 || source.height <= 0) {
        *error = "图片是空的（0 × 0）";
        return false;
    }
    const long long rows =
        std::max(1LL, (static_cast<long long>(source.height) * job.width + source.width / 2) / source.width);
    if (rows > kMaxImageRows) {
        *error = "图片按此宽度太长（最多 10000 点行）";
        return false;
    }
    const int height = static_cast<int>(rows);
    std::vector<int16_t> level = Scale(source, job.width, height);
    for (int16_t& v : level) {
        int l = Clamp255(v + job.brightness * 255 / 100);
        v = static_cast<int16_t>(job.invert ? 255 - l : l);
    }
    mono->width = job.width;
    mono->height = height;
    mono->dots.assign(level.size(), 0);
    switch (job.dither) {
    case Dither::Threshold:
        for (size_t i = 0; i < level.size(); ++i)
            mono->dots[i] = level[i] < job.threshold;
        break;
    case Dither::FloydSteinberg:
        Diffuse(level, job.width, height, kFloydSteinberg, 16, mono->dots);
        break;
    case Dither::Atkinson:
        Diffuse(level, job.width, height, kAtkinson, 8, mono->dots);
        break;
    }
    return true;
}

std::string ImageBandBytes(const MonoImage& image, int bandFeed)
{
    std::string out = kReset;
    for (int top = 0; top < image.height; top += 8) {
        out += "\x1B\x2A";
        out.push_back('\0');
        AppendWord(out, image.width);
        for (int x = 0; x < image.width; ++x) {
            BYTE column = 0;
            for (int bit = 0; bit < 8 && top + bit < image.height; ++bit)
                if (image.Black(x, top + bit))
                    column |= static_cast<BYTE>(0x80 >> bit);
            out.push_back(static_cast<char>(column));
        }
        out += "\r\x1B\x4A";
        out.push_back(static_cast<char>(bandFeed));
    }
    return out;
}

std::string ImageRasterBytes(const MonoImage& image)
{
    std::string out = kReset;
    const int bytesWide = (image.width + 7) / 8;
    for (int top = 0; top < image.height; top += kRasterSliceRows) {
        const int rows = std::min(kRasterSliceRows, image.height - top);
        out += "\x1D\x76\x30";
        out.push_back('\0');
        AppendWord(out, bytesWide);
        AppendWord(out, rows);
        for (int y = top; y < top + rows; ++y)
            for (int b = 0; b < bytesWide; ++b) {
                BYTE eight = 0;
                for (int bit = 0; bit < 8 && b * 8 + bit < image.width; ++bit)
                    if (image.Black(b * 8 + bit, y))
                        eight |= static_cast<BYTE>(0x80 >> bit);
                out.push_back(static_cast<char>(eight));
            }
    }
    return out;
}

std::string ImageBytes(const MonoImage& image, const ImageJob& job)
{
    return job.raster ? ImageRasterBytes(image) : ImageBandBytes(image, job.bandFeed);
}
