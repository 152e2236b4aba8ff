// How every stage ends the process when it meets a failure. It sits beneath
// driver/, wav/ and copy/ so that the stages below the driver can stop the
// run without knowing anything of the command line.
#pragma once

// Prints the message and a line break on standard output and exits with
// status. Callers close the files they wrote to first: exit would flush them,
// but a failure of that flush could no longer be reported.
[[noreturn]] [[gnu::format(printf, 2, 3)]] void Fail(int status, const char* format, ...);
