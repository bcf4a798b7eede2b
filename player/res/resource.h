// Resource, control and command ids of the player.
#pragma once

// Resources
#define IDI_PLAYER              128
#define IDR_MAINMENU            128
#define IDR_ACCEL               128
#define IDR_TRAYMENU            103
#define IDD_MAIN                102
#define IDD_RECORDFORMAT        132

// Strings
#define IDS_FILTER_WAVE         1
#define IDS_FILTER_WAVE_MP3     2
#define IDS_FILTER_AUDIO        3
#define IDS_DEFEXT              4
#define IDS_EXT_MP3             5
#define IDS_EXT_WMA             6
#define IDS_WAVEAUDIO           7
#define IDS_NEWRECORDING        8
#define IDS_VERSION_TEXT        9
#define IDS_DECODER_LINE        10
#define IDS_DECODER_CREDITS     11
#define IDS_MCI_EXTENSIONS      12
#define IDS_SYS_TOTRAY          13
#define IDS_SYS_ICON2TRAY       14
#define IDS_LASTFILE_MISSING    15
#define IDS_DEVICE_GONE         16
#define IDS_NOTHING_RECORDED    17
#define IDS_VBMP3_ERROR_BASE    640
#define IDS_VBMP3_ERROR_LAST    673

// Main window controls
#define IDC_POSITION_BAR        1000
#define IDC_FILENAME            1001
#define IDC_LENGTH              1002
#define IDC_POSITION            1003
#define IDC_PLAY                1004
#define IDC_STOP                1005
#define IDC_TOP                 1006
#define IDC_LAST                1007
#define IDC_MARK                1008
#define IDC_BACK                1009
#define IDC_FORWARD             1010
#define IDC_RELATIVE            1011
#define IDC_ABSOLUTE            1012
#define IDC_ZERO                1013

// Recording format dialog controls
#define IDC_RATE_11K            1014
#define IDC_RATE_22K            1015
#define IDC_RATE_44K            1016
#define IDC_BITS_8              1017
#define IDC_BITS_16             1018
#define IDC_MONO                1019
#define IDC_STEREO              1020
#define IDC_RATE_PER_SEC        1021
#define IDC_RATE_PER_HOUR       1022
#define IDC_PRESET_PHONE        1023
#define IDC_PRESET_RADIO        1024
#define IDC_PRESET_CD           1025

// Menu commands
#define IDM_PLAY                32771
#define IDM_STOP                32772
#define IDM_TOP                 32773
#define IDM_LAST                32774
#define IDM_RECORD              32775
#define IDM_TOPMOST             32776
#define IDM_SHOWERROR           32777
#define IDM_SHOWHOUR            32778
#define IDM_VERSION             32779
#define IDM_REPEATALL           32780
#define IDM_RESTOREPOSITION     32781
#define IDM_RESTORELASTFILE     32782
#define IDM_SPEED_50            32790
#define IDM_SPEED_75            32791
#define IDM_SPEED_100           32792
#define IDM_SPEED_125           32793
#define IDM_SPEED_150           32794
#define IDM_SPEED_200           32795
#define IDM_SPEED_FASTER        32796
#define IDM_SPEED_SLOWER        32797
#define IDM_SPEED_NORMAL        32798
#define IDM_TRAY_RESTORE        39990
#define IDM_SYS_TOTRAY          40016
#define IDM_SYS_ICON2TRAY       40032
#define IDM_NEW                 57600
#define IDM_OPEN                57601
#define IDM_SAVEAS              57604
#define IDM_MRU_FIRST           57616
#define IDM_MRU_LAST            57623
#define IDM_EXIT                57665

#define WM_TRAYICON             0x8015
#define WM_DEFERREDERROR        0x8016  // an error box put off by a DDE transaction
