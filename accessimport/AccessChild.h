#pragma once

// The reading of an Access file runs in a child process, the program itself started with a switch:
// libmdb is not hardened against damaged files, and a crash or hang there must not take the
// program with it. AccessReader starts the child and reads what it sends.

namespace accessimport {

inline constexpr char kReadAccessFileSwitch[] = "--read-access-file";

// Called first thing in main(). Started as "PROGRAM --read-access-file FILE TABLE...", reads the
// file's catalogue and the rows of the named tables (any letter case), writes them to standard
// output and returns the exit status; otherwise returns -1 and the program goes on.
int runAccessReaderChild(int argc, char** argv);

} // namespace accessimport
