// Tests of the mail-file walker on temporary trees: .snm and .toc pairs, the 1,024-byte
// limit, size and date texts, symbolic-link loops, stopping, the completion callback, and
// that rows reach only the thread that drains the poster's queue.
#include "desktop/mailfind/thread_stand.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace qm {
namespace {

namespace fs = std::filesystem;

// A queue standing in for the window thread's event loop.
class WindowQueue {
 public:
  TThreadStand::Poster poster() {
    return [this](std::function<void()> task) {
      std::lock_guard<std::mutex> lock(mu_);
      tasks_.push_back(std::move(task));
    };
  }
  void Drain() {
    std::vector<std::function<void()>> tasks;
    {
      std::lock_guard<std::mutex> lock(mu_);
      tasks.swap(tasks_);
    }
    for (auto& t : tasks) t();
  }

 private:
  std::mutex mu_;
  std::vector<std::function<void()>> tasks_;
};

class WalkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("qm_walker_" + std::to_string(getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  void Write(const std::string& rel, size_t bytes) {
    fs::path p = root_ / rel;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << std::string(bytes, 'x');
  }

  // Runs a search on the worker, draining the queue on this thread.
  void Run(const std::string& mask, const std::string& start, bool stop_first = false) {
    TThreadStand t(queue_.poster());
    t.SetMasks("*.", mask);
    t.SetRowsSink([this](std::vector<MailFileRow> rows) {
      EXPECT_EQ(std::this_thread::get_id(), window_thread_);
      for (auto& r : rows) rows_.push_back(std::move(r));
    });
    t.SetLabel([this](const std::string& s, bool folder) {
      EXPECT_EQ(std::this_thread::get_id(), window_thread_);
      // Folders walked are the walk's own paths; the closing status is one of the texts.
      EXPECT_EQ(folder, !s.empty() && s.back() == '/') << s;
      label_ = s;
    });
    t.SetCallback([this](void* user) {
      EXPECT_EQ(user, this);
      EXPECT_EQ(std::this_thread::get_id(), window_thread_);
      ++callbacks_;
    }, this);
    t.SetTexts("stopped", "Found ", " files");
    t.SetStartFolder(start);
    if (stop_first) t.Stop();
    t.Start();
    t.Wait();
    queue_.Drain();
  }

  const MailFileRow* Row(const std::string& name) const {
    for (const auto& r : rows_)
      if (r.name == name) return &r;
    return nullptr;
  }

  fs::path root_;
  WindowQueue queue_;
  std::thread::id window_thread_ = std::this_thread::get_id();
  std::vector<MailFileRow> rows_;
  std::string label_;
  int callbacks_ = 0;
};

TEST(MailTexts, SizeAndDate) {
  struct {
    uint64_t bytes;
    const char* want;
  } sizes[] = {{0, "1KB"}, {1023, "1KB"}, {1024, "2KB"}, {1024 * 999, "1,000KB"},
               {1024ull * 1234566, "1,234,567KB"}};
  for (const auto& c : sizes) EXPECT_EQ(MailSizeText(c.bytes), c.want) << c.bytes;

  std::tm tm{};
  tm.tm_year = 2001 - 1900, tm.tm_mon = 2, tm.tm_mday = 4, tm.tm_isdst = -1;
  struct {
    int hour, minute;
    const char* want;
  } times[] = {{0, 5, "2001/03/04 AM 12:05"}, {9, 30, "2001/03/04 AM 09:30"},
               {12, 0, "2001/03/04 PM 12:00"}, {23, 59, "2001/03/04 PM 11:59"}};
  for (const auto& c : times) {
    tm.tm_hour = c.hour, tm.tm_min = c.minute, tm.tm_sec = 0;
    std::tm copy = tm;
    EXPECT_EQ(MailDateText(std::mktime(&copy)), c.want);
  }
}

TEST_F(WalkerTest, SnmPairListsTheMailboxBesideIt) {
  Write("a/inbox.snm", 10);
  Write("a/inbox", 3000);
  Write("a/tiny.snm", 5000);  // no mailbox beside it: nothing measured
  Run("*.snm", root_.string());
  ASSERT_EQ(rows_.size(), 1u);
  EXPECT_EQ(rows_[0].name, "inbox");
  EXPECT_EQ(rows_[0].folder, (root_ / "a").string() + "/");
  EXPECT_EQ(rows_[0].size_text, "3KB");
  EXPECT_FALSE(rows_[0].date_text.empty());
  EXPECT_EQ(label_, "Found 1 files");
  EXPECT_EQ(callbacks_, 1);
}

TEST_F(WalkerTest, TocPairListsTheMbxCaseBlind) {
  Write("x/in.toc", 10);
  Write("x/in.mbx", 2048);
  Write("y/Out.TOC", 10);
  Write("y/Out.MBX", 4096);
  Write("z/alone.toc", 4096);  // no mailbox beside it: not listed, never a source
  Run("*.toc", root_.string() + "/");
  ASSERT_EQ(rows_.size(), 2u);
  ASSERT_NE(Row("in.mbx"), nullptr);
  EXPECT_EQ(Row("in.mbx")->size_text, "3KB");
  // The mailbox's own spelling, so that folder + caption names the file.
  ASSERT_NE(Row("Out.MBX"), nullptr);
  EXPECT_EQ(Row("Out.MBX")->size_text, "5KB");
  EXPECT_TRUE(std::filesystem::exists(Row("Out.MBX")->folder + "Out.MBX"));
}

TEST_F(WalkerTest, SmallFilesAreNotListed) {
  Write("small.mbx", 1023);
  Write("deep/er/edge.MBX", 1024);
  Run("*.mbx", root_.string());
  ASSERT_EQ(rows_.size(), 1u);
  EXPECT_EQ(rows_[0].name, "edge.MBX");
  EXPECT_EQ(rows_[0].size_text, "2KB");
}

TEST_F(WalkerTest, SymbolicLinkLoopEnds) {
  Write("d/box.mbx", 2000);
  ASSERT_EQ(symlink(root_.c_str(), (root_ / "d" / "loop").c_str()), 0);
  ASSERT_EQ(symlink((root_ / "d" / "box.mbx").c_str(), (root_ / "link.mbx").c_str()), 0);
  Run("*.mbx", root_.string());
  ASSERT_EQ(rows_.size(), 1u);
  EXPECT_EQ(rows_[0].name, "box.mbx");
  EXPECT_EQ(callbacks_, 1);
}

TEST_F(WalkerTest, StopGivesTheStoppedTextAndTheCallback) {
  Write("d/box.mbx", 2000);
  Run("*.mbx", root_.string(), /*stop_first=*/true);
  EXPECT_TRUE(rows_.empty());
  EXPECT_EQ(label_, "stopped");
  EXPECT_EQ(callbacks_, 1);
}

TEST_F(WalkerTest, EmptyOrMissingStartFolderStillCallsBack) {
  for (std::string start : {std::string(), (root_ / "missing").string()}) {
    callbacks_ = 0;
    Run("*.mbx", start);
    EXPECT_TRUE(rows_.empty());
    EXPECT_EQ(label_, "Found 0 files");
    EXPECT_EQ(callbacks_, 1) << start;
  }
}

TEST_F(WalkerTest, UnreadableFileIsNotListed) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  Write("locked.mbx", 5000);
  fs::permissions(root_ / "locked.mbx", fs::perms::none);
  Run("*.mbx", root_.string());
  EXPECT_TRUE(rows_.empty());
}

}  // namespace
}  // namespace qm
