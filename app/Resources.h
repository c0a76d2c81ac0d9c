#pragma once

#define IDR_MAINFRAME 128
#define IDB_SPLASH 104
