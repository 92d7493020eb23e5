#include "base/FrameworkLoader.h"

#include <gtest/gtest.h>

// The loader keeps a loaded framework for the life of the process, so this binary only
// exercises the paths that load nothing; the real library is loaded by the program's tests.
namespace {

TEST(FrameworkLoader, MissingLibraryOverlongFolderAndLibraryWithoutEntryLoadNothing) {
    IUnknown* root = nullptr;
    EXPECT_EQ(E_FAIL, FWInitFrameWorkFromPath(0, "/nonexistent/folder/", "/nonexistent/", &root));
    const std::string folder = "/" + std::string(300, 'a') + "/";
    EXPECT_EQ(E_FAIL, FWInitFrameWorkFromPath(0, folder.c_str(), nullptr, &root));
    // The executable's folder is tried first and has no library, then the given folder.
    EXPECT_EQ(E_NOINTERFACE, FWInitFrameWorkFromPath(0, NO_ENTRY_FOLDER, "", &root));
    EXPECT_EQ(nullptr, root);
    EXPECT_EQ(E_POINTER, FWInitFrameWorkFromPath(0, NO_ENTRY_FOLDER, "", nullptr));
}

}  // namespace
