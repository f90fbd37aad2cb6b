#pragma once

#include "app/framework/CommandTable.h"

// What the application object takes from the main window's side. That side
// (ui/) is built on this folder, so it is not included from here; it defines
// these beside its menus.

// Runs the main window modally until it closes, as the running main window.
void RunMainWindow();

// The application's own command map: the entry for `id`, or nullptr.
const AppCommand* FindAppCommand(int id);
