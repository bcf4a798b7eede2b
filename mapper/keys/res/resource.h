// Resource, control and string ids of the key mapper.
#pragma once
#include "../../common/mapper_ids.h"

#define IDI_RUNEBY          128
#define IDD_RUNEBY          102

#define IDC_KEYLIST         1000
#define IDC_COMMANDLIST     1001
#define IDC_SHIFT           1002
#define IDC_CTRL            1003
#define IDC_ALT             1004

// Strings 1-9: the tooltips of the controls 1000-1008.
#define IDS_TIP_KEYLIST     1
#define IDS_TIP_COMMANDLIST 2
#define IDS_TIP_SHIFT       3
#define IDS_TIP_CTRL        4
#define IDS_TIP_ALT         5
#define IDS_TIP_APPLY       6
#define IDS_TIP_CLEAR       7
#define IDS_TIP_SAVE        8
#define IDS_TIP_CLOSE       9
#define IDS_SYS_TOTRAY      10
#define IDS_SYS_ICON2TRAY   11
