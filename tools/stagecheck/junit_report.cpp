// The JUnit XML report (junit_report.h). The element and attribute names
// are those CI servers read (Jenkins, GitLab, GitHub actions' reporters).
#include "junit_report.h"

#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "host_text.h"
#include "rules.h"
#include "wide_text.h"

namespace {

// The length of the valid UTF-8 sequence at text[i] of a character XML
// allows, or 0.
size_t Utf8Length(const std::string &text, size_t i) {
  const unsigned char *s =
      reinterpret_cast<const unsigned char *>(text.data()) + i;
  size_t left = text.size() - i;
  unsigned c = s[0];
  size_t length;
  unsigned code;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
    code = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    code = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    code = c & 0x07;
  } else {
    return 0;
  }
  if (left < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((s[k] & 0xC0) != 0x80) return 0;
    code = code << 6 | (s[k] & 0x3F);
  }
  const unsigned least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < least[length] || code > 0x10FFFF) return 0;  // overlong, too big
  if ((code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF)
    return 0;  // surrogates and non-characters: not XML characters
  return length;
}

std::string Seconds(double seconds) {
  char text[32];
  snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

std::string Attribute(const char *name, const std::string &value) {
  return std::string(" ") + name + "=\"" + XmlText(value, true) + "\"";
}

std::string Count(const char *name, int value) {
  return Attribute(name, std::to_string(value));
}

struct Suite {
  std::string cases;
  int tests = 0, failures = 0, errors = 0, skipped = 0;
  double seconds = 0;
};

void AddCase(Suite &suite, const std::string &className, const char *name,
             double seconds, const std::string &inner) {
  suite.cases += "    <testcase" + Attribute("name", name) +
                 Attribute("classname", className) +
                 Attribute("time", Seconds(seconds));
  suite.cases += inner.empty() ? "/>\n" : ">\n" + inner + "    </testcase>\n";
  ++suite.tests;
}

std::string Element(const char *name, const std::string &message,
                    const std::string &text) {
  return std::string("      <") + name + Attribute("message", message) + ">" +
         XmlText(text) + "</" + name + ">\n";
}

std::string Skipped(const std::string &why) {
  return "      <skipped" + Attribute("message", why) + "/>\n";
}

Suite RuleCases(const PluginRun &run, unsigned long ruleMask,
                const std::string &className) {
  Suite suite;
  const CheckReport &report = run.report;
  if (!run.problem.empty() || report.exitCode == 2) {
    std::string why = run.problem.empty() ? report.error : run.problem;
    AddCase(suite, className, "load", report.seconds,
            Element("error", why, why));
    ++suite.errors;
    return suite;
  }
  for (int i = 0; i < RuleCount(); ++i) {
    const RuleInfo &info = RuleAt(i);
    const RuleOutcome *outcome = nullptr;
    for (const RuleOutcome &rule : report.rules)
      if (!strcmp(rule.name, info.name)) outcome = &rule;
    if (!outcome) {
      AddCase(suite, className, info.name, 0,
              Skipped(!RuleSelected(ruleMask, i)
                          ? "not selected (--rule)"
                          : "not reached: the report could not be finished"));
      ++suite.skipped;
      continue;
    }
    std::string inner;
    if (!outcome->passed) {
      inner = Element("failure", outcome->detail,
                      std::string(info.asks) + "\nsaw: " + outcome->detail);
      ++suite.failures;
    } else if (!outcome->detail.empty()) {
      inner =
          "      <system-out>" + XmlText(outcome->detail) + "</system-out>\n";
    }
    AddCase(suite, className, info.name, outcome->seconds, inner);
  }
  if (report.exitCode == 3) {
    AddCase(suite, className, "stagecheck", 0,
            Element("error", report.error, report.error));
    ++suite.errors;
  }
  return suite;
}

}  // namespace

std::string XmlText(const std::string &text, bool attribute) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = Utf8Length(text, i);
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (c == '"' && attribute) {
      out += "&quot;";
    } else if (c == '\n' || c == '\t' || c == '\r') {
      // An attribute's line ends would be read back as spaces.
      if (attribute || c == '\r')
        out += "&#" + std::to_string(c) + ";";
      else
        out += char(c);
    } else if (length == 0 || c < 0x20 || c == 0x7F) {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
      length = 1;
    } else {
      out.append(text, i, length);
      i += length;
      continue;
    }
    i += length ? length : 1;
  }
  return out;
}

std::string JunitXml(const std::vector<PluginRun> &runs,
                     unsigned long ruleMask) {
  std::string suites;
  Suite all;
  for (const PluginRun &run : runs) {
    const std::string name = FileNameOf(run.path);
    Suite suite = RuleCases(run, ruleMask, name);
    std::string out;
    if (run.problem.empty()) {
      const CheckReport &report = run.report;
      if (!report.summary.empty()) out += report.summary + "\n";
      for (const std::string &note : report.notes)
        out += "NOTE  " + note + "\n";
    }
    double seconds = run.problem.empty() ? run.report.seconds : 0;
    suites += "  <testsuite" + Attribute("name", name) +
              Count("tests", suite.tests) + Count("failures", suite.failures) +
              Count("errors", suite.errors) + Count("skipped", suite.skipped) +
              Attribute("time", Seconds(seconds)) + ">\n";
    suites += "    <properties>\n      <property" + Attribute("name", "path") +
              Attribute("value", run.path) + "/>\n    </properties>\n";
    suites += suite.cases;
    if (!out.empty())
      suites += "    <system-out>" + XmlText(out) + "</system-out>\n";
    suites += "  </testsuite>\n";
    all.tests += suite.tests;
    all.failures += suite.failures;
    all.errors += suite.errors;
    all.skipped += suite.skipped;
    all.seconds += seconds;
  }
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" +
         Attribute("name", "stagecheck") + Count("tests", all.tests) +
         Count("failures", all.failures) + Count("errors", all.errors) +
         Count("skipped", all.skipped) +
         Attribute("time", Seconds(all.seconds)) + ">\n" + suites +
         "</testsuites>\n";
}

bool WriteReportFile(const std::string &path, const std::string &xml,
                     std::string &error) {
  const std::wstring target = Widen(path), part = Widen(path + ".part");
  HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "cannot write " + path + ".part (Windows error " +
            std::to_string(GetLastError()) + ")";
    return false;
  }
  DWORD written = 0;
  BOOL whole =
      WriteFile(file, xml.data(), DWORD(xml.size()), &written, nullptr) &&
      written == xml.size();
  DWORD writeError = GetLastError();
  whole = CloseHandle(file) && whole;
  if (whole &&
      MoveFileExW(part.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
    return true;
  error = (whole ? "cannot move the report into place as " + path
                 : "cannot write " + path + ".part") +
          " (Windows error " +
          std::to_string(whole ? GetLastError() : writeError) + ")";
  DeleteFileW(part.c_str());
  return false;
}
