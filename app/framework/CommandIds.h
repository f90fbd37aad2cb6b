#pragma once

// Identifiers of the controls and commands. The values are the program's own
// from its first version and are kept so that routing stays by number.

// Standard dialog commands.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// Controls of the main window and the dialogs.
constexpr int IDC_SOURCE_TEXT = 1000;
constexpr int IDC_RESULT_TEXT = 1001;
constexpr int IDC_CONVERT = 1002;
constexpr int IDC_LOAD = 1003;
constexpr int IDC_SAVE = 1004;
constexpr int IDC_NEWS_TEXT = 1005;
constexpr int IDC_ABOUT_HELP = 1006;

// Menu commands of the program.
constexpr int ID_ABOUT_NEWS = 32775;
constexpr int ID_ABOUT_ABOUT = 32777;
constexpr int ID_FILE_OPENFILE = 32778;
constexpr int ID_FILE_SAVEFILE = 32780;
constexpr int ID_FILE_CONVERT = 32781;
constexpr int ID_FILE_QUICKCONVERT = 32782;
constexpr int ID_ABOUT_HELP = 32784;

// The system-menu entry that opens the About box.
constexpr int IDM_ABOUTBOX = 0x0010;

// Standard commands.
constexpr int ID_EDIT_CLEAR = 0xE120;
constexpr int ID_EDIT_COPY = 0xE122;
constexpr int ID_EDIT_CUT = 0xE123;
constexpr int ID_EDIT_PASTE = 0xE125;
constexpr int ID_EDIT_UNDO = 0xE12B;
constexpr int ID_APP_EXIT = 0xE141;
constexpr int ID_HELP = 0xE146;

// Menu commands that the main window does not handle go on to the application
// object when they fall in this range.
constexpr int kFirstAppCommand = 0x8000;
constexpr int kEndAppCommands = 0xF000;
