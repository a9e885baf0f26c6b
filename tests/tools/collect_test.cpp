// File: tests/tools/collect_test.cpp
//
// collect's promise: the terminal is cleared only after FILE verifiably
// holds every record read; a record is never written twice.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tools/mvcomm/collect.h"
#include "tools/mvcomm/record_text.h"

namespace mvcomm::testing {
namespace {

using cli::CollectRequest;
using cli::CollectResult;
using cli::Outcome;

class FakeSession final : public cli::TerminalSession {
 public:
  std::vector<str_record> stored;   // what the terminal holds
  Outcome readOutcome;
  Outcome clearOutcome;
  int clears = 0;
  Date askedFrom, askedTo;

  void setclock(const std::string&, const DateTime&) override {}
  void readdata(const std::string&, const Date& from, const Date& to) override {
    askedFrom = from;
    askedTo = to;
    last_ = readOutcome;
    records_ = readOutcome.ok() ? stored : std::vector<str_record>{};
  }
  void cleardata(const std::string&) override {
    ++clears;
    last_ = clearOutcome;
    if (clearOutcome.ok()) stored.clear();
  }
  void readrefertable(const std::string&) override {}
  void writerefertable(const std::string&, const std::vector<str_referrecord>&) override {}
  Outcome outcome() override { return last_; }
  std::vector<str_record> records() override { return records_; }
  std::vector<str_referrecord> refertable() override { return {}; }

 private:
  Outcome last_;
  std::vector<str_record> records_;
};

str_record rec(int employee, const char* workclass, int day, int hour, int minute) {
  return str_record{employee, workclass, DateTime{{2026, 3, day}, hour, minute, 0}};
}

class CollectTest : public ::testing::Test {
 public:  // the table rows below arrange the fixture
  void SetUp() override {
    char tmpl[] = "/tmp/mvcomm-collect-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/out.csv";
    session_.stored = {rec(1001, "1", 10, 8, 0), rec(1002, "2", 10, 8, 5), rec(1001, "4", 11, 17, 30)};
  }
  void TearDown() override { (void)std::system(("rm -rf " + dir_).c_str()); }

  int run(bool clear, CollectResult& result) {
    CollectRequest r{"1", Date{2026, 3, 10}, Date{2026, 3, 11}, path_, clear, {}};
    r.transferComplete = transferCheck_;
    err_.str("");
    return cli::collect(session_, r, result, err_);
  }
  std::vector<cli::MachineRecord> fileRows() {
    std::string text, why;
    std::vector<cli::MachineRecord> rows;
    EXPECT_TRUE(cli::readFile(path_, text, why));
    EXPECT_TRUE(cli::parseRecordsCsv(text, rows, why)) << why;
    return rows;
  }
  bool fileExists() {
    struct stat st {};
    return ::stat(path_.c_str(), &st) == 0;
  }

  std::string dir_, path_;
  FakeSession session_;
  std::ostringstream err_;
  std::function<bool(std::size_t, std::string&)> transferCheck_;
};

TEST_F(CollectTest, WritesRecordsWithTheTerminalNumberThenClears) {
  CollectResult result;
  EXPECT_EQ(run(true, result), 0);
  EXPECT_EQ(result.read, 3);
  EXPECT_EQ(result.added, 3);
  EXPECT_TRUE(result.cleared);
  EXPECT_EQ(session_.clears, 1);
  EXPECT_EQ(fileRows().size(), 3u);
  std::string text, why;
  ASSERT_TRUE(cli::readFile(path_, text, why));
  EXPECT_EQ(text,
            "machine,employeeid,workclass,cardedtime\n"
            "1,1001,1,2026-03-10 08:00:00\n"
            "1,1002,2,2026-03-10 08:05:00\n"
            "1,1001,4,2026-03-11 17:30:00\n");
}

TEST_F(CollectTest, CollectingTwiceNeverDuplicatesAKey) {
  CollectResult first, second;
  ASSERT_EQ(run(false, first), 0);
  session_.stored.push_back(rec(1003, "1", 11, 9, 0));   // one new swipe
  ASSERT_EQ(run(false, second), 0);
  EXPECT_EQ(second.read, 4);
  EXPECT_EQ(second.added, 1);
  EXPECT_EQ(fileRows().size(), 4u);
  EXPECT_EQ(session_.clears, 0);
}

TEST_F(CollectTest, KeyIncludesWorkClassAndTerminal) {
  // Same employee and minute, another work class: a different swipe.
  std::ofstream(path_) << "machine,employeeid,workclass,cardedtime\n"
                          "2,1001,1,2026-03-10 08:00:00\n"
                          "1,1001,3,2026-03-10 08:00:00\n";
  CollectResult result;
  ASSERT_EQ(run(false, result), 0);
  EXPECT_EQ(result.added, 3);
  EXPECT_EQ(fileRows().size(), 5u);
}

TEST_F(CollectTest, WithClearEveryDateIsReadBecauseClearingEmptiesTheTerminal) {
  session_.stored.push_back(rec(1009, "1", 1, 7, 0));   // outside 10..11 March
  CollectResult result;
  ASSERT_EQ(run(true, result), 0);
  EXPECT_EQ(session_.askedFrom, (Date{1900, 1, 1}));
  EXPECT_EQ(session_.askedTo, (Date{2155, 12, 31}));
  EXPECT_EQ(result.outsideRange, 1);
  EXPECT_EQ(fileRows().size(), 4u);
  // Without --clear the range is read as given.
  CollectResult plain;
  ASSERT_EQ(run(false, plain), 0);
  EXPECT_EQ(session_.askedFrom, (Date{2026, 3, 10}));
}

TEST_F(CollectTest, NothingIsClearedWhenAnyStepBeforeVerificationFails) {
  struct Case {
    const char* name;
    std::function<void(CollectTest&)> arrange;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"read fails",
       [](CollectTest& t) { t.session_.readOutcome = {20009, "Failed connect the specifical machine!"}; },
       "error 20009: Failed connect the specifical machine!"},
      {"existing file is not a records file",
       [](CollectTest& t) { std::ofstream(t.path_) << "hello,world\n"; },
       "cannot use"},
      {"directory missing",
       [](CollectTest& t) { t.path_ = t.dir_ + "/missing/out.csv"; },
       "create temporary file"},
      {"stream incomplete",
       [](CollectTest& t) {
         t.transferCheck_ = [](std::size_t, std::string& why) {
           why = "the stream ended without its EOT frame";
           return false;
         };
       },
       "the read was incomplete"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    session_ = FakeSession();
    SetUp();
    transferCheck_ = nullptr;
    c.arrange(*this);
    const auto before = session_.stored;
    CollectResult result;
    EXPECT_EQ(run(true, result), 1);
    EXPECT_EQ(session_.clears, 0);
    EXPECT_EQ(session_.stored.size(), before.size());
    EXPECT_FALSE(result.cleared);
    EXPECT_NE(err_.str().find(c.message), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("not cleared"), std::string::npos) << err_.str();
  }
}

TEST_F(CollectTest, AFailedClearStillLeavesTheRecordsSavedAndSaysSo) {
  session_.clearOutcome = {20015, "Failed clear data from the specifical machine!"};
  CollectResult result;
  EXPECT_EQ(run(true, result), 1);
  EXPECT_EQ(fileRows().size(), 3u);
  EXPECT_FALSE(result.cleared);
  EXPECT_NE(err_.str().find("error 20015:"), std::string::npos);
  EXPECT_NE(err_.str().find("saved in " + path_), std::string::npos);
}

TEST_F(CollectTest, ExistingFileKeepsItsPermissions) {
  std::ofstream(path_) << "machine,employeeid,workclass,cardedtime\n";
  ASSERT_EQ(::chmod(path_.c_str(), 0640), 0);
  CollectResult result;
  ASSERT_EQ(run(false, result), 0);
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // No temporary file is left beside it.
  EXPECT_EQ(std::system(("test $(ls " + dir_ + " | wc -l) -eq 1").c_str()), 0);
}

}  // namespace
}  // namespace mvcomm::testing
