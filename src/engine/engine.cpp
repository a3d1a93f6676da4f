// The engine's loading and assembling side, and tavro's texts. Every front-end renders the
// records through these functions, so the texts exist once.
#include <sys/stat.h>

#include <cinttypes>
#include <cstdio>

#include "engine/machine_record.h"
#include "sim/trace.h"

namespace tavro {

// Lines are numbered with 32-bit integers; a larger file is refused like one that cannot be read.
constexpr long long MAX_SOURCE_SIZE = 0x7FFFFFFE;

bool loadFile(const char* path, SourceBytes* bytes) {
    struct stat status;
    if (stat(path, &status) != 0 || status.st_size <= 0 || status.st_size > MAX_SOURCE_SIZE) {
        return false;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    size_t size = static_cast<size_t>(status.st_size);
    bytes->reserve(size + 1);  // the line splitter adds one byte
    bytes->resize(size);
    size_t total = 0;
    while (total < size) {
        size_t n = std::fread(bytes->data() + total, 1, size - total, file);
        total += n;
        if (n == 0) break;
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    bytes->resize(total);
    return !failed;
}

ProgramPtr assemble(SourceBytes source, const AssembleOptions& options) {
    return std::make_shared<const Program>(assembleSource(splitSource(std::move(source)), options));
}

ProgramPtr assemble(std::string_view source, const AssembleOptions& options) {
    return assemble(SourceBytes(source.begin(), source.end()), options);
}

bool runnable(const Program& program) {
    return program.pass1Errors == 0 && !program.tooLarge && program.pass2Ran &&
           program.pass2Errors == 0;
}

const Symbol* findSymbol(const Program& program, std::string_view name) {
    std::string key;
    for (size_t i = 0; i < name.size() && i < MAX_NAME_LENGTH; i++) {
        char c = name[i];
        key += c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    }
    for (const Symbol& symbol : program.symbols) {
        if (symbol.name == key) return &symbol;
    }
    return nullptr;
}

std::string renderDiagnostic(const Diagnostic& diagnostic) {
    char number[32];
    std::snprintf(number, sizeof number, "%7ld>", static_cast<long>(diagnostic.line));
    std::string text = "*pass=" + std::to_string(diagnostic.pass) + ", " + diagnostic.message;
    text += '\n';
    text += number;
    text += diagnostic.text;
    text += '\n';
    return text;
}

std::string renderSummary(int pass, int64_t errorCount) {
    return "*** pass=" + std::to_string(pass) + " ... " + std::to_string(errorCount) + " error" +
           (errorCount == 1 ? "" : "s") + " found.\n";
}

std::string renderUndefinedLabel(const UndefinedLabel& label) {
    return "!!Undefined Label ... Memory allocated: " + label.name + " = [" +
           std::to_string(label.address) + "], Line=" + std::to_string(label.line) + "\n";
}

std::string_view tooLargeMessage() { return " ... Memory area is too large.\n"; }

std::string renderAssembly(const Program& program) {
    std::string text;
    for (const Diagnostic& diagnostic : program.diagnostics) text += renderDiagnostic(diagnostic);
    for (const UndefinedLabel& label : program.undefinedLabels) text += renderUndefinedLabel(label);
    if (program.tooLarge) text += tooLargeMessage();
    if (program.pass1Errors > 0) text += renderSummary(1, program.pass1Errors);
    if (program.tooLarge) text += renderSummary(1, 1);
    if (program.pass2Errors > 0) text += renderSummary(2, program.pass2Errors);
    return text;
}

std::string renderClosingLine(RunStatus status) {
    return std::string(">>> Program terminated. (") + RUN_STATUS_TEXTS[static_cast<int>(status)] +
           ")\n";
}

std::string renderInterruptedLine(uint32_t ip) {
    return "!!>>> Program is interrupted. IP=" + std::to_string(ip) + "\n";
}

std::string traceLine(const Machine& machine) {
    char line[TRACE_LINE_MAX];
    return std::string(line, formatTraceLine(machine.state, line));
}

}  // namespace tavro
