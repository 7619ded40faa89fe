#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/SingleInstance.h"

namespace {

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("single-instance-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(SingleInstanceTest, SecondGuardFailsUntilTheFirstIsReleased) {
  auto first = std::make_unique<SingleInstance>("RunOnlyOneInstance", dir_);
  ASSERT_TRUE(first->Acquired());
  EXPECT_EQ(first->LockPath(), dir_ / "RunOnlyOneInstance");
  {
    SingleInstance second("RunOnlyOneInstance", dir_);
    EXPECT_FALSE(second.Acquired());
    EXPECT_EQ(second.Result(), SingleInstance::Outcome::HeldElsewhere);
  }
  first.reset();
  SingleInstance third("RunOnlyOneInstance", dir_);
  EXPECT_TRUE(third.Acquired());
}

TEST_F(SingleInstanceTest, FileLeftByACrashedRunDoesNotBlock) {
  std::ofstream(dir_ / "RunOnlyOneInstance") << "12345\n";
  SingleInstance guard("RunOnlyOneInstance", dir_);
  EXPECT_TRUE(guard.Acquired());
}

TEST_F(SingleInstanceTest, UnusableLockFileIsAFailureNotAnotherCopy) {
  // A link planted where the lock file goes is not followed.
  std::filesystem::create_symlink(dir_ / "elsewhere", dir_ / "RunOnlyOneInstance");
  SingleInstance guard("RunOnlyOneInstance", dir_);
  EXPECT_EQ(guard.Result(), SingleInstance::Outcome::Failed);
  EXPECT_NE(guard.SystemError(), 0);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "elsewhere"));

  SingleInstance missing("RunOnlyOneInstance", dir_ / "no-such-dir");
  EXPECT_EQ(missing.Result(), SingleInstance::Outcome::Failed);
}

TEST(SingleInstanceRuntimeDir, PrefersAPrivateXdgRuntimeDir) {
  const char* old = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = old ? old : "";
  auto dir = std::filesystem::temp_directory_path() / ("xdg-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  EXPECT_EQ(SingleInstance::RuntimeDir(), dir);

  // A directory everyone may write to is not used.
  std::filesystem::permissions(dir, std::filesystem::perms::all);
  EXPECT_NE(SingleInstance::RuntimeDir(), dir);
  setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
  EXPECT_EQ(SingleInstance::RuntimeDir().string().rfind("/tmp/", 0), 0u);

  if (old) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1); else unsetenv("XDG_RUNTIME_DIR");
  std::filesystem::remove_all(dir);
}

}  // namespace
