#include "controls/GdiPlusImage.h"

#include <objidl.h>
#include <shlwapi.h>
#include <gdiplus.h>

#include <algorithm>
#include <mutex>

namespace {

const UINT kDefaultDelayMs = 100;
const UINT kMinDelayMs = 20;
const PROPID kFrameDelayTag = 0x5100; // PropertyTagFrameDelay: hundredths of a second per frame

bool StartGdiPlus()
{
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        started = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    });
    return started;
}

std::vector<UINT> FrameDelays(Gdiplus::Bitmap& image, UINT frames)
{
    std::vector<UINT> delays(frames, kDefaultDelayMs);
    const UINT size = image.GetPropertyItemSize(kFrameDelayTag);
    if (size < sizeof(Gdiplus::PropertyItem))
        return delays;
    std::vector<BYTE> buffer(size);
    auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(buffer.data());
    if (image.GetPropertyItem(kFrameDelayTag, size, item) != Gdiplus::Ok || !item->value)
        return delays;
    const UINT count = item->length / sizeof(LONG);
    const auto* values = static_cast<const LONG*>(item->value);
    for (UINT i = 0; i < frames && i < count; ++i)
        if (values[i] > 0)
            delays[i] = std::max<UINT>(kMinDelayMs, static_cast<UINT>(values[i]) * 10);
    return delays;
}

// The active frame of `image` scaled into a new width x height bitmap.
HBITMAP DrawFrame(Gdiplus::Bitmap& image, int width, int height, COLORREF background)
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    if (!dc || !bitmap) {
        if (dc)
            DeleteDC(dc);
        if (bitmap)
            DeleteObject(bitmap);
        return nullptr;
    }
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = { 0, 0, width, height };
    ui::CBrush back(CreateSolidBrush(background));
    FillRect(dc, &all, back.Get());
    {
        Gdiplus::Graphics graphics(dc);
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        const double sx = static_cast<double>(width) / image.GetWidth();
        const double sy = static_cast<double>(height) / image.GetHeight();
        const double scale = std::min(1.0, std::min(sx, sy)); // never enlarged
        const int w = std::max(1, static_cast<int>(image.GetWidth() * scale));
        const int h = std::max(1, static_cast<int>(image.GetHeight() * scale));
        graphics.DrawImage(&image, (width - w) / 2, (height - h) / 2, w, h);
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    return bitmap;
}

} // namespace

bool DecodeImage(const void* data, size_t size, int width, int height, COLORREF background, DECODED_IMAGE* out)
{
    *out = DECODED_IMAGE();
    if (!data || size == 0 || size > kMaxImageBytes || width <= 0 || height <= 0 || !StartGdiPlus())
        return false;
    IStream* stream = SHCreateMemStream(static_cast<const BYTE*>(data), static_cast<UINT>(size));
    if (!stream)
        return false;
    bool ok = false;
    {
        Gdiplus::Bitmap image(stream, FALSE);
        if (image.GetLastStatus() == Gdiplus::Ok && image.GetWidth() > 0 && image.GetHeight() > 0) {
            GUID dimension = Gdiplus::FrameDimensionTime;
            UINT frames = image.GetFrameCount(&dimension);
            const bool timed = frames > 0;
            frames = std::min(std::max(frames, 1u), kMaxImageFrames);
            out->delaysMs = FrameDelays(image, frames);
            for (UINT i = 0; i < frames; ++i) {
                if (timed && image.SelectActiveFrame(&dimension, i) != Gdiplus::Ok)
                    break;
                HBITMAP frame = DrawFrame(image, width, height, background);
                if (!frame)
                    break;
                out->frames.emplace_back(frame);
            }
            out->delaysMs.resize(out->frames.size());
            ok = !out->frames.empty();
        }
    }
    stream->Release();
    if (ok) {
        out->width = width;
        out->height = height;
    } else {
        *out = DECODED_IMAGE();
    }
    return ok;
}

bool DecodeImageFile(const std::wstring& path, int width, int height, COLORREF background, DECODED_IMAGE* out)
{
    *out = DECODED_IMAGE();
    ui::CHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 ||
        static_cast<uint64_t>(size.QuadPart) > kMaxImageBytes)
        return false;
    std::vector<BYTE> bytes(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size())
        return false;
    return DecodeImage(bytes.data(), bytes.size(), width, height, background, out);
}

bool DecodeImageResource(HINSTANCE module, const wchar_t* type, UINT id, int width, int height, COLORREF background,
                         DECODED_IMAGE* out)
{
    *out = DECODED_IMAGE();
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    return data && DecodeImage(data, SizeofResource(module, found), width, height, background, out);
}
