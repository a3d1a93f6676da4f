// The language server's state and its message handling, apart from any stream: bytes go in,
// frames to send come out. tavro-lsp's main loop, the tests and the fuzzer all drive it so.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "lsp/document.h"
#include "lsp/features.h"
#include "lsp/jsonrpc.h"

namespace tavro::lsp {

struct Server {
    bool initialized = false;  // initialize has been answered
    bool shutDown = false;     // shutdown has been answered: only exit is left
    bool exited = false;       // exit has come: the process ends with exitCode
    int exitCode = 1;          // 0 only when shutdown came before exit
    PositionEncoding encoding = PositionEncoding::Utf16;
    std::map<std::string, Document> documents;  // by URI
    Hints hints;
    FrameReader reader;
};

// A server before initialize, with its hints loaded.
Server makeServer();
// Handles one message's JSON text and appends the framed answers and notifications to out.
void handleMessage(Server& server, std::string_view text, std::vector<std::string>* out);
// Feeds received bytes and handles every whole frame in them (until exit).
void handleBytes(Server& server, std::string_view bytes, std::vector<std::string>* out);

}  // namespace tavro::lsp
