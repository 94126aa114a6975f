// The searches of the module and handle finder: which processes have a
// module loaded, and which hold a file open, found by a file name or by a
// full path. Plain code for any thread; a stop flag ends a search early.
#pragma once

#include "sysview/NtApi.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct SEARCH_KEY {
    bool isPath = false; // compared with full paths; else with file names
    std::wstring text;   // the name, or the absolute path
};

// One hit: process name and decimal id (both empty when the process is not
// in the snapshot), and the path shown for it.
struct FOUND_ROW {
    std::wstring processName;
    std::wstring processIdText;
    std::wstring path;
};

// The text after the last backslash or slash; the whole text without one.
std::wstring FileNamePart(const std::wstring& path);
// A text with a backslash or slash is a path key, made absolute against the
// current folder; any other text is a name key. False for an empty text or a
// path that cannot be made absolute.
bool MakeSearchKey(const std::wstring& text, SEARCH_KEY* key);

// Processes with a matching module: name keys against module file names,
// path keys against full module paths; rows show the module's path.
std::vector<FOUND_ROW> FindModuleHolders(const SEARCH_KEY& key, const std::atomic<bool>* stop = nullptr,
                                         const CNtApi& api = CNtApi::System());
// Processes holding the file open: name keys show each hit's drive path,
// path keys show the key. Nothing for a path on a drive without a device.
std::vector<FOUND_ROW> FindFileHolders(const SEARCH_KEY& key, const std::atomic<bool>* stop = nullptr,
                                       const CNtApi& api = CNtApi::System());
