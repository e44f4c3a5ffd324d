// Safe replacement: content, kept mode, no temporary files left, old file whole on failure.
#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "testsupport/test_files.h"

namespace fs = std::filesystem;

namespace {

class AtomicFile : public ::testing::Test {
 protected:
  std::string read(const std::string& p) const {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  size_t entries() const { return size_t(std::distance(fs::directory_iterator(dir_), fs::directory_iterator())); }
  qm::test::TempDir tmp_{"qm-atomic-"};
  std::string dir_ = tmp_.dir(), file_ = dir_ + "/vesprin.ini";
};

TEST_F(AtomicFile, ReplacesKeepingModeAndLeavesNoTemporary) {
  std::ofstream(file_) << "old";
  ASSERT_EQ(chmod(file_.c_str(), 0640), 0);
  std::string error;
  ASSERT_TRUE(qm::atomic_replace(file_, "[VESPRIN]\r\nSearcher=1\r\n", &error)) << error;
  EXPECT_EQ(read(file_), "[VESPRIN]\r\nSearcher=1\r\n");
  struct stat st;
  ASSERT_EQ(stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(entries(), 1u);

  ASSERT_TRUE(qm::atomic_replace(dir_ + "/new.dat", ""));  // a new, empty file
  EXPECT_TRUE(fs::exists(dir_ + "/new.dat"));
}

TEST_F(AtomicFile, AbandonedOrRefusedWriteLeavesOldFile) {
  std::ofstream(file_) << "old";
  {
    qm::AtomicFileWriter w;
    ASSERT_TRUE(w.open(file_));
    std::fputs("half written", w.file());
  }  // never committed
  EXPECT_EQ(read(file_), "old");
  EXPECT_EQ(entries(), 1u);

  fs::create_directory(dir_ + "/sub");
  std::string error;
  EXPECT_FALSE(qm::atomic_replace(dir_ + "/sub", "x", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(qm::atomic_replace(dir_ + "/absent/x", "x"));
}

TEST_F(AtomicFile, WriteFailureKeepsOldFileAndRemovesTemporary) {
  std::ofstream(file_) << "old";
  // In a child: a file-size limit makes the write itself fail part way.
  EXPECT_EXIT(
      {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit rl;
        rl.rlim_cur = rl.rlim_max = 4096;
        setrlimit(RLIMIT_FSIZE, &rl);
        bool ok = qm::atomic_replace(file_, std::string(100000, 'x'));
        bool kept = read(file_) == "old";
        std::exit(!ok && kept && entries() == 1 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(AtomicFile, SymbolicLinkReplacesItsTarget) {
  std::ofstream(file_) << "old";
  fs::create_symlink(file_, dir_ + "/link.ini");
  ASSERT_TRUE(qm::atomic_replace(dir_ + "/link.ini", "new"));
  EXPECT_TRUE(fs::is_symlink(dir_ + "/link.ini"));
  EXPECT_EQ(read(file_), "new");
}

}  // namespace
