// How every stage ends the process when it meets a failure. It sits beneath
// driver/, wav/ and copy/ so that the stages below the driver can stop the
// run without knowing anything of the command line.
//
// A result ignored with (void) follows one rule: what was only read from, or
// only shown, can't lose anything by failing to close or to show, since the
// status is the verdict, and a close on the way to a failure can't make the
// run fail any worse. Every write, seek and close of an output on the way to
// "done" is checked.
#pragma once

// Prints the message and a line break on standard output and exits with
// status. Callers close the files they wrote to first: exit would flush them,
// but a failure of that flush could no longer be reported.
[[noreturn]] [[gnu::format(printf, 2, 3)]] void Fail(int status, const char* format, ...);
