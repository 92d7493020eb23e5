// A slow uplink on the loopback, in a network namespace of the process's own: an htb root whose
// default class is unlimited, and a class (rate = ceil, a pfifo under it, a u32 filter) for each
// throttled TCP destination port, so that only what is sent to that port is limited. The
// loopback gets an uplink's 1500-byte MTU (on 64 KiB one segment would take most of a second
// through a few hundred kbit/s). `ip` and `tc` run as child processes; their errors become the
// reason a call gives. Enter is called once, from the main thread before any other thread or
// child starts, and needs root. An instance owns the htb root it adds (removed by its
// destructor) and its classes; one thread.
#pragma once

#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/TempFolder.h"
#include "tests/media/push/FfTool.h"

namespace rtmptest {

class ThrottledLoopback {
  public:
    // Moves this process into a new network namespace with `lo` up. False, with `reason`,
    // when this machine cannot (not root, no unshare, no `ip` or `tc`, no htb).
    static bool Enter(std::string* reason) {
        if (geteuid() != 0) {
            *reason = "not root: a network namespace and tc need root";
            return false;
        }
        if (unshare(CLONE_NEWNET) != 0) {
            *reason = std::string("unshare(CLONE_NEWNET) failed: ") + std::strerror(errno);
            return false;
        }
        // htb tried once on the fresh loopback, so that a missing kernel module shows here.
        return Run({"ip", "link", "set", "dev", "lo", "mtu", "1500", "up"}, reason) &&
               Run({"tc", "qdisc", "add", "dev", "lo", "root", "handle", "1:", "htb"}, reason) &&
               Run({"tc", "qdisc", "del", "dev", "lo", "root"}, reason);
    }

    ThrottledLoopback() = default;
    ~ThrottledLoopback() {
        if (rooted_) {
            std::string ignored;
            Run({"tc", "qdisc", "del", "dev", "lo", "root"}, &ignored);
        }
    }
    ThrottledLoopback(const ThrottledLoopback&) = delete;
    ThrottledLoopback& operator=(const ThrottledLoopback&) = delete;

    // Limits what is sent to TCP port `port` to `kbit` kbit/s with a queue of `queuePackets`;
    // a port limited before gets the new rate. False with `reason` when tc refused.
    bool Throttle(uint16_t port, uint32_t kbit, uint32_t queuePackets, std::string* reason) {
        return AddRoot(reason) &&
               (classes_.count(port) != 0 ? SetRate(classes_[port], kbit, reason)
                                          : AddClass(port, kbit, queuePackets, reason));
    }

    // Lifts the limit on `port`: its class goes to the unlimited rate, so what waits in its
    // queue leaves at once and nothing is dropped.
    bool Clear(uint16_t port, std::string* reason) {
        const auto found = classes_.find(port);
        return found == classes_.end() || SetRate(found->second, kUnlimitedKbit, reason);
    }

    // Runs an iproute2 program (from PATH); false with its error text when it fails.
    static bool Run(const std::vector<std::string>& command, std::string* reason) {
        platform::TempFolder folder("sc-tc");
        FfTool run(folder.Path(), command[0], {command.begin() + 1, command.end()});
        if (run.Finish(10000) && run.ExitCode() == 0) {
            return true;
        }
        std::string joined;
        for (const std::string& word : command) {
            joined += (joined.empty() ? "" : " ") + word;
        }
        *reason = run.ExitCode() == 127 ? "`" + command[0] + "` is missing (package iproute2)"
                                        : "`" + joined + "` failed: " + run.Read(".err");
        return false;
    }

  private:
    static constexpr uint32_t kUnlimitedKbit = 100000000;  // 100 Gbit/s

    static std::string Rate(uint32_t kbit) { return std::to_string(kbit) + "kbit"; }

    // The htb root on the first limit; unclassified packets go to the unlimited class 1:1.
    bool AddRoot(std::string* reason) {
        if (rooted_) {
            return true;
        }
        rooted_ =
            Run({"tc", "qdisc", "add", "dev", "lo", "root", "handle", "1:", "htb", "default", "1"},
                reason) &&
            Run({"tc", "class", "add", "dev", "lo", "parent", "1:", "classid", "1:1", "htb", "rate",
                 Rate(kUnlimitedKbit), "quantum", "200000"},
                reason);
        return rooted_;
    }

    bool AddClass(uint16_t port, uint32_t kbit, uint32_t queuePackets, std::string* reason) {
        const std::string id = "1:" + std::to_string(nextClass_);
        const std::string queue = std::to_string(nextClass_) + ":";
        const bool added =
            Run({"tc", "class", "add", "dev", "lo", "parent", "1:", "classid", id, "htb", "rate",
                 Rate(kbit), "ceil", Rate(kbit), "quantum", "1514"},
                reason) &&
            Run({"tc", "qdisc", "add", "dev", "lo", "parent", id, "handle", queue, "pfifo", "limit",
                 std::to_string(queuePackets)},
                reason) &&
            Run({"tc", "filter", "add", "dev", "lo", "parent", "1:", "protocol", "ip", "prio", "1",
                 "u32", "match", "ip", "dport", std::to_string(port), "0xffff", "flowid", id},
                reason);
        if (added) {
            classes_[port] = id;
            ++nextClass_;
        }
        return added;
    }

    static bool SetRate(const std::string& id, uint32_t kbit, std::string* reason) {
        return Run(
            {"tc", "class", "change", "dev", "lo", "parent", "1:", "classid", id, "htb", "rate",
             Rate(kbit), "ceil", Rate(kbit), "quantum", kbit == kUnlimitedKbit ? "200000" : "1514"},
            reason);
    }

    bool rooted_ = false;
    uint32_t nextClass_ = 10;
    std::map<uint16_t, std::string> classes_;  // port -> its class id
};

}  // namespace rtmptest
