// How every stage ends the process when it meets a failure.
#pragma once

// Prints the message and a line break on standard output and exits with
// status. Callers close the files they wrote to first, so that nothing of
// theirs is flushed behind the message.
[[noreturn]] [[gnu::format(printf, 2, 3)]] void Fail(int status, const char* format, ...);
