// Names and addresses of the product that more than one place needs.
#pragma once

// The vendor's site: the main window's picture links to it.
#define HM_VENDOR_SITE L"http://127.0.0.1:8807/"
// The current user's registry key of the settings, window placements and
// column widths.
#define HM_SETTINGS_KEY L"Software\\Harrowmere"
// Where crash reports are addressed.
#define HM_SUPPORT_MAIL L"support@harrowmere.invalid"
