// The pages of the main window, in tab order. WM_SHOW_PAGE and
// WM_TAB_CHANGED carry these numbers.
#pragma once

enum MainPage { PAGE_STATUS = 0, PAGE_LOG = 1, PAGE_SETTINGS = 2, PAGE_UPDATE = 3, PAGE_HELP = 4, PAGE_COUNT = 5 };
