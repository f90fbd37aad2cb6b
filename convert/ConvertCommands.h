#pragma once

#include "files/ScopedOverride.h"

#include <string>
#include <string_view>

// Convert: decodes the left pane of the main window into its right pane.
// Returns 1 when it wrote a result, 0 when the left pane was empty.
int ConvertSourceText();

class MainWnd;

// The running main window; throws when none runs.
MainWnd& RunningMainWnd();

// Decodes `text` for a command, with the wait cursor shown meanwhile.
std::string DecodeForCommand(std::string_view text);

// The decoder that the commands run. Tests replace it, so that memory running
// out can be simulated, for as long as a DecoderOverride lives.
using DecodeFunction = std::string (*)(std::string_view);
class DecoderOverride : ScopedOverride<DecodeFunction>
{
public:
    explicit DecoderOverride(DecodeFunction decoder);
};
