#pragma once
// Runs a test in a folder of its own: makes a fresh temporary folder, makes it
// the process's working folder, and on destruction changes back to the folder
// it came from and removes the temporary one with everything in it.
// A test never runs on in a folder it did not mean to be in: when either
// change of folder fails, the program stops.
#include <string>

namespace mireva::testing {

class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& prefix = "mireva-test");
  ~WorkingFolder();
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

  // The absolute path of the temporary folder.
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

}  // namespace mireva::testing
