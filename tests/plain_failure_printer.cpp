// The failures as GoogleTest prints them, without its OutputDebugStringA
// calls; everything else is left to its own printer (plain_failure_printer.h).
#include "plain_failure_printer.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <memory>

namespace {

class PlainFailurePrinter : public testing::EmptyTestEventListener {
 public:
  explicit PlainFailurePrinter(testing::TestEventListener *own) : own_(own) {}

  void OnTestProgramStart(const testing::UnitTest &u) override {
    own_->OnTestProgramStart(u);
  }
  void OnTestIterationStart(const testing::UnitTest &u, int i) override {
    own_->OnTestIterationStart(u, i);
  }
  void OnEnvironmentsSetUpStart(const testing::UnitTest &u) override {
    own_->OnEnvironmentsSetUpStart(u);
  }
  void OnEnvironmentsSetUpEnd(const testing::UnitTest &u) override {
    own_->OnEnvironmentsSetUpEnd(u);
  }
  void OnTestSuiteStart(const testing::TestSuite &s) override {
    own_->OnTestSuiteStart(s);
  }
  void OnTestStart(const testing::TestInfo &t) override {
    own_->OnTestStart(t);
  }
  // What GoogleTest prints for a failure or a skip: "FILE:LINE: Failure",
  // then the message.
  void OnTestPartResult(const testing::TestPartResult &result) override {
    if (result.type() == testing::TestPartResult::kSuccess) return;
    const char *kind = result.skipped() ? "Skipped" : "Failure";
    printf("%s %s\n%s\n",
           testing::internal::FormatFileLocation(result.file_name(),
                                                 result.line_number())
               .c_str(),
           kind, result.message());
    fflush(stdout);
  }
  void OnTestEnd(const testing::TestInfo &t) override { own_->OnTestEnd(t); }
  void OnTestSuiteEnd(const testing::TestSuite &s) override {
    own_->OnTestSuiteEnd(s);
  }
  void OnEnvironmentsTearDownStart(const testing::UnitTest &u) override {
    own_->OnEnvironmentsTearDownStart(u);
  }
  void OnEnvironmentsTearDownEnd(const testing::UnitTest &u) override {
    own_->OnEnvironmentsTearDownEnd(u);
  }
  void OnTestIterationEnd(const testing::UnitTest &u, int i) override {
    own_->OnTestIterationEnd(u, i);
  }
  void OnTestProgramEnd(const testing::UnitTest &u) override {
    own_->OnTestProgramEnd(u);
  }

 private:
  std::unique_ptr<testing::TestEventListener> own_;
};

}  // namespace

void PrintFailuresWithoutDebuggerOutput() {
  testing::TestEventListeners &listeners =
      testing::UnitTest::GetInstance()->listeners();
  testing::TestEventListener *own =
      listeners.Release(listeners.default_result_printer());
  if (own) listeners.Append(new PlainFailurePrinter(own));
}
