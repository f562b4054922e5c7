// stagecheck's report for CI servers, which read JUnit XML: one testsuite
// per path of the run, named by its file name, one testcase per rule.
#pragma once

#include <string>
#include <vector>

#include "run_table.h"

// The text as XML character data (or, with `attribute`, an attribute
// value) in UTF-8: markup characters escaped; a byte that is no part of
// valid UTF-8, or a control character XML cannot hold, written as "\xNN"
// (a plug-in's file names are bytes of whatever code page it was built
// for).
std::string XmlText(const std::string &text, bool attribute = false);

// The whole report. A rule ruled out by `ruleMask` (--rule) is a
// testcase with <skipped>; a path with no plug-in is one testcase
// "load" with <error>; a report that could not be finished gets a
// testcase "stagecheck" with <error>, and its rules not reached are
// skipped. Notes and the plug-in's exports go to the
// suite's <system-out>.
std::string JunitXml(const std::vector<PluginRun> &runs,
                     unsigned long ruleMask);

// Writes `xml` to `path` through a temporary file beside it, moved into
// place when whole: the file is never seen half-written. False, with
// `error` set, when it cannot be written.
bool WriteReportFile(const std::string &path, const std::string &xml,
                     std::string &error);
