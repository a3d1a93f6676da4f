// libFuzzer target for tavro-lsp's message handling. The first byte picks a mode: raw bytes
// through the framing, JSON and methods of an initialized server; or the rest as a document
// (any bytes, carried as JSON text), opened, changed and then asked every request at positions
// drawn from its own bytes. Nothing may crash, throw, hang or answer with something that is
// not a frame.
#include <cstddef>
#include <cstdint>
#include <string>

#include "lsp/server.h"

using namespace tavro::lsp;

static std::string request(int id, const char* method, const Json& params) {
    Json message = {{"jsonrpc", "2.0"}, {"method", method}, {"params", params}};
    if (id > 0) message["id"] = id;
    return frameMessage(message.dump(-1, ' ', false, Json::error_handler_t::replace));
}

static void check(const std::vector<std::string>& out) {
    for (const std::string& frame : out) {
        if (frame.rfind("Content-Length: ", 0) != 0) __builtin_trap();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    Server server = makeServer();
    std::vector<std::string> out;
    bool utf8 = (data[0] & 2) != 0;
    Json capabilities =
        utf8 ? Json{{"general", {{"positionEncodings", {"utf-8"}}}}} : Json::object();
    handleBytes(server, request(1, "initialize", {{"capabilities", capabilities}}), &out);
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    if ((data[0] & 1) == 0) {
        handleBytes(server, rest, &out);
        check(out);
        return 0;
    }
    const char* uri = "file:///f.tas";
    handleBytes(
        server,
        request(0, "textDocument/didOpen",
                {{"textDocument",
                  {{"uri", uri}, {"languageId", "tavro"}, {"version", 1}, {"text", rest}}}}),
        &out);
    int64_t line = size > 1 ? data[1] % 16 : 0;
    int64_t character = size > 2 ? data[2] % 40 : 0;
    Json position = {{"textDocument", {{"uri", uri}}},
                     {"position", {{"line", line}, {"character", character}}}};
    handleBytes(server,
                request(0, "textDocument/didChange",
                        {{"textDocument", {{"uri", uri}, {"version", 2}}},
                         {"contentChanges",
                          {{{"range",
                             {{"start", position["position"]},
                              {"end", {{"line", line + 1}, {"character", 2}}}}},
                            {"text", rest.substr(0, 8)}}}}}),
                &out);
    int id = 2;
    for (const char* method :
         {"textDocument/hover", "textDocument/definition", "textDocument/references",
          "textDocument/prepareRename", "textDocument/completion"}) {
        handleBytes(server, request(id++, method, position), &out);
    }
    Json rename = position;
    rename["newName"] = rest.substr(0, 9);
    handleBytes(server, request(id++, "textDocument/rename", rename), &out);
    for (const char* method : {"textDocument/documentSymbol", "textDocument/formatting",
                               "textDocument/semanticTokens/full"}) {
        handleBytes(server, request(id++, method, {{"textDocument", {{"uri", uri}}}}), &out);
    }
    check(out);
    return 0;
}
