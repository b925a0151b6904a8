// Resource identifiers of LumexiaClient: dialog templates, their controls and the icon.
#pragma once

#define IDD_MAIN 101
#define IDD_SERVER 102
#define IDD_LOGIN 105
#define IDD_CLIP 106
#define IDD_UPDATE 107
#define IDD_PROXY 111
#define IDI_MAIN 108

// Main dialog (101).
#define IDC_RESIZE 1001
#define IDC_MAXSIZE 1002
#define IDC_ROTATION 1006
#define IDC_SUBSCR 1007
#define IDC_SUBSCR_TEXT 1008
#define IDC_ALBUM 1009
#define IDC_FORMAT 1010
#define IDC_QUALITY 1011
#define IDC_PREV_MAXSIZE 1014
#define IDC_PREV_SUBSCR 1015
#define IDC_PREV_SUBSCR_TEXT 1016
#define IDC_COMMENT 1017
#define IDC_USER_URL 1018
#define IDC_UPLOAD 1019
#define IDC_PROXY_LINK 1038
#define IDC_RESET_LINK 1042
#define IDC_LINK_KIND 1043
#define IDC_LOGIN_LINK 1044
#define IDC_FILE_COUNT 1045
#define IDC_TAGS 1056
#define IDC_PUBLIC 1060

// Login dialog (105).
#define IDC_LOGIN_REMEMBER 1001
#define IDC_LOGIN_OK 1019
#define IDC_LOGIN_NAME 1027
#define IDC_LOGIN_PASSWORD 1028
#define IDC_LOGIN_NAME_LABEL 1029
#define IDC_LOGIN_PASSWORD_LABEL 1030
#define IDC_LOGIN_CANCEL 1032
#define IDC_LOGIN_ANONYMOUS 1033
#define IDC_LOGIN_HEADING 1034
#define IDC_LOGIN_FORGET 1038

// Progress dialog (102).
#define IDC_SERVER_CANCEL 1019
#define IDC_SERVER_PROGRESS 1021
#define IDC_SERVER_LABEL 1037

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Clipboard notice (106).
#define IDC_CLIP_NOSHOW 1001
#define IDC_CLIP_OK 1041
#define IDC_CLIP_TEXT 1046

// Proxy setting (111).
#define IDC_PROXY_USE 1001
#define IDC_PROXY_CANCEL 1032
#define IDC_PROXY_OK 1041
#define IDC_PROXY_FULL 1053
#define IDC_PROXY_TITLE 1054

// Update notice (107).
#define IDC_UPDATE_OK 1047
#define IDC_UPDATE_TEXT 1048
#define IDC_UPDATE_NOSHOW 1049
#define IDC_UPDATE_CANCEL 1050
