// The crash reporter run for real: crash_program faults in each usual way and the tests read
// what it leaves behind, the report as support reads it and the dump as lldb opens it.
#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/TempFolder.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The lines of a UTF-16LE report, each ended by CR LF, characters past ASCII as '?'.
std::vector<std::string> Lines(const std::string& utf16) {
    std::string text;
    for (size_t i = 0; i + 1 < utf16.size(); i += 2) {
        const unsigned unit =
            static_cast<unsigned char>(utf16[i]) | static_cast<unsigned char>(utf16[i + 1]) << 8;
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(lines.size()));
    EXPECT_EQ(start, text.size()) << "an unended line";
    return lines;
}

std::string After(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& line : lines) {
        if (line.rfind(prefix, 0) == 0) {
            return line.substr(prefix.size());
        }
    }
    return "<no line " + prefix + ">";
}

std::string LocalStamp(time_t when, const char* format) {
    tm parts{};
    localtime_r(&when, &parts);
    char text[64];
    std::strftime(text, sizeof(text), format, &parts);
    return text;
}

// "<section>:<offset>" of a link-time address as the report writes it, read here independently
// of the reporter from the ELF section headers; empty when no section holds it.
std::string LogicalAddress(const std::string& file, uint64_t address) {
    const std::string image = ReadFile(file);
    Elf64_Ehdr header;
    std::memcpy(&header, image.data(), sizeof(header));
    for (uint32_t i = 1; i < header.e_shnum; ++i) {
        Elf64_Shdr section;
        std::memcpy(&section, image.data() + header.e_shoff + i * sizeof(section), sizeof(section));
        if ((section.sh_flags & SHF_ALLOC) && address - section.sh_addr < section.sh_size) {
            char text[32];
            std::snprintf(text, sizeof(text), "%02X:%016llX", i,
                          static_cast<unsigned long long>(address - section.sh_addr));
            return text;
        }
    }
    return "";
}

struct Fault {
    const char* name;       // crash_program's argument
    const char* exception;  // the report's exception line, after "Exception code: "
    const char* signal;     // lldb's stop reason
    const char* function;   // the faulting function of crash_program
    bool inProgram;         // the fault (and a caller) in crash_program, not in the C library
};

class CrashReporterTest : public ::testing::Test {
  protected:
    int Run(const std::string& folder, const std::string& fault,
            const std::vector<std::string>& environment = {}) {
        platform::ChildProcess child;
        const bool ran = child.Start(SC_CRASH_PROGRAM,
                                     {"crash_program", folder, fault, addressFile_}, environment) &&
                         child.WaitExit(60000);
        return ran ? child.ExitCode() : -1;
    }
    // Every file under the log folder.
    std::vector<std::string> Files() const {
        std::vector<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(log_)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path().string());
            }
        }
        return files;
    }
    void CheckFault(const Fault& fault);
    // `lldb -b -c <dump> -o bt` (or Debian's lldb-14), its Python start-up warnings and all;
    // empty when neither is installed.
    std::string LldbBacktrace(const std::string& dump) const {
        const std::string out = temp_.Path() + "/bt";
        fs::remove(out);
        const std::string command =
            "lldb=$(command -v lldb || command -v lldb-14) && \"$lldb\" -b -c '" + dump +
            "' -o bt > " + out + " 2>&1";
        return std::system(command.c_str()) == -1 ? "" : ReadFile(out);
    }

    platform::TempFolder temp_{"sc-crash"};
    std::string log_ = temp_.Path() + "/Log";
    std::string addressFile_ = temp_.Path() + "/address";
    bool lldbFound_ = false;
};

void CrashReporterTest::CheckFault(const Fault& fault) {
    fs::remove_all(log_);
    ASSERT_TRUE(fs::create_directory(log_));
    const time_t start = time(nullptr);
    ASSERT_EQ(Run(log_ + "/", fault.name), 0);
    // The handler's clock, not time()'s coarser one, which may still show the second before.
    const time_t end = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());

    // One report and one dump in the folder of the day, named after the second of the fault.
    std::set<std::string> names;
    for (time_t t = start; t <= end; ++t) {
        names.insert(LocalStamp(t, "%Y-%m-%d/crash_program-%H-%M-%S"));
    }
    const std::vector<std::string> files = Files();
    ASSERT_EQ(files.size(), 2u);
    const std::string stem =
        files[0].substr(log_.size() + 1, files[0].rfind('.') - log_.size() - 1);
    EXPECT_EQ(names.count(stem), 1u) << stem;
    const std::string dump = log_ + "/" + stem + ".dmp";

    // UTF-16LE without a byte-order mark, every line ending in CR LF.
    const std::string bytes = ReadFile(log_ + "/" + stem + ".RPT");
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("/\0", 2));
    const std::vector<std::string> lines = Lines(bytes);
    EXPECT_EQ(After(lines, "Exception code: "), fault.exception);

    // The fault address is the faulting instruction's, placed in its module and section.
    std::istringstream where(After(lines, "Fault address:  "));
    std::string rip, logical, module;
    where >> rip >> logical >> module;
    EXPECT_EQ(After(lines, "CS:RIP:").substr(5), rip);
    const uint64_t faultAddress = std::stoull(rip, nullptr, 16);
    if (fault.inProgram) {
        EXPECT_EQ(fs::canonical(module), fs::canonical(SC_CRASH_PROGRAM));
        unsigned long long instruction = 0, base = 0;
        std::istringstream(ReadFile(addressFile_)) >> std::hex >> instruction >> base;
        if (instruction != 0) {
            EXPECT_EQ(faultAddress, instruction);
        }
        EXPECT_EQ(logical, LogicalAddress(SC_CRASH_PROGRAM, faultAddress - base));
    } else {
        EXPECT_NE(module.find("libc.so"), std::string::npos) << module;
    }

    // The call stack starts at the faulting instruction; frame pointers lead to a caller.
    size_t first = 0;
    while (first < lines.size() && lines[first].rfind("Address ", 0) != 0) {
        ++first;
    }
    ASSERT_LT(first + 1, lines.size());
    const std::string stackLine = After(lines, "SS:RSP:");
    const std::string rbp = stackLine.substr(stackLine.find("RBP:") + 4);
    EXPECT_EQ(lines[first + 1].substr(0, 36), rip + "  " + rbp + "  ");
    EXPECT_NE(lines[first + 1].find(module), std::string::npos);
    if (fault.inProgram) {
        ASSERT_LT(first + 2, lines.size());
        EXPECT_NE(lines[first + 2].find(module), std::string::npos) << "no caller";
    }

    EXPECT_EQ(ReadFile(dump).substr(0, 4), "MDMP");
    const std::string backtrace = LldbBacktrace(dump);
    lldbFound_ = !backtrace.empty();
    if (lldbFound_) {
        EXPECT_NE(backtrace.find(std::string("stop reason = signal ") + fault.signal),
                  std::string::npos)
            << backtrace;
        EXPECT_NE(backtrace.find(std::string("`(anonymous namespace)::") + fault.function),
                  std::string::npos)
            << backtrace;
    }
}

TEST_F(CrashReporterTest, EachFaultWritesReportAndDumpThenExitsWithZero) {
    const Fault faults[] = {
        {"null-write", "C0000005 ACCESS_VIOLATION", "SIGSEGV", "WriteThroughNull", true},
        {"divide-by-zero", "C0000094 INT_DIVIDE_BY_ZERO", "SIGFPE", "DivideByZero", true},
        {"abort", "00000006 SIGABRT", "SIGABRT", "CallAbort", false},
        {"illegal-instruction", "C000001D ILLEGAL_INSTRUCTION", "SIGILL", "RunIllegalInstruction",
         true},
        {"stack-overflow", "C00000FD STACK_OVERFLOW", "SIGSEGV", "OverflowStack", true},
        {"thread-null-write", "C0000005 ACCESS_VIOLATION", "SIGSEGV", "WriteThroughNull", true},
        {"thread-stack-overflow", "C00000FD STACK_OVERFLOW", "SIGSEGV", "OverflowStack", true},
        // A signal sent, not a fault at an address: an access violation all the same.
        {"sent-segv", "C0000005 ACCESS_VIOLATION", "SIGSEGV", "SendSegv", false},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        CheckFault(fault);
    }
    if (!lldbFound_) {
        GTEST_SKIP() << "lldb is not installed (scripts/setup.sh installs lldb-14)";
    }
}

// Two faults in one second (the handler's clock fixed through the program's environment): one
// report holding both, and a dump written anew over whatever was there.
TEST_F(CrashReporterTest, SameSecondAppendsToTheReportAndRewritesTheDump) {
    ASSERT_TRUE(fs::create_directory(log_));
    const time_t now = time(nullptr);
    const std::vector<std::string> clock = {"SC_CRASH_TEST_TIME=" + std::to_string(now)};
    const std::string stem = log_ + "/" + LocalStamp(now, "%Y-%m-%d/crash_program-%H-%M-%S");
    ASSERT_EQ(Run(log_, "null-write", clock), 0);
    const std::string firstReport = ReadFile(stem + ".RPT");
    ASSERT_FALSE(firstReport.empty());
    const std::string garbage(4 << 20, 'x');
    std::ofstream(stem + ".dmp", std::ios::binary) << garbage;

    ASSERT_EQ(Run(log_, "divide-by-zero", clock), 0);
    const std::string report = ReadFile(stem + ".RPT");
    EXPECT_EQ(report.substr(0, firstReport.size()), firstReport);
    const std::vector<std::string> lines = Lines(report.substr(firstReport.size()));
    EXPECT_EQ(After(lines, "Exception code: "), "C0000094 INT_DIVIDE_BY_ZERO");
    EXPECT_EQ(After(lines, ""), "//=====================================================");
    const std::string dump = ReadFile(stem + ".dmp");
    EXPECT_EQ(dump.substr(0, 4), "MDMP");
    EXPECT_LT(dump.size(), garbage.size());
    EXPECT_EQ(Files().size(), 2u);
}

TEST_F(CrashReporterTest, MissingParentFolderWritesNothingAndStillExitsWithZero) {
    ASSERT_EQ(Run(temp_.Path() + "/missing/Log/", "null-write"), 0);
    EXPECT_FALSE(fs::exists(temp_.Path() + "/missing"));
}

}  // namespace
