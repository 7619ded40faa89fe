#pragma once
// A folder of the running test's own, made the working directory (the
// window's Default.cfg lives there) and the part ledger's home; the working
// directory and the ledger's home are put back and the folder removed at the end.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix)
      : before_(std::filesystem::current_path()),
        path_(std::filesystem::temp_directory_path() /
              (prefix + "-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    if (const char* data = getenv("XDG_DATA_HOME")) data_ = data;
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
    setenv("XDG_DATA_HOME", path_.c_str(), 1);
  }
  ~ScratchDir() {
    if (data_)
      setenv("XDG_DATA_HOME", data_->c_str(), 1);
    else
      unsetenv("XDG_DATA_HOME");
    std::filesystem::current_path(before_);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The working directory before.
  const std::filesystem::path& Before() const { return before_; }

 private:
  std::filesystem::path before_, path_;
  std::optional<std::string> data_;
};
