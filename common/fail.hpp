// How every stage ends the process when it meets a failure, and the lines it
// ends with. It sits beneath driver/, wav/ and copy/ so that the stages below
// the driver can stop the run without knowing anything of the command line.
//
// A result ignored with (void) follows one rule: what was only read from, or
// only shown, can't lose anything by failing to close or to show, since the
// status is the verdict, and a close on the way to a failure can't make the
// run fail any worse. Every write, seek and close of an output on the way to
// "done" is checked.
#pragma once

inline constexpr char bad_name[] = "Filename error: looking for format of type name.wav";
inline constexpr char unable_to_open[] = "Unable to open file.";
inline constexpr char unable_to_read[] = "Unable to read file.";
inline constexpr char unable_to_write[] = "Unable to write file.";
inline constexpr char no_format[] = "Can't find format chunk in wave file!";
inline constexpr char no_data[] = "Can't find data block in wave file!";
inline constexpr char not_stereo[] = "The file you want to convert is not a stereo track!";
inline constexpr char bad_width[] = "24 bit or 16 bit wave files only!";

// Prints the message and a line break on standard output and exits with
// status. Callers close the files they wrote to first: exit would flush them,
// but a failure of that flush could no longer be reported.
[[noreturn]] void Fail(int status, const char* message);

// Fails with status 2, saying that no file of that name is there.
[[noreturn]] void Fail_missing(const char* name);
