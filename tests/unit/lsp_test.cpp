// The language server's pieces that the golden sessions cannot reach cheaply: formatting keeps
// every program's bytes (on every example and golden source), and columns convert between bytes
// and UTF-16 both ways. The framing has its own tests (protocol_test.cpp).
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/engine.h"
#include "lsp/server.h"
#include "process.h"

using namespace tavro;
using namespace tavro::lsp;

namespace {

// Everything about an assembly that formatting must keep.
std::string outcome(const std::string& source) {
    Program p = *assemble(std::string_view(source));
    std::string text = renderAssembly(p) + "size " + std::to_string(p.codeSize) + "\n";
    text.append(reinterpret_cast<const char*>(p.image.data()), p.image.size());
    return text;
}

TEST(LspFormatting, KeepsTheBytesOfEveryExampleAndGoldenSource) {
    int formatted = 0;
    for (const char* dir : {"examples", "examples/errors", "tests/golden", "bench"}) {
        for (const auto& entry :
             std::filesystem::directory_iterator(std::string(TAVRO_SOURCE_DIR) + "/" + dir)) {
            if (entry.path().extension() != ".tas") continue;
            std::string source = readFile(entry.path());
            std::string once = formatSource(source);
            EXPECT_EQ(outcome(source), outcome(once)) << entry.path();
            EXPECT_EQ(once, formatSource(once)) << "not stable: " << entry.path();
            formatted += once != source;
        }
    }
    EXPECT_GT(formatted, 10);  // the layout did change most files
}

TEST(LspFormatting, LaysOutColumns) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"loop add ax,#1;c", "loop    add  ax, #1         ;c"},
        {" COPY AX , TABLE + c( CX )", "        COPY AX, TABLE + c( CX )"},
        {"LONGNAME1 OUT AX", "LONGNAME1 OUT  AX"},
        {"\tEND anything, here", "        END  anything, here"},
        {"   ; note  ", "   ; note"},
        {"DONE", "DONE"},
        {"X 5 ; word", "X       5                   ; word"},
    };
    for (const Case& c : cases) EXPECT_EQ(formatSource(c.in), c.out) << c.in;
}

TEST(LspDocument, ConvertsColumns) {
    Document d;
    setText(d,
            "a\xC3\xA9\xF0\x9F\x98\x80z\r\nb\xFF"
            "c\n");
    struct Case {
        int64_t line;
        int32_t byte;
        int64_t utf16;
    } cases[] = {{0, 0, 0}, {0, 1, 1},  {0, 3, 2}, {0, 7, 4},
                 {0, 8, 5}, {0, 99, 5}, {1, 2, 2}, {1, 3, 3}};
    for (const Case& c : cases) {
        EXPECT_EQ(toClientColumn(d, c.line, c.byte, PositionEncoding::Utf16), c.utf16) << c.byte;
        int32_t back = c.byte > static_cast<int32_t>(lineAt(d, c.line).size())
                           ? static_cast<int32_t>(lineAt(d, c.line).size())
                           : c.byte;
        EXPECT_EQ(toByteColumn(d, c.line, c.utf16, PositionEncoding::Utf16), back) << c.utf16;
    }
    EXPECT_EQ(toByteColumn(d, 0, 3, PositionEncoding::Utf16), 3);  // inside the pair: its start
    EXPECT_EQ(toByteColumn(d, 0, 5, PositionEncoding::Utf8), 3);   // inside a character: its start
    EXPECT_EQ(d.lineStarts, (std::vector<size_t>{0, 10, 14}));
}

}  // namespace
