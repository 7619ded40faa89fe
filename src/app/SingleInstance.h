#pragma once
// Keeps a second copy of the program from starting: the first copy holds an
// flock on a lock file in the user's runtime directory. The lock goes with the
// process, so a file left behind by a crashed run does not block a new start.

#include <filesystem>
#include <string>

class SingleInstance {
 public:
  enum class Outcome { Acquired, HeldElsewhere, Failed };

  // dir empty: RuntimeDir(). The lock is held until the object is destroyed.
  explicit SingleInstance(const std::string& name = "RunOnlyOneInstance",
                          const std::filesystem::path& dir = {});
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  bool Acquired() const { return outcome_ == Outcome::Acquired; }
  Outcome Result() const { return outcome_; }
  int SystemError() const { return error_; }  // errno of the failing call (Failed)
  const std::filesystem::path& LockPath() const { return path_; }

  // $XDG_RUNTIME_DIR when it is an absolute directory, else a private
  // /tmp/<uid>-qel-writer (created 0700, refused when not ours).
  static std::filesystem::path RuntimeDir();

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  int error_ = 0;
  Outcome outcome_ = Outcome::Failed;
};
