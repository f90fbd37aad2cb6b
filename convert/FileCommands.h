#pragma once

// Load: puts the text of a file that the user chooses into the left pane.
// Returns 1 when a file was read, 0 when the user cancelled.
int LoadSourceFile();

// Save: writes the right pane to a file that the user chooses. Returns 1 when
// it was written, 0 when the pane was empty or the user cancelled.
int SaveResultFile();

// Quick Convert: decodes a file that the user chooses into another one,
// without touching the panes.
void QuickConvert();
