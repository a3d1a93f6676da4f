// Fuzzes tavro-dap's message handling: frames, requests and their arguments, on a session that
// has launched a small program (a loop, a call, IN without an input file, data) and stands at
// its entry. Input: the first byte chooses how the rest is sent: odd, as raw bytes, frames and
// all; even, as message bodies, one per line, each framed correctly. Runs advance a bounded
// number of slices after each message, so that an endless run ends the input, not the fuzzer.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "dap/requests.h"

static std::string programPath;

static const char PROGRAM[] =
    "        IN BX\n"
    "LOOP    ADD CX, #1\n"
    "        COPY AX, CX\n"
    "        CALL SQUARE\n"
    "        COPY TOTAL, AX\n"
    "        OUT AX\n"
    "        CMP CX, BX\n"
    "        JB LOOP\n"
    "        END\n"
    "SQUARE  PUSH BX\n"
    "        MUL AX, AX\n"
    "        POP BX\n"
    "        RTN\n"
    "TOTAL   0\n"
    "TABLE   RES 4\n";

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    int fd = memfd_create("tavro-dap-program", 0);
    if (fd < 0 ||
        write(fd, PROGRAM, sizeof PROGRAM - 1) != static_cast<ssize_t>(sizeof PROGRAM - 1)) {
        std::perror("dap_fuzzer: memory file");
        _exit(1);
    }
    programPath = "/proc/self/fd/" + std::to_string(fd);
    return 0;
}

static void send(tavro::Session& s, std::string_view body) {
    std::string frame = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    frame += body;
    tavro::receiveBytes(s, frame);
    for (int slice = 0; slice < 16 && tavro::running(s); slice++) tavro::advance(s);
    s.outbox.clear();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    auto session = std::make_unique<tavro::Session>();
    tavro::Session& s = *session;
    s.sliceSteps = 1024;
    send(s, R"({"seq":1,"type":"request","command":"initialize","arguments":{}})");
    send(s, R"({"seq":2,"type":"request","command":"launch","arguments":{"program":")" +
                programPath + R"(","stopOnEntry":true,"seed":1}})");
    send(s, R"({"seq":3,"type":"request","command":"configurationDone"})");
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) {
        tavro::receiveBytes(s, rest);
        for (int slice = 0; slice < 16 && tavro::running(s); slice++) tavro::advance(s);
        return 0;
    }
    while (!rest.empty() && !s.quit) {
        size_t end = rest.find('\n');
        send(s, rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    return 0;
}
