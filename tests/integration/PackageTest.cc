// The Debian package of this build (made by the fixture test package_deb), unpacked with
// dpkg-deb into a temporary root, as an integrator ships it: the program, the framework library
// and the default pictures side by side, binaries that resolve their libraries on the system and
// carry no RPATH, and a host session run from the unpacked folder (its working folder there, no
// library path) that pushes the default picture to a real nginx with nothing mapped from the
// build or the source tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/integration/HostMedia.h"
#include "tests/integration/StreamCourierTest.h"
#include "tests/media/push/FfTool.h"
#include "tests/media/push/MediaProbe.h"
#include "tests/media/push/NginxServer.h"

namespace sctest {
namespace {

constexpr int kToolMs = rtmptest::MediaProbe::kToolMs;
constexpr const char* kInstalled = "/opt/streamcourier/bin/";

// Resource/default_video.bmp in BT.601 limited range: its blue background, the figure's head.
constexpr Yuv kPictureBackground{52, 162, 114};
constexpr Yuv kPictureFigure{212, 136, 123};

class PackageTest : public StreamCourierTest {
  protected:
    void SetUp() override {
        StreamCourierTest::SetUp();
        ASSERT_TRUE(root_.IsValid());
        ASSERT_TRUE(std::filesystem::exists(SC_PACKAGE_FILE)) << SC_PACKAGE_FILE;
        rtmptest::FfTool unpack(root_.Path(), "dpkg-deb", {"-x", SC_PACKAGE_FILE, Unpacked()});
        ASSERT_TRUE(unpack.Finish(kToolMs) && unpack.ExitCode() == 0) << unpack.Read(".err");
    }

    std::string Unpacked() const { return root_.Path() + "/unpacked"; }
    std::string Installed(const std::string& name) const { return Unpacked() + kInstalled + name; }
    // What `program args...` writes to its standard output; empty when it fails.
    std::string Output(const std::string& program, const std::vector<std::string>& args) {
        rtmptest::FfTool tool(root_.Path(), program, args);
        return tool.Finish(kToolMs) && tool.ExitCode() == 0 ? tool.Read(".out") : "";
    }
    // True when `text` names nothing in the source or the build tree.
    static AssertionResult OutsideTheTree(const std::string& text) {
        for (const char* tree : {SC_SOURCE_DIR "/", SC_BUILD_DIR "/"}) {
            if (text.find(tree) != std::string::npos) {
                return AssertionFailure() << "names " << tree << ":\n" << text;
            }
        }
        return AssertionSuccess();
    }

    platform::TempFolder root_{"sc-package"};
};

TEST_F(PackageTest, BinariesSitBesideTheirPicturesAndFindTheirLibrariesOnTheSystemAlone) {
    for (const char* file : {"StreamCourier", "qxhost", "libZivizar32.so",
                             "Resource/default_video.bmp", "Resource/unopen_audio_video.bmp"}) {
        EXPECT_TRUE(std::filesystem::is_regular_file(Installed(file))) << file;
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(
        Unpacked() + "/opt/streamcourier/share/doc/streamcourier/README.md"));
    for (const char* binary : {"StreamCourier", "qxhost", "libZivizar32.so"}) {
        const std::string libraries = Output("ldd", {Installed(binary)});
        EXPECT_NE(libraries.find("libc.so"), std::string::npos) << binary << ": " << libraries;
        EXPECT_EQ(libraries.find("not found"), std::string::npos) << binary << ": " << libraries;
        EXPECT_TRUE(OutsideTheTree(libraries)) << binary;
        const std::string dynamic = Output("readelf", {"-d", Installed(binary)});
        EXPECT_NE(dynamic.find("(NEEDED)"), std::string::npos) << binary << ": " << dynamic;
        EXPECT_EQ(dynamic.find("(RPATH)"), std::string::npos) << binary << ": " << dynamic;
        EXPECT_EQ(dynamic.find("(RUNPATH)"), std::string::npos) << binary << ": " << dynamic;
    }
}

TEST_F(PackageTest, UnpackedProgramPushesTheDefaultPictureUsingOnlyItsOwnFolder) {
    rtmptest::NginxServer server;
    ASSERT_TRUE(server.Start());
    // Nothing leads to the build: not the working folder, not a library path.
    std::filesystem::current_path(Unpacked());
    extraEnvironment_ = {"LD_LIBRARY_PATH", "LD_PRELOAD"};
    ASSERT_TRUE(StartSession(Installed("StreamCourier")));
    // The tone alone (input 100) and no picture: the canvas shows the default picture, the one
    // of an output with sound.
    ASSERT_TRUE(OpenContext({{7, 1}}));
    ASSERT_TRUE(Feed({{"--audio", "channel=1,user=7,rate=50,hz=440"}}));
    ASSERT_TRUE(Exchange(
        "<cmd id=\"4103\"><ContextID val=\"10001\" /><OutPutFrameRate val=\"15\" /><OutUrlList>"
        "<OutUrl val=\"" +
            server.Url("package") +
            "\" /></OutUrlList><CanvasSize><Width val=\"320\" /><Height val=\"180\" /></CanvasSize>"
            "<AudioInputList><Input val=\"100\" /></AudioInputList><VideoInputList /></cmd>",
        "<cmd id=\"4359\"><Result val=\"0\" /><ContextID val=\"10001\" /></cmd>"));

    // A player's view of the stream and one key frame of it.
    const rtmptest::MediaProbe probe(server.Folder(), server.Url("package"));
    EXPECT_EQ("h264 320x180, aac 48000 Hz 2 ch", probe.Summary());
    const std::vector<uint8_t> picture = probe.KeyPicture(320, 180);
    EXPECT_TRUE(ColourAt(picture, 10, 10, kPictureBackground));
    EXPECT_TRUE(ColourAt(picture, 300, 170, kPictureBackground));
    EXPECT_TRUE(ColourAt(picture, 160, 75, kPictureFigure));

    // The framework library mapped is the unpacked one, and nothing comes from the tree.
    std::stringstream maps;
    maps << std::ifstream("/proc/" + std::to_string(host_.Pid()) + "/maps").rdbuf();
    EXPECT_NE(maps.str().find(Installed("libZivizar32.so")), std::string::npos) << maps.str();
    EXPECT_TRUE(OutsideTheTree(maps.str()));

    EXPECT_TRUE(EndsWithZero());
}

}  // namespace
}  // namespace sctest
