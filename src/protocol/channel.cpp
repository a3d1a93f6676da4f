// Writing frames to standard output and keeping the message log. A log line is a UTC time, a
// kind and the text; a body's raw line ends (which JSON allows only as white space) are written
// as spaces, so that every record stays one line and can be searched line by line.
#include "protocol/channel.h"

#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace tavro::protocol {

bool openLog(Log& log, const std::string& path, std::string_view program) {
    log.file = std::fopen(path.c_str(), "a");
    if (log.file == nullptr) return false;
    logRecord(&log, "start", std::string(program) + " (process " + std::to_string(getpid()) + ")");
    return true;
}

void closeLog(Log& log) {
    if (log.file != nullptr) std::fclose(log.file);
    log.file = nullptr;
}

void logRecord(Log* log, std::string_view kind, std::string_view text) {
    if (log == nullptr || log->file == nullptr) return;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    char stamp[40];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc);
    std::fprintf(log->file, "%s.%03ldZ %-5.*s ", stamp, now.tv_nsec / 1000000,
                 static_cast<int>(kind.size()), kind.data());
    for (char c : text) std::fputc(c == '\n' || c == '\r' ? ' ' : c, log->file);
    std::fputc('\n', log->file);
    // A server that is killed still leaves every record before it.
    std::fflush(log->file);
}

// Records each frame's body of bytes that frameMessage made.
static void logFrames(Log* log, std::string_view frames) {
    constexpr std::string_view FIELD = "Content-Length: ";
    while (!frames.empty()) {
        size_t end = frames.find("\r\n\r\n");
        if (frames.substr(0, FIELD.size()) != FIELD || end == std::string_view::npos) {
            return logRecord(log, "out", frames);
        }
        size_t length = 0;
        for (char c : frames.substr(FIELD.size(), end - FIELD.size())) {
            length = length * 10 + static_cast<size_t>(c - '0');
        }
        frames.remove_prefix(end + 4);
        logRecord(log, "out", frames.substr(0, length));
        frames.remove_prefix(length < frames.size() ? length : frames.size());
    }
}

bool writeFrames(Log* log, std::string_view frames) {
    if (log != nullptr && log->file != nullptr) logFrames(log, frames);
    while (!frames.empty()) {
        ssize_t n = write(STDOUT_FILENO, frames.data(), frames.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        frames.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace tavro::protocol
