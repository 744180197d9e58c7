#pragma once

// Resource ids of the window tests' dialog templates.
#define IDD_FORM 100
#define IDC_NAME 101
#define IDC_REMEMBER 102
#define IDD_PAGE_GENERAL 200
#define IDD_PAGE_PLAYBACK 201
#define IDC_PAGE_NOTE 202
