// A real RTMP server for one test: nginx with the RTMP module on a free loopback port
// (application "live", live streams, no recording), with its configuration, log and pid file in
// a fresh temporary folder. Start waits until the port accepts; after Kill it can be started
// again on the same port. With a play port, players can read the streams on a second port, away
// from a limit put on the publishers' (ThrottledLoopback). The ChildProcess kills a server still
// running when it goes, before the folder is removed. Owned and used by one thread.
#pragma once

#include <csignal>
#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/ChildProcess.h"
#include "platform/Clock.h"
#include "platform/TcpSocket.h"
#include "platform/TempFolder.h"

namespace rtmptest {

class NginxServer {
  public:
    // A loopback port nobody listens on at the moment of the call (0 if none was found).
    static uint16_t FreePort() {
        platform::TcpListener listener;
        return listener.Listen("127.0.0.1", 0) ? listener.Port() : 0;
    }

    // Before Start: a TLS front on a port of its own (nginx's stream module) that hands the
    // connections on to the RTMP port, with this certificate chain and key (PEM files).
    void EnableTls(const std::string& certificate, const std::string& key) {
        tlsPort_ = FreePort();
        tls_ = "load_module /usr/lib/nginx/modules/ngx_stream_module.so;\n";
        tlsServer_ = "stream { server { listen 127.0.0.1:" + std::to_string(tlsPort_) +
                     " ssl; ssl_certificate " + certificate + "; ssl_certificate_key " + key +
                     "; proxy_pass 127.0.0.1:" + std::to_string(port_) + "; } }\n";
    }

    // Before Start: a second RTMP port of the same server, for players (PlayUrl).
    void EnablePlayPort() { playPort_ = FreePort(); }

    // Before Start: the RTMP port on every address of the machine, not the loopback's alone,
    // for publishers that reach it through another interface (Url's `host`).
    void ListenOnAllAddresses() { listenHost_ = "0.0.0.0"; }

    bool Start(int timeoutMs = 10000) {
        const std::string& folder = Folder();
        std::ofstream(folder + "/nginx.conf")
            << tls_ << "load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;\n"
            << "daemon off; master_process off; worker_processes 1;\n"
            << "error_log " << folder << "/error.log info; pid " << folder << "/nginx.pid;\n"
            << "events { worker_connections 256; }\n"
            << "rtmp { server { listen " << listenHost_ << ":" << port_ << ";"
            << (playPort_ != 0 ? " listen 127.0.0.1:" + std::to_string(playPort_) + ";" : "")
            << " application live { live on; record off; meta copy; } } }\n"
            << tlsServer_;
        process_ = std::make_unique<platform::ChildProcess>();
        return port_ != 0 &&
               process_->Start("/usr/sbin/nginx",
                               {"nginx", "-p", folder + "/", "-c", folder + "/nginx.conf"}) &&
               WaitUntil(timeoutMs, [this] {
                   platform::TcpSocket probe;
                   return probe.Connect("127.0.0.1", port_, kProbeMs) == platform::IoResult::kOk;
               });
    }
    // Ends nginx at once, as a crashed server would.
    void Kill() {
        process_->Signal(SIGKILL);
        process_->WaitExit(-1);
    }
    std::string Url(const std::string& streamKey, const std::string& host = "127.0.0.1") const {
        return "rtmp://" + host + ":" + std::to_string(port_) + "/live/" + streamKey;
    }
    // The same stream on the play port (Url's when there is none).
    std::string PlayUrl(const std::string& streamKey) const {
        const uint16_t port = playPort_ != 0 ? playPort_ : port_;
        return "rtmp://127.0.0.1:" + std::to_string(port) + "/live/" + streamKey;
    }
    uint16_t Port() const { return port_; }
    // The TLS front's URL, naming the server `host` (which resolves to this machine).
    std::string TlsUrl(const std::string& host, const std::string& streamKey) const {
        return "rtmps://" + host + ":" + std::to_string(tlsPort_) + "/live/" + streamKey;
    }
    const std::string& Folder() const { return folder_.Path(); }
    // True once nginx's error log (level info, kept across restarts) holds `text` `count`
    // times, within timeoutMs.
    bool WaitForLog(const std::string& text, int timeoutMs, size_t count = 1) {
        return WaitUntil(timeoutMs, [&] { return LogCount(text) >= count; });
    }
    // How many times nginx's error log holds `text` now.
    size_t LogCount(const std::string& text) const {
        std::stringstream read;
        read << std::ifstream(Folder() + "/error.log").rdbuf();
        const std::string log = read.str();
        size_t found = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
            ++found;
        }
        return found;
    }

  private:
    static constexpr int kProbeMs = 20;

    // Checks every kProbeMs, the pauses being waits for nginx to fail and exit.
    template <typename Check>
    bool WaitUntil(int timeoutMs, Check check) {
        const uint64_t deadline = platform::MonotonicMicros() + uint64_t{1000} * timeoutMs;
        while (!check()) {
            if (platform::MonotonicMicros() >= deadline || process_->WaitExit(kProbeMs)) {
                return false;
            }
        }
        return true;
    }

    platform::TempFolder folder_{"sc-nginx"};
    uint16_t port_ = FreePort();
    uint16_t playPort_ = 0;
    std::string listenHost_ = "127.0.0.1";
    std::unique_ptr<platform::ChildProcess> process_;
    uint16_t tlsPort_ = 0;
    std::string tls_;
    std::string tlsServer_;
};

}  // namespace rtmptest
