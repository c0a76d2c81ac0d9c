// Resource identifiers of the language dialog; the program's resource script includes its template.
#pragma once

#define IDD_LANGUAGES 130
#define IDC_LANGUAGES_DESCRIPTION 1002
#define IDC_LANGUAGES_LIST 1005
#define IDC_LANGUAGES_LINK 1006
#define IDC_HAND_CURSOR 1027
