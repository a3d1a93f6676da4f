// Message handling by the base protocol: requests get a result or an error response (a
// malformed frame or JSON gets a ParseError with a null id), notifications get nothing back,
// unknown notifications are ignored and unknown requests answered MethodNotFound. Nothing in
// a message is trusted: every field is checked for its type before it is read, so no input
// makes the server throw, crash or wait.
#include "lsp/server.h"

namespace tavro::lsp {

// JSON-RPC and LSP error codes.
constexpr int PARSE_ERROR = -32700, INVALID_REQUEST = -32600, METHOD_NOT_FOUND = -32601,
              INVALID_PARAMS = -32602, SERVER_NOT_INITIALIZED = -32002, REQUEST_FAILED = -32803;
constexpr int MAX_JSON_DEPTH = 256;  // deeper nesting is refused before it is parsed

Server makeServer() {
    Server server;
    server.hints = loadHints();
    return server;
}

static void send(std::vector<std::string>* out, const Json& message) {
    out->push_back(frameMessage(message.dump(-1, ' ', false, Json::error_handler_t::replace)));
}

static void respond(std::vector<std::string>* out, const Json& id, Json result) {
    send(out, {{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
}

static void respondError(std::vector<std::string>* out, const Json& id, int code,
                         const std::string& message) {
    send(out, {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

static const Json* field(const Json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

static bool integerField(const Json& object, const char* key, int64_t* value) {
    const Json* j = field(object, key);
    if (j == nullptr || !j->is_number_integer()) return false;
    *value =
        j->is_number_unsigned() && j->get<uint64_t>() > INT64_MAX ? INT64_MAX : j->get<int64_t>();
    return true;
}

static const std::string* stringField(const Json& object, const char* key) {
    const Json* j = field(object, key);
    return j != nullptr && j->is_string() ? j->get_ptr<const std::string*>() : nullptr;
}

// Nesting deeper than MAX_JSON_DEPTH (counted outside strings) is refused unparsed.
static bool tooDeep(std::string_view text) {
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (inString) {
            if (c == '\\')
                i++;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > MAX_JSON_DEPTH) return true;
        } else if (c == ']' || c == '}') {
            depth--;
        }
    }
    return false;
}

static void publishDiagnostics(Server& server, const Document& document,
                               std::vector<std::string>* out) {
    send(out, {{"jsonrpc", "2.0"},
               {"method", "textDocument/publishDiagnostics"},
               {"params",
                {{"uri", document.uri},
                 {"version", document.version},
                 {"diagnostics", diagnosticsOf(document, server.hints, server.encoding)}}}});
}

static Json capabilities(Server& server) {
    return {
        {"positionEncoding", server.encoding == PositionEncoding::Utf8 ? "utf-8" : "utf-16"},
        {"textDocumentSync", {{"openClose", true}, {"change", 2}}},
        {"hoverProvider", true},
        {"definitionProvider", true},
        {"referencesProvider", true},
        {"renameProvider", {{"prepareProvider", true}}},
        {"documentSymbolProvider", true},
        {"completionProvider", Json::object()},
        {"documentFormattingProvider", true},
        {"semanticTokensProvider", {{"legend", semanticTokensLegend()}, {"full", true}}},
    };
}

static void initialize(Server& server, const Json& params) {
    server.encoding = PositionEncoding::Utf16;
    const Json* general = field(params, "capabilities");
    general = general != nullptr ? field(*general, "general") : nullptr;
    const Json* encodings = general != nullptr ? field(*general, "positionEncodings") : nullptr;
    if (encodings != nullptr && encodings->is_array()) {
        for (const Json& e : *encodings) {
            if (e.is_string() && e.get<std::string>() == "utf-8")
                server.encoding = PositionEncoding::Utf8;
        }
    }
    server.initialized = true;
}

// The notifications about documents. A malformed one is ignored, as a notification cannot be
// answered.
static void documentNotification(Server& server, const std::string& method, const Json& params,
                                 std::vector<std::string>* out) {
    const Json* item = field(params, "textDocument");
    const std::string* uri = item != nullptr ? stringField(*item, "uri") : nullptr;
    if (uri == nullptr) return;
    int64_t version = 0;
    if (method == "textDocument/didOpen") {
        const std::string* text = stringField(*item, "text");
        if (text == nullptr) return;
        Document& document = server.documents[*uri];
        document.uri = *uri;
        document.version = integerField(*item, "version", &version) ? version : 0;
        setText(document, *text);
        assembleDocument(document);
        publishDiagnostics(server, document, out);
    } else if (method == "textDocument/didChange") {
        auto it = server.documents.find(*uri);
        const Json* changes = field(params, "contentChanges");
        if (it == server.documents.end() || changes == nullptr || !changes->is_array()) return;
        Document& document = it->second;
        if (integerField(*item, "version", &version)) document.version = version;
        for (const Json& change : *changes) {
            const std::string* text = stringField(change, "text");
            if (text == nullptr) continue;
            const Json* range = field(change, "range");
            if (range == nullptr) {
                setText(document, *text);
                continue;
            }
            const Json* start = field(*range, "start");
            const Json* end = field(*range, "end");
            ClientPosition from{}, to{};
            if (start == nullptr || end == nullptr || !integerField(*start, "line", &from.line) ||
                !integerField(*start, "character", &from.character) ||
                !integerField(*end, "line", &to.line) ||
                !integerField(*end, "character", &to.character)) {
                continue;
            }
            replaceRange(document, from, to, *text, server.encoding);
        }
        assembleDocument(document);
        publishDiagnostics(server, document, out);
    } else if (method == "textDocument/didClose") {
        if (server.documents.erase(*uri) == 0) return;
        send(out, {{"jsonrpc", "2.0"},
                   {"method", "textDocument/publishDiagnostics"},
                   {"params", {{"uri", *uri}, {"diagnostics", Json::array()}}}});
    }
}

// A request on a document: finds it and the byte position named in params (if any).
struct Target {
    const Document* document = nullptr;
    int64_t line = 0;
    int32_t column = 0;
};

static bool findTarget(const Server& server, const Json& params, bool withPosition,
                       Target* target) {
    const Json* item = field(params, "textDocument");
    const std::string* uri = item != nullptr ? stringField(*item, "uri") : nullptr;
    if (uri == nullptr) return false;
    auto it = server.documents.find(*uri);
    if (it == server.documents.end()) return false;
    target->document = &it->second;
    if (!withPosition) return true;
    const Json* position = field(params, "position");
    int64_t character = 0;
    if (position == nullptr || !integerField(*position, "line", &target->line) ||
        !integerField(*position, "character", &character)) {
        return false;
    }
    if (target->line < 0 || static_cast<size_t>(target->line) >= it->second.lineStarts.size()) {
        target->line = -1;  // outside the text: nothing there
    }
    target->column = toByteColumn(it->second, target->line, character, server.encoding);
    return true;
}

static void request(Server& server, const std::string& method, const Json& id, const Json& params,
                    std::vector<std::string>* out) {
    if (method == "initialize") {
        initialize(server, params);
        respond(out, id,
                {{"capabilities", capabilities(server)},
                 {"serverInfo", {{"name", "tavro-lsp"}, {"version", TAVRO_VERSION}}}});
        return;
    }
    if (method == "shutdown") {
        server.shutDown = true;
        respond(out, id, nullptr);
        return;
    }
    bool positional = method == "textDocument/hover" || method == "textDocument/definition" ||
                      method == "textDocument/references" || method == "textDocument/rename" ||
                      method == "textDocument/prepareRename" || method == "textDocument/completion";
    bool whole = method == "textDocument/documentSymbol" || method == "textDocument/formatting" ||
                 method == "textDocument/semanticTokens/full";
    if (!positional && !whole) {
        respondError(out, id, METHOD_NOT_FOUND, "unknown method: " + method);
        return;
    }
    Target t;
    if (!findTarget(server, params, positional, &t)) {
        respondError(out, id, INVALID_PARAMS, "no open document at that position");
        return;
    }
    const Document& d = *t.document;
    PositionEncoding e = server.encoding;
    if (method == "textDocument/hover") {
        respond(out, id, hoverAt(d, t.line, t.column, e));
    } else if (method == "textDocument/definition") {
        respond(out, id, definitionAt(d, t.line, t.column, e));
    } else if (method == "textDocument/references") {
        const Json* context = field(params, "context");
        const Json* declaration =
            context != nullptr ? field(*context, "includeDeclaration") : nullptr;
        bool withDefinition =
            declaration != nullptr && declaration->is_boolean() && declaration->get<bool>();
        respond(out, id, referencesAt(d, t.line, t.column, withDefinition, e));
    } else if (method == "textDocument/prepareRename") {
        respond(out, id, renameRangeAt(d, t.line, t.column, e));
    } else if (method == "textDocument/rename") {
        const std::string* newName = stringField(params, "newName");
        if (newName == nullptr) {
            respondError(out, id, INVALID_PARAMS, "newName is missing");
            return;
        }
        std::string refusal;
        Json edit = renameAt(d, t.line, t.column, *newName, e, &refusal);
        if (edit.is_null()) {
            respondError(out, id, REQUEST_FAILED, refusal);
        } else {
            respond(out, id, edit);
        }
    } else if (method == "textDocument/completion") {
        respond(out, id, completionAt(d, t.line, t.column));
    } else if (method == "textDocument/documentSymbol") {
        respond(out, id, documentSymbols(d, e));
    } else if (method == "textDocument/formatting") {
        respond(out, id, formattingEdits(d, e));
    } else {
        respond(out, id, semanticTokensOf(d, e));
    }
}

void handleMessage(Server& server, std::string_view text, std::vector<std::string>* out) {
    if (server.exited) return;
    if (tooDeep(text)) {
        respondError(out, nullptr, PARSE_ERROR, "JSON nested too deeply");
        return;
    }
    Json message = Json::parse(text.begin(), text.end(), nullptr, false);
    if (message.is_discarded()) {
        respondError(out, nullptr, PARSE_ERROR, "invalid JSON");
        return;
    }
    const Json* id = field(message, "id");
    bool validId = id != nullptr && (id->is_number_integer() || id->is_string());
    const std::string* method = stringField(message, "method");
    if (method == nullptr || (id != nullptr && !validId)) {
        // A response from the client (it has a result or an error) needs nothing; anything
        // else is not a request.
        if (field(message, "result") == nullptr && field(message, "error") == nullptr) {
            respondError(out, validId ? *id : Json(nullptr), INVALID_REQUEST, "not a request");
        }
        return;
    }
    const Json* paramsField = field(message, "params");
    Json params = paramsField != nullptr ? *paramsField : Json::object();
    if (id == nullptr) {
        if (*method == "exit") {
            server.exited = true;
            server.exitCode = server.shutDown ? 0 : 1;
        } else if (server.initialized && !server.shutDown) {
            documentNotification(server, *method, params, out);
        }
        return;
    }
    if (!server.initialized && *method != "initialize") {
        respondError(out, *id, SERVER_NOT_INITIALIZED, "initialize first");
    } else if (server.initialized && *method == "initialize") {
        respondError(out, *id, INVALID_REQUEST, "already initialized");
    } else if (server.shutDown) {
        respondError(out, *id, INVALID_REQUEST, "the server is shutting down");
    } else {
        request(server, *method, *id, params, out);
    }
}

void handleBytes(Server& server, std::string_view bytes, std::vector<std::string>* out) {
    feedBytes(server.reader, bytes);
    std::string body;
    while (!server.exited) {
        FrameStatus status = nextFrame(server.reader, &body);
        if (status == FrameStatus::NeedMore) break;
        if (status == FrameStatus::Frame) {
            handleMessage(server, body, out);
            continue;
        }
        respondError(out, nullptr, PARSE_ERROR, "malformed frame: " + body);
        if (status == FrameStatus::TooLarge) {
            // Nothing after it can be framed: the server ends, and the editor restarts it.
            server.exited = true;
            server.exitCode = 1;
        }
    }
}

}  // namespace tavro::lsp
