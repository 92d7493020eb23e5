// Installs a logger that keeps every line written through SC_LOG, from any thread, with the
// monotonic time it was written, and puts the previous logger back when it goes. Install it
// before the threads under test start and let it go after they have ended. mutex_ guards the
// lines; tests wait on them with a bounded time-out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "base/Log.h"
#include "platform/Clock.h"

namespace sctest {

class LogRecorder : private ILogger {
  public:
    struct Line {
        std::string text;
        uint64_t micros = 0;
    };

    LogRecorder() : savedLogger_(g_logger), savedModule_(g_logModule) {
        g_logger = this;
        g_logModule = 1;
    }
    ~LogRecorder() override {
        g_logger = savedLogger_;
        g_logModule = savedModule_;
    }
    LogRecorder(const LogRecorder&) = delete;
    LogRecorder& operator=(const LogRecorder&) = delete;

    // Every line's text, in the order they were written.
    std::vector<std::string> Texts() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> texts;
        for (const Line& line : lines_) {
            texts.push_back(line.text);
        }
        return texts;
    }
    // The lines that contain `fragment`, in the order they were written.
    std::vector<Line> Matching(const std::string& fragment) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Line> found;
        for (const Line& line : lines_) {
            if (line.text.find(fragment) != std::string::npos) {
                found.push_back(line);
            }
        }
        return found;
    }
    size_t Count(const std::string& fragment) { return Matching(fragment).size(); }
    // True once `count` lines contain `fragment`, within timeoutMs.
    bool WaitFor(const std::string& fragment, size_t count, int timeoutMs) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            size_t found = 0;
            for (const Line& line : lines_) {
                found += line.text.find(fragment) != std::string::npos ? 1 : 0;
            }
            return found >= count;
        });
    }

  private:
    class Record : public ILogRecord {
      public:
        explicit Record(LogRecorder* owner) : owner_(owner) {}
        void Format(const char* format, ...) override {
            va_list args;
            va_start(args, format);
            FormatV(format, args);
            va_end(args);
        }
        void FormatV(const char* format, va_list args) override {
            char text[4096];
            std::vsnprintf(text, sizeof(text), format, args);
            text_ += text;
        }
        void FormatW(const wchar_t*, ...) override {}
        void Release() override {
            owner_->Add(text_);
            delete this;
        }

      private:
        LogRecorder* owner_;
        std::string text_;
    };

    uint32_t GetModuleLevel(uint32_t) override { return kLogLevelInfo; }
    ILogRecord* BeginRecord(uint32_t, uint32_t, const char*, uint32_t) override {
        return new Record(this);
    }
    void Add(const std::string& text) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(Line{text, platform::MonotonicMicros()});
        }
        changed_.notify_all();
    }

    ILogger* savedLogger_;
    uint32_t savedModule_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Line> lines_;
};

}  // namespace sctest
