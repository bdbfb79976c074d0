/* The system's fixed numbers, shared by the resource script and the code.
 * Plain #defines only, so that windres and the C++ compiler both read it. */
#ifndef GROOBLE_RESOURCE_H
#define GROOBLE_RESOURCE_H

/* Strength dialog: template, controls and resources. */
#define IDD_STRENGTH            101
#define IDB_SAVE_PRESET         104
#define IDB_DELETE_PRESET       105
#define IDC_TIMING_SLIDER       1005
#define IDC_LENGTH_SLIDER       1006
#define IDC_VELOCITY_SLIDER     1007
#define IDC_TIMING_EDIT         1008
#define IDC_LENGTH_EDIT         1009
#define IDC_VELOCITY_EDIT       1010
#define IDC_TIMING_SPIN         1011
#define IDC_LENGTH_SPIN         1012
#define IDC_VELOCITY_SPIN       1013
#define IDC_PRESET_COMBO        1014
#define IDC_SAVE_PRESET         1015
#define IDC_DELETE_PRESET       1016
#define IDS_SAVE_PRESET_TIP     2003
#define IDS_DELETE_PRESET_TIP   2004

/* System-menu entries the strength dialog appends; used as they are,
 * not as multiples of 16. */
#define IDM_SEPARATOR           200
#define IDM_SAVE_POSITION       201
#define IDM_ABOUT               202

/* Asked of a window's owner (or parent) before centring over it: a nonzero
 * reply names the window to centre over instead. */
#define WM_QUERYCENTERWND       0x036B

/* About box: template, icon, items, and the string-table entries naming
 * the version keys that items 2000-2002 show (each item shares its id). */
#define IDD_ABOUT               100
#define IDI_ABOUT               107
#define IDC_ABOUT_EMAIL         1001
#define IDC_ABOUT_HOMEPAGE      1002
#define IDC_ABOUT_EXPLORER      1003
#define IDC_ABOUT_PATH          1005
#define IDC_ABOUT_DESCRIPTION   2000
#define IDC_ABOUT_COPYRIGHT     2001
#define IDC_ABOUT_COMMENTS      2002
#define IDS_FILE_DESCRIPTION    2000
#define IDS_LEGAL_COPYRIGHT     2001
#define IDS_COMMENTS            2002

/* The version, once: the version resource and the release archive both
 * take it from here. */
#define GROOBLE_VERSION_MAJOR   1
#define GROOBLE_VERSION_MINOR   0
#define GROOBLE_VERSION_BUILD   2000
#define GROOBLE_VERSION_PATCH   928
#define GROOBLE_VERSION_TEXT    "1, 0, 2000, 928"

#endif
