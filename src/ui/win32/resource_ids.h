#ifndef TARNWICK_UI_WIN32_RESOURCE_IDS_H
#define TARNWICK_UI_WIN32_RESOURCE_IDS_H
/* Resource ids, shared by the .rc files and the code: plain #defines only. */

#define IDI_APP 1 /* the application icon */

/* Controls of the About box; its OK button is IDOK. */
#define IDC_ABOUT_PRODUCTNAME 1101
#define IDC_ABOUT_VERSION 1102
#define IDC_ABOUT_COPYRIGHT 1103
#define IDC_ABOUT_COMMENTS 1104
#define IDC_ABOUT_LINK 1105

#endif
