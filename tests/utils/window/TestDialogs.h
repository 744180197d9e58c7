#pragma once

// Resource ids of the window tests' dialog template.
#define IDC_REMEMBER 102
#define IDD_PAGE_GENERAL 200
#define IDC_PAGE_NOTE 202
