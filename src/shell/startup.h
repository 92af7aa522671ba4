#pragma once
// The program's main body: the start-up in its fixed order, then the main
// loop.

namespace shell {

// Returns the program's exit code for its ordinary ends; the failures of the
// start-up end the program themselves (FatalError, the file errors).
int RunShow();

}  // namespace shell
