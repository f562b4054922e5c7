// What a stagecheck worker tells its parent. The worker runs the plug-in
// and the rules; the parent owns the report and the exit code, and learns
// everything from these messages, one text line each, written to a pipe as
// they happen. When the worker dies, the last messages say where it was.
//
//   worker -> parent          when
//   hello                     the worker is up (its start is not timed)
//   error TEXT                the DLL is no plug-in; the worker ends
//   summary TEXT              its exports and the files it asks for
//   known NAMES               those files, for the next worker (EncodeNames)
//   rule N                    rule N (of the rule table) starts
//   call LABEL|CASE           a call into the plug-in starts: LoadLibrary,
//                             CreateStage, load, draw, ...; CASE says what
//                             the host offers at that moment
//   back                      that call returned
//   wrote TEXT                the call wrote memory the host owns
//   trace TEXT                a line of --verbose output
//   outcome N PASS|FAIL TEXT  rule N's verdict, with what it saw
//   note TEXT                 a note (not a rule)
//   crash CODE ADDRESS WHERE  the worker's unhandled-exception filter, just
//                             before the process ends (hexadecimal; WHERE
//                             is "-" outside the plug-in)
//   damage TEXT               the call damaged the process's heap; the
//                             worker ends
//   retire                    the worker ends early: a plug-in that wrote
//                             over its own data is never run again
//   done                      all said
//
// The parent starts a worker as
//   stagecheck.exe --worker PIPE --from N [--known NAMES] [--verbose] DLL
// and starts a fresh one at the next rule when a worker dies or hangs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct Message {
  std::string kind;  // the first word
  std::string text;  // the rest of the line
};

// The line for a message: "\n" and "\\" in the text are escaped.
std::string EncodeMessage(const char *kind, const std::string &text);
// Back from a line (without its "\n").
Message DecodeMessage(const std::string &line);

// File names as one word, safe on a command line whatever the plug-in
// asked for: each name as "x" and its bytes in hexadecimal, separated by
// commas; "-" for none.
std::string EncodeNames(const std::vector<std::string> &names);
std::vector<std::string> DecodeNames(const std::string &text);

// Where the worker's messages go: a pipe handle, or, when the rules run in
// the parent's own process (--in-process), straight to a function.
void SendMessagesTo(HANDLE pipe);
void SendMessagesTo(void (*receive)(const std::string &line));
HANDLE MessagePipe();
void Send(const char *kind, const std::string &text = "");
