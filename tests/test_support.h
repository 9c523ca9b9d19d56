// Shared helpers of the test suite.
#pragma once

#include <string>

#include "platform/testing.h"

namespace testsupport {

// The popup answer used unless a test installs its own: OK / yes, and a cancelled file dialog.
void InstallDefaultResponder();

// A fresh directory under the system's temporary directory, removed at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& content) const;

private:
    std::string path_;
};

// The directory of the test executable, where the build copies the program's resources.
std::string ResourceDir();

} // namespace testsupport
