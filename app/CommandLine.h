#pragma once
// The program's command line. A start without arguments is the normal start;
// --help and --version answer on standard output and end the program; an
// option the program does not know, or any other argument, is an error
// (message on standard error, exit status 2). The toolkit's own options
// (-platform, -style, ...) pass through to the toolkit.
#include <optional>

// Returns the exit status when the program is to end without starting its
// window; none for a normal start. Creates no window, so it also answers
// without a display.
std::optional<int> AnswerCommandLine(int argc, char** argv);
