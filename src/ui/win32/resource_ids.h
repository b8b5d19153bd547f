#ifndef TARNWICK_UI_WIN32_RESOURCE_IDS_H
#define TARNWICK_UI_WIN32_RESOURCE_IDS_H
/* Resource ids, shared by the .rc files and the code: plain #defines only. */

#define IDI_APP 1 /* the application icon */

#define IDD_ABOUT 100
#define IDD_INPUT_BOX 101

/* Controls of the About box; its OK button is IDOK. */
#define IDC_ABOUT_PRODUCTNAME 1101
#define IDC_ABOUT_VERSION 1102
#define IDC_ABOUT_COPYRIGHT 1103
#define IDC_ABOUT_COMMENTS 1104
#define IDC_ABOUT_LINK 1105
#define IDC_ABOUT_PANEL 1106
#define IDC_ABOUT_ICON 1107

/* Controls of the input box; its buttons are IDOK and IDCANCEL. */
#define IDC_INPUT_TEXT 100
#define IDC_INPUT_PROMPT 101

#endif
