// Talking to the person at the terminal: one-line messages, the progress bar, and
// questions answered on standard input.
//
// Results (listings, summaries) go to standard output; messages, the progress bar
// and questions go to standard error, so that a listing piped into another program
// stays clean. The progress bar is drawn only when standard error is a terminal, and
// a message first wipes it so that every message stands on a line of its own.
//
// Process-wide state (the modes and the bar), not thread-safe: arq has one thread.
#pragma once

#include <cstdint>
#include <string>

// Output modes, set once from the command line.
void ConsoleSetQuiet(int quiet);     // no progress bar, no summary
void ConsoleSetVerbose(int verbose); // one line per file handled
int ConsoleQuiet();
int ConsoleVerbose();

// "arq: " and the message on standard error, with a line end.
void Complain(const char* format, ...);
// A summary on standard output, with a line end: in verbose mode, or when standard
// output is a terminal and the console is not quiet.
void Say(const char* format, ...);
// Like Say, but only in verbose mode.
void Tell(const char* format, ...);

// A name from an archive made fit to print: control bytes, which a hostile archive
// could use to move the cursor or retitle the terminal, become '?', and the name,
// which is in the ANSI code page, is given in the terminal's encoding.
std::string Printable(const char* name);

// 1 when standard input is a terminal.
int ConsoleInteractive();

// Shows prompt on standard error and reads one line from standard input, without its
// line end, into answer. 0 when nothing can be read any more (end of input, an
// interrupt), 1 otherwise.
int AskLine(const char* prompt, std::string* answer);

// ---- Progress bar --------------------------------------------------------------

// Starts a bar over total bytes (0: unknown, only the count is shown). Does nothing
// unless standard error is a terminal and the console is not quiet.
void ProgressBegin(uint64_t total);
// Shows done bytes of the total and the name of the file at hand, a name from the
// archive (in its code page). Redraws only when the shown figures change, so it can
// be called for every event.
void ProgressShow(uint64_t done, const char* name);
// The same for a name as the host spells it (a file being stored).
void ProgressShowHost(uint64_t done, const char* name);
// Wipes the bar from the terminal; the next ProgressShow draws it again.
void ProgressClear();
// Wipes the bar and stops drawing it.
void ProgressEnd();

// "1.5 MiB", "320 bytes": a byte count for people.
std::string HumanSize(uint64_t bytes);
