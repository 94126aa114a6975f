// Resource ids of res/Update.rc: the update page and the promotion area's
// built-in picture.
#pragma once

// Dialog template
#define IDD_UPDATE_PAGE              172

// Row pictures of the update list: four 16 x 16 images (queued, downloading,
// failed, done), magenta transparent.
#define IDB_UPDATE_STATES            193

// The main window's picture before any feed: an animated GIF (type "GIF").
#define IDR_PROMO_GIF                202

// Update page controls
#define IDC_UPDATE_BUTTON            1042
#define IDC_UPDATE_STATUS            1043
#define IDC_UPDATE_LIST              1046
#define IDC_UPDATE_PROGRESS          1047
#define IDC_UPDATE_CAPTION           1049

// Strings
#define IDS_UPDATE_FETCHING_MANIFEST 175
#define IDS_UPDATE_MANIFEST_FAILED   176
#define IDS_UPDATE_MANIFEST_MALFORMED 177
#define IDS_UPDATE_NO_ADDRESS        178
#define IDS_UPDATE_DOWNLOADING       180
#define IDS_UPDATE_DONE              181
#define IDS_UPDATE_CANCEL            217
#define IDS_UPDATE_AGAIN             218
#define IDS_UPDATE_UNKNOWN           219
#define IDS_UPDATE_COLUMN_SIZE       4971
#define IDS_UPDATE_COLUMN_STATE      4972
#define IDS_UPDATE_ROW_QUEUED        4973
#define IDS_UPDATE_ROW_DOWNLOADING   4974
#define IDS_UPDATE_ROW_FAILED        4975
#define IDS_UPDATE_ROW_DONE          4976
// The signature, serial, expiry, architecture or a hash of an update did not hold.
#define IDS_UPDATE_VERIFY_FAILED     61200
// Was 4970, which the driver link's IDS_RULES_REFUSED took as well: one of
// the two texts was lost.
#define IDS_UPDATE_COLUMN_NAME       61201
