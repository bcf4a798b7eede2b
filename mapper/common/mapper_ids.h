// Resource, control and command ids that both mapper programs share.
#pragma once

#define IDR_TRAYMENU        103
#define IDM_TRAY_RESTORE    39990
#define IDM_TRAY_EXIT       39991
#define IDM_SYS_TOTRAY      40016
#define IDM_SYS_ICON2TRAY   40032

#define IDC_CLEAR           1005
#define IDC_SAVE            1006
#define IDC_APPLY           1007
#define IDC_CLOSE           1008

// Posted at the end of start-up: the tooltips are made once the window is up.
#define WM_MAPPER_TOOLTIPS  (WM_APP + 0x40)
