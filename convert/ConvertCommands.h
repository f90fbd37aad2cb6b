#pragma once

#include <string>
#include <string_view>

// Convert: decodes the left pane of the main window into its right pane.
// Returns 1 when it wrote a result, 0 when the left pane was empty.
int ConvertSourceText();

// Decodes `text` for a command, with the wait cursor shown meanwhile.
std::string DecodeForCommand(std::string_view text);

// For tests: the decoder that the commands run, so that memory running out can
// be simulated. nullptr restores the real one.
using DecodeFunction = std::string (*)(std::string_view);
void SetDecoderForTesting(DecodeFunction decoder);
