#pragma once

// Convert: decodes the left pane of the main window into its right pane.
// Returns 1 when it wrote a result, 0 when the left pane was empty.
int ConvertSourceText();
