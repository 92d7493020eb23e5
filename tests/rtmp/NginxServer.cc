#include "tests/rtmp/NginxServer.h"

#include <csignal>
#include <fstream>
#include <sstream>

#include "platform/Clock.h"
#include "platform/TcpSocket.h"

namespace rtmptest {

namespace {

// Between two looks at something the server does, wait this long for the server to exit.
constexpr int kProbeIntervalMs = 20;
constexpr int kStopWaitMs = 3000;

uint64_t NowMs() {
    return platform::MonotonicMicros() / 1000u;
}

}  // namespace

NginxServer::NginxServer() : port_(FreePort()) {}

NginxServer::~NginxServer() {
    Stop();
}

uint16_t NginxServer::FreePort() {
    platform::TcpListener listener;
    if (!listener.Listen("127.0.0.1", 0)) {
        return 0;
    }
    return listener.Port();
}

std::string NginxServer::Url(const std::string& streamKey) const {
    return "rtmp://127.0.0.1:" + std::to_string(port_) + "/live/" + streamKey;
}

bool NginxServer::WriteConfiguration() const {
    std::ofstream out(Folder() + "/nginx.conf");
    out << "load_module " << kRtmpModule << ";\n"
        << "daemon off; master_process off; worker_processes 1;\n"
        << "error_log " << Folder() << "/error.log info; pid " << Folder() << "/nginx.pid;\n"
        << "events { worker_connections 256; }\n"
        << "rtmp { server { listen 127.0.0.1:" << port_
        << "; application live { live on; record off; } } }\n";
    return static_cast<bool>(out);
}

bool NginxServer::Start(int timeoutMs) {
    if (IsRunning() || !folder_.IsValid() || port_ == 0 || !WriteConfiguration()) {
        return false;
    }
    process_ = std::make_unique<platform::ChildProcess>();
    if (!process_->Start(kNginx, {"nginx", "-p", Folder() + "/", "-c", Folder() + "/nginx.conf"})) {
        return false;
    }
    return WaitAccepting(timeoutMs);
}

bool NginxServer::WaitAccepting(int timeoutMs) {
    const uint64_t deadline = NowMs() + static_cast<uint64_t>(timeoutMs);
    for (;;) {
        platform::TcpSocket probe;
        if (probe.Connect("127.0.0.1", port_, kProbeIntervalMs) == platform::IoResult::kOk) {
            return true;
        }
        // The pause between probes is a wait for nginx to fail and exit.
        if (NowMs() >= deadline || process_->WaitExit(kProbeIntervalMs)) {
            return false;
        }
    }
}

void NginxServer::Stop() {
    if (!IsRunning()) {
        return;
    }
    process_->Signal(SIGTERM);
    if (!process_->WaitExit(kStopWaitMs)) {
        Kill();
    }
}

void NginxServer::Kill() {
    if (IsRunning()) {
        process_->Signal(SIGKILL);
        process_->WaitExit(-1);
    }
}

std::string NginxServer::ReadLog() const {
    std::ifstream in(Folder() + "/error.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool NginxServer::WaitForLog(const std::string& text, int timeoutMs) {
    const uint64_t deadline = NowMs() + static_cast<uint64_t>(timeoutMs);
    for (;;) {
        if (ReadLog().find(text) != std::string::npos) {
            return true;
        }
        if (NowMs() >= deadline || !IsRunning() || process_->WaitExit(kProbeIntervalMs)) {
            return false;
        }
    }
}

}  // namespace rtmptest
