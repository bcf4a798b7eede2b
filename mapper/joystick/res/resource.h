// Resource, control and string ids of the joystick mapper.
#pragma once
#include "../../common/mapper_ids.h"

#define IDI_PADWIG          102
#define IDD_PADWIG          101

#define IDC_JOYSTICK        1000
#define IDC_STATUS          1001
#define IDC_BUTTONS         1002
#define IDC_PRESS_COMMAND   1003
#define IDC_RELEASE_COMMAND 1004

// Strings 1-9: the tooltips of the controls 1000-1008.
#define IDS_TIP_FIRST       1
#define IDS_SYS_TOTRAY      16
#define IDS_STATUS_USABLE   17
#define IDS_STATUS_NOT_CONNECTED 18
#define IDS_STATUS_UNUSABLE 19
#define IDS_NO_COMMAND      20
#define IDS_JOYSTICK_ITEM   21
#define IDS_BUTTON_LABEL    22
#define IDS_SYS_ICON2TRAY   23
