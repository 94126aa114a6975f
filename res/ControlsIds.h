// Resource ids of res/Controls.rc: the control library's bitmaps.
#pragma once

// Skin of the main window: caption band (8 x 24, tiled across), border tile
// (4 x 4) and client background tile (8 x 8).
#define IDB_SKIN_BACKGROUND         137
#define IDB_SKIN_CAPTION            138
#define IDB_SKIN_BORDER             140

// Caption buttons, 18 x 18: minimise and close, each normal and hover.
#define IDB_MINIMIZE_NORMAL         141
#define IDB_CLOSE_NORMAL            142
#define IDB_MINIMIZE_HOVER          170
#define IDB_CLOSE_HOVER             171

// Tab pictures, 24 x 24, magenta background (transparent).
#define IDB_TAB_STATUS              143
#define IDB_TAB_LOG                 160
#define IDB_TAB_HELP                161
#define IDB_TAB_UPDATE              162
#define IDB_TAB_SETTINGS            188

// Edges of the tab strip, tiled along it: top and bottom 8 x 4, left and
// right 4 x 8.
#define IDB_TAB_EDGE_TOP            147
#define IDB_TAB_EDGE_BOTTOM         149
#define IDB_TAB_EDGE_LEFT           150
#define IDB_TAB_EDGE_RIGHT          151
