// Picture decoding through GDI+ (which Windows and Wine both provide): GIF
// with all its frames and their delays, PNG, JPEG and BMP. Each frame is
// drawn once, scaled to fit a box and centred on a background colour, into a
// plain GDI bitmap; nothing of GDI+ outlives the call.
//
// GDI+ is started on first use and left running to the end of the process.
#pragma once

#include "base/Handles.h"

#include <windows.h>

#include <string>
#include <vector>

struct DECODED_IMAGE {
    std::vector<ui::CBitmap> frames; // width x height each
    std::vector<UINT> delaysMs;      // per frame; 100 ms where the file gives none
    int width = 0;
    int height = 0;
};

// Largest file and frame count taken; a longer animation shows its first
// frames only.
const size_t kMaxImageBytes = 16 * 1024 * 1024;
const UINT kMaxImageFrames = 64;

// Decodes picture bytes into frames of `width` x `height` pixels. False when
// the bytes are not a picture GDI+ can read (`out` is then empty).
bool DecodeImage(const void* data, size_t size, int width, int height, COLORREF background, DECODED_IMAGE* out);
// The same for a file, or for a resource of `module` (type and id).
bool DecodeImageFile(const std::wstring& path, int width, int height, COLORREF background, DECODED_IMAGE* out);
bool DecodeImageResource(HINSTANCE module, const wchar_t* type, UINT id, int width, int height, COLORREF background,
                         DECODED_IMAGE* out);
