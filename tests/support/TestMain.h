#pragma once
#include <string>

namespace testsupport {

// The private folder the test program works in: its current directory, with
// the XDG folders (config, config dirs, state, cache, runtime) below it, so
// settings, logs and sockets of the code under test stay out of the user's
// home. Removed when the program ends.
const std::string& WorkDir();

} // namespace testsupport
