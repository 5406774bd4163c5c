// Resource identifiers of the setup's interface, shared by ui_resources.rc and
// the code. Plain #defines: the resource compiler reads this file too.
#pragma once

#define IDD_MESSAGE_BOX 230

// PNG strips; the frame counts live in res_initializer.cpp.
#define IDB_CLOSE 247
#define IDB_BOX_BUTTON_PRIMARY 251
#define IDB_BOX_BUTTON_SECONDARY 252
#define IDB_BOX_CLOSE 253
#define IDB_BOX_BACKGROUND 254
#define IDB_CHECKBOX 275
#define IDB_WELCOME_LOGO 284
#define IDB_BROWSE 285
#define IDB_CUSTOM_LINK 286
#define IDB_PROGRESS_BACK 287
#define IDB_PROGRESS_FILL 288
#define IDB_DIR_FIELD 289
#define IDB_PAGE_BACKGROUND 294
#define IDB_MINIMISE 295
#define IDB_LARGE_BUTTON 296
#define IDB_INSTALL_BUTTON 297
#define IDB_BACK_BUTTON 299
#define IDB_PROGRESS_PICTURE 300
#define IDB_FINISH_LOGO 301

// Registered fonts (pixel sizes in res_initializer.cpp) and the hand cursor.
#define IDF_8 1001
#define IDF_9 1002
#define IDF_12 1003
#define IDF_12_UNDERLINE 1004
#define IDF_12_BOLD 1005
#define IDF_14 1006
#define IDF_14_UNDERLINE 1007
#define IDF_14_BOLD 1008
#define IDF_17 1009
#define IDF_16 1010
#define IDF_16_BOLD 1011
#define IDF_18 1012
#define IDF_18_BOLD 1013
#define IDF_20 1014
#define IDF_22_BOLD 1015
#define IDC_HAND_CURSOR 1001
