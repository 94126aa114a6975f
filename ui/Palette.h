// The program's colours, each named once by what it paints. Windows and
// controls take their colours from here; a colour that two places share is
// one name, not two near-equal values.
#pragma once

#include <windows.h>

namespace ui {
namespace palette {

// Grounds
constexpr COLORREF kPageGround = RGB(0xFF, 0xFF, 0xFF);   // pages, selected tab, pictures
constexpr COLORREF kBand = RGB(0xEF, 0xF3, 0xF7);         // tab strip, list headers, headings, status band
constexpr COLORREF kShadedRow = RGB(0xF5, 0xF8, 0xFC);    // every second list row
constexpr COLORREF kPromptGround = RGB(0xF7, 0xF9, 0xFB); // the prompt
constexpr COLORREF kTipGround = RGB(0xFF, 0xFF, 0xE7);    // help text on the status page
constexpr COLORREF kLightLine = RGB(0xD6, 0xDF, 0xF7);    // thin rules, selected setting, tab lines
constexpr COLORREF kHover = RGB(0xE1, 0xE8, 0xFA);        // a button under the mouse
constexpr COLORREF kPressed = RGB(0xC6, 0xD2, 0xF0);      // a pressed button
constexpr COLORREF kNonInteractive = RGB(0xD0, 0xD0, 0xFF); // processes without a desktop

// Lines and marks
constexpr COLORREF kFrame = RGB(0x84, 0x96, 0xC6);        // frames of controls and panes
constexpr COLORREF kBalloonFrame = RGB(0x76, 0x76, 0x76); // the balloon's outline
constexpr COLORREF kProgressBlock = RGB(0x42, 0x69, 0xBE); // filled progress blocks

// Texts
constexpr COLORREF kNavyText = RGB(0x00, 0x00, 0x75);     // tab captions, selected setting, tool links
constexpr COLORREF kHeadingText = RGB(0x2D, 0x4C, 0x8C);  // headings and the banner
constexpr COLORREF kSettingText = RGB(0x50, 0x5A, 0x78);  // setting captions
constexpr COLORREF kStatusText = RGB(0x00, 0x40, 0xA0);   // the update page's status line
constexpr COLORREF kLinkText = RGB(0x00, 0x00, 0xFF);     // links
constexpr COLORREF kPromptLinkText = RGB(0x1A, 0x5F, 0xB4); // links on the prompt
constexpr COLORREF kCaptionText = RGB(0xFF, 0xFF, 0xFF);  // captions on the skinned frame

// The transparent colour of the program's bitmaps (magenta).
constexpr COLORREF kBitmapMask = RGB(0xFF, 0x00, 0xFF);

} // namespace palette
} // namespace ui
