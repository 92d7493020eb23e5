// A real RTMP server for one test: nginx with the RTMP module, on a free loopback port, with
// its configuration, log and pid file in a fresh temporary folder (application "live", live
// streams, no recording). Start waits until the port accepts; Stop and Kill end the process by
// its pid, and the destructor stops a server that still runs. It can be started again on the
// same port. Owned and used by one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ChildProcess.h"
#include "platform/TempFolder.h"

namespace rtmptest {

class NginxServer {
  public:
    static constexpr const char* kNginx = "/usr/sbin/nginx";
    static constexpr const char* kRtmpModule = "/usr/lib/nginx/modules/ngx_rtmp_module.so";

    NginxServer();
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    // Starts nginx and waits (at most timeoutMs) until its port accepts connections.
    bool Start(int timeoutMs = 10000);
    // Asks nginx to end (SIGTERM), killing it if it has not within a few seconds.
    void Stop();
    // Ends nginx at once, as a crashed server would.
    void Kill();
    bool IsRunning() const { return process_ != nullptr && process_->IsRunning(); }

    uint16_t Port() const { return port_; }
    std::string Url(const std::string& streamKey) const;
    const std::string& Folder() const { return folder_.Path(); }
    // True once nginx's error log (level info) holds `text`, within timeoutMs.
    bool WaitForLog(const std::string& text, int timeoutMs);
    std::string ReadLog() const;

    // A loopback port nobody listens on at the moment of the call.
    static uint16_t FreePort();

  private:
    bool WriteConfiguration() const;
    bool WaitAccepting(int timeoutMs);

    platform::TempFolder folder_{"sc-nginx"};
    uint16_t port_ = 0;
    std::unique_ptr<platform::ChildProcess> process_;
};

}  // namespace rtmptest
