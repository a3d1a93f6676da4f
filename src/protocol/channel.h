// Standard output and the message log of the protocol servers. Both servers write their frames
// through writeFrames, and with --log FILE both record every message in and out, and every
// framing fault, one line each, so that an editor's session can be read back afterwards.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tavro::protocol {

struct Log {
    std::FILE* file = nullptr;  // appended to; nullptr when no log was asked for
};

// Opens path for appending and records the start of program; false when it cannot be opened.
bool openLog(Log& log, const std::string& path, std::string_view program);
// Closes the log, if one is open.
void closeLog(Log& log);
// Records one line: kind ("in", "out", "fault") and text; nothing when log is null or closed.
void logRecord(Log* log, std::string_view kind, std::string_view text);
// Writes whole frames to standard output, through short writes and signals, and records each
// frame's body in the log; false when standard output is gone.
bool writeFrames(Log* log, std::string_view frames);

}  // namespace tavro::protocol
