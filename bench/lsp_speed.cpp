// tavro_lsp_speed: how long tavro-lsp takes from a change to its diagnostics on a large file.
// Opens a generated 5,000-line program (labels, every instruction shape, data words, comments)
// in a server, then sends one-character changes that break and mend a line in the middle,
// timing each didChange message from its arrival to its publishDiagnostics frame (applying the
// change, assembling the whole file, building and serialising the diagnostics).
//   tavro_lsp_speed [lines] [changes] [limit in ms]   exits 1 when the median exceeds the limit
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "lsp/server.h"

using namespace tavro::lsp;

static std::string makeProgram(int lines) {
    static const char* const BODY[] = {
        "        COPY AX, TABLE+c(CX) ; load",
        "        ADD AX, #1",
        "        COPY c(BX), AX",
        "        CMP AX, LIMIT",
        "        JB L%d",
        "        CALL S%d",
        "        PUSH AX",
        "        POP AX",
        "; a comment line",
        "        COPY COUNT%d, AX",
    };
    std::string text;
    char line[96];
    int n = 0;
    for (; n < lines - 4; n++) {
        if (n % 10 == 0) {
            std::snprintf(line, sizeof line, "L%d      OUT AX\nS%d      RTN", n / 10, n / 10);
            n++;
        } else {
            std::snprintf(line, sizeof line, BODY[n % 10], (n / 10) % 90, (n / 10) % 90);
        }
        text += line;
        text += '\n';
    }
    text += "        END\nTABLE   RES 20\nLIMIT   1000\nCOUNT   0\n";
    return text;
}

static std::string frame(const Json& message) { return frameMessage(message.dump()); }

int main(int argc, char** argv) {
    int lines = argc > 1 ? std::atoi(argv[1]) : 5000;
    int changes = argc > 2 ? std::atoi(argv[2]) : 200;
    double limit = argc > 3 ? std::atof(argv[3]) : 20.0;
    Server server = makeServer();
    std::vector<std::string> out;
    const char* uri = "file:///bench.tas";
    handleBytes(
        server,
        frame(
            {{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}, {"params", Json::object()}}),
        &out);
    std::string text = makeProgram(lines);
    handleBytes(
        server,
        frame({{"jsonrpc", "2.0"},
               {"method", "textDocument/didOpen"},
               {"params",
                {{"textDocument",
                  {{"uri", uri}, {"languageId", "tavro"}, {"version", 1}, {"text", text}}}}}}),
        &out);
    std::vector<double> times, cpuTimes;
    size_t published = 0;
    int middle = lines / 2 + 1;  // an ADD line: a ';' before its comma breaks it, and back
    for (int i = 0; i < changes; i++) {
        Json range = {{"start", {{"line", middle}, {"character", 14}}},
                      {"end", {{"line", middle}, {"character", i % 2 == 0 ? 14 : 15}}}};
        std::string message =
            frame({{"jsonrpc", "2.0"},
                   {"method", "textDocument/didChange"},
                   {"params",
                    {{"textDocument", {{"uri", uri}, {"version", i + 2}}},
                     {"contentChanges", {{{"range", range}, {"text", i % 2 == 0 ? "x" : ""}}}}}}});
        out.clear();
        // Wall-clock time is what the user waits; the thread's CPU time is what the server
        // spends, apart from a busy machine's scheduling.
        timespec cpuStart{}, cpuEnd{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuStart);
        auto start = std::chrono::steady_clock::now();
        handleBytes(server, message, &out);
        auto end = std::chrono::steady_clock::now();
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuEnd);
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        cpuTimes.push_back((cpuEnd.tv_sec - cpuStart.tv_sec) * 1e3 +
                           (cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e6);
        published += out.size();
        if (std::getenv("TAVRO_BENCH_VERBOSE")) std::printf("%d %.2f\n", i, times.back());
    }
    std::sort(times.begin(), times.end());
    std::sort(cpuTimes.begin(), cpuTimes.end());
    double median = times[times.size() / 2];
    std::printf(
        "%d lines (%zu bytes), %d changes, from a change to its diagnostics:\n"
        "  wall clock: median %.2f ms, 90th percentile %.2f ms, max %.2f ms\n"
        "  CPU:        median %.2f ms, 90th percentile %.2f ms, max %.2f ms\n",
        lines, text.size(), changes, median, times[times.size() * 9 / 10], times.back(),
        cpuTimes[cpuTimes.size() / 2], cpuTimes[cpuTimes.size() * 9 / 10], cpuTimes.back());
    return median <= limit && published == static_cast<size_t>(changes) ? 0 : 1;
}
