// A fresh, private folder under $TMPDIR (else /tmp), removed with everything in it when the
// object goes away. Owned and used by one thread.
#pragma once

#include <string>

namespace platform {

class TempFolder {
  public:
    // `prefix` starts the folder's name; Path() is empty when the folder could not be made.
    explicit TempFolder(const std::string& prefix = "sc");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder's absolute path, without a trailing "/".
    const std::string& Path() const { return path_; }
    bool IsValid() const { return !path_.empty(); }

  private:
    std::string path_;
};

}  // namespace platform
