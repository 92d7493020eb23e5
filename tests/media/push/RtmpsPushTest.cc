// rtmps:// through nginx's TLS front with certificates made for the test: the pusher sends the
// server's name and checks its certificate against the file in STREAMCOURIER_TLS_CA_FILE.
// A certificate it cannot trust, or one for another name, ends the connection before any
// RTMP (and so the stream key) is sent; the pusher tries again two seconds later.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "framework/memory/MemoryAllocator.h"
#include "media/push/RtmpPusher.h"
#include "platform/TempFolder.h"
#include "tests/media/push/FfTool.h"
#include "tests/media/push/LiveFeeder.h"
#include "tests/media/push/NginxServer.h"

namespace {

using streammanager::RtmpPusher;

constexpr int kToolMs = 20000;

// Runs a shell command line in `folder`; true when it exits with 0.
bool Shell(const std::string& folder, const std::string& line) {
    rtmptest::FfTool run(folder, "sh", {"-c", "cd '" + folder + "' && " + line});
    return run.Finish(kToolMs) && run.ExitCode() == 0;
}

// A test CA (ca.pem) and three server certificates with their keys: "good" for localhost and
// "wrongname" for another name, both from the CA, and "selfsigned" for localhost from no CA.
bool MakeCertificates(const std::string& folder) {
    const std::string key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    const auto signedBy = [&](const std::string& name, const std::string& host) {
        return "openssl req " + key + " -keyout " + name + ".key -out " + name +
               ".csr -subj /CN=" + host + " 2>/dev/null && openssl x509 -req -in " + name +
               ".csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -out " + name +
               ".pem -extfile ext-" + name + " 2>/dev/null";
    };
    return Shell(folder,
                 "openssl req -x509 " + key +
                     " -keyout ca.key -out ca.pem -days 2 -subj '/CN=Test CA' 2>/dev/null") &&
           Shell(folder,
                 "echo subjectAltName=DNS:localhost > ext-good && echo "
                 "subjectAltName=DNS:wrong.example > ext-wrongname") &&
           Shell(folder, signedBy("good", "localhost")) &&
           Shell(folder, signedBy("wrongname", "wrong.example")) &&
           Shell(folder, "openssl req -x509 " + key +
                             " -keyout selfsigned.key -out selfsigned.pem -days 2 -subj "
                             "/CN=localhost -addext subjectAltName=DNS:localhost 2>/dev/null");
}

TEST(RtmpsPushTest, OnlyATrustedCertificateForTheNameGetsTheStream) {
    platform::TempFolder certificates("sc-tls");
    const std::string folder = certificates.Path();
    ASSERT_TRUE(MakeCertificates(folder));
    setenv("STREAMCOURIER_TLS_CA_FILE", (folder + "/ca.pem").c_str(), 1);
    auto* allocator = new framework::MemoryAllocator();

    struct Case {
        const char* certificate;
        bool plays;
    };
    for (const Case& c :
         {Case{"good", true}, Case{"selfsigned", false}, Case{"wrongname", false}}) {
        SCOPED_TRACE(c.certificate);
        rtmptest::NginxServer server;
        server.EnableTls(folder + "/" + c.certificate + ".pem",
                         folder + "/" + c.certificate + ".key");
        ASSERT_TRUE(server.Start());
        const std::string key = std::string("key-") + c.certificate;
        RtmpPusher pusher(allocator, {});
        pusher.InitRtmpPusher(server.TlsUrl("localhost", key).c_str(), 1);
        ASSERT_TRUE(pusher.StartThread(true));
        pusher.SetVideoStatus(1);
        pusher.SetMetaData({rtmptest::kWidth, rtmptest::kHeight, rtmptest::kFrameRate});
        rtmptest::LiveFeeder feeder(&pusher);
        ASSERT_TRUE(feeder.StartThread(true));
        if (c.plays) {
            ASSERT_TRUE(server.WaitForLog("publish: name='" + key + "'", kToolMs));
            rtmptest::FfTool probe(server.Folder(), "ffprobe",
                                   {"-v", "error", "-rw_timeout", "5000000", "-show_entries",
                                    "stream=codec_name", "-of", "csv=p=0", server.Url(key)});
            ASSERT_TRUE(probe.Finish(kToolMs));
            const std::string codecs = probe.Read(".out");
            EXPECT_TRUE(codecs == "h264\naac\n" || codecs == "aac\nh264\n") << codecs;
        } else {
            // Three handshakes, two seconds apart, and no RTMP behind any of them.
            EXPECT_TRUE(server.WaitForLog("while SSL handshaking", kToolMs, 3));
            EXPECT_FALSE(server.WaitForLog(key, 0));
            EXPECT_NE(RtmpPusher::kStateConnected, pusher.GetState());
        }
        feeder.StopThread();
        pusher.StopRtmpThread();
    }
    allocator->Release();
    unsetenv("STREAMCOURIER_TLS_CA_FILE");
}

}  // namespace
