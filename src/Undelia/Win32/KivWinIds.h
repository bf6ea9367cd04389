// Window classes and control ids of the Windows program. The screenshot walker (tests/win32)
// finds the windows and presses the buttons through these, as a user would.
#pragma once

#define KIV_WC_MAIN L"UndeliaMainWnd"
#define KIV_WC_PANEL L"UndeliaPanel"
#define KIV_WC_PROGRESS L"UndeliaProgress"
#define KIV_WC_SELECTDIR L"UndeliaSelectDir"
#define KIV_WC_MODAL L"UndeliaDialog"  // filter, preview, recovery result

// Messages of the program's own.
#define KIV_WM_RUN (WM_APP + 1)  // lParam: a std::function<void()>* posted from another thread

enum : int {
    // Panel frame.
    IDC_BACK = 1001,
    IDC_NEXT = 1002,
    IDC_TITLE = 1003,
    // Caption bar.
    IDC_CAP_OPTION = 1101,
    IDC_CAP_MIN = 1102,
    IDC_CAP_CLOSE = 1103,
    IDM_HELP = 1111,
    IDM_FEEDBACK = 1112,
    IDM_ABOUT = 1113,
    // Home.
    IDC_HOME_DEVS = 1201,
    IDC_HOME_FILES = 1202,
    IDC_HOME_PREVIEW = 1203,
    IDC_HOME_OPENSCAN = 1204,
    // Devices.
    IDC_DEV_LIST = 1301,
    IDC_DEV_ADDIMAGE = 1302,
    IDC_DEV_REFRESH = 1303,
    IDC_DEV_INFO = 1304,
    // File types.
    IDC_TYPE_DEVICE = 1401,
    IDC_TYPE_TREE = 1402,
    IDC_TYPE_ALL = 1403,
    IDC_TYPE_HINT = 1404,
    // Results.
    IDC_RES_TABS = 1501,
    IDC_RES_TREE = 1502,
    IDC_RES_LIST = 1503,
    IDC_RES_TOTALS = 1504,
    IDC_RES_STATE = 1505,
    IDC_RES_SAVESCAN = 1506,
    IDC_RES_FILTER = 1507,
    IDC_RES_PREVIEW = 1508,
    IDC_RES_GOON = 1509,
    // Final.
    IDC_FIN_SUMMARY = 1601,
    IDC_FIN_OPEN = 1602,
    // Progress dialog.
    IDC_PRG_WHAT = 1701,
    IDC_PRG_BAR = 1702,
    IDC_PRG_BAR2 = 1703,
    IDC_PRG_LINE1 = 1704,
    IDC_PRG_LINE2 = 1705,
    IDC_PRG_LINE3 = 1706,
    IDC_PRG_STOP = 1707,
    // Destination dialog.
    IDC_DST_SELECTED = 1801,
    IDC_DST_PATHLABEL = 1802,
    IDC_DST_PATH = 1803,
    IDC_DST_BROWSE = 1804,
    IDC_DST_FREE = 1805,
    // Filter dialog.
    IDC_FLT_KEY = 1901,
    IDC_FLT_SIZEON = 1902,
    IDC_FLT_SIZEKIND = 1903,
    IDC_FLT_SIZE = 1904,
    IDC_FLT_UNIT = 1905,
    IDC_FLT_DATEON = 1906,
    IDC_FLT_DATEKIND = 1907,
    IDC_FLT_FROM = 1908,
    IDC_FLT_TO = 1909,
    // Preview dialog.
    IDC_PVW_PICTURE = 2001,
    IDC_PVW_TEXT = 2002,
    IDC_PVW_NOTE = 2003,
    IDC_PVW_OPEN = 2004,
    // Recovery result dialog.
    IDC_RRS_TEXT = 2101,
    IDC_RRS_LIST = 2102,
    IDC_RRS_OPEN = 2103,
    IDC_RRS_REPORT = 2104,
};
