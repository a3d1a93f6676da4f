// The protocol layer of both servers: every stream of the table gives the same frames and
// faults whether it arrives at once, cut anywhere in two, or one byte at a time; what is left at
// the end of the input is named; and a client's numbers read back as they were sent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/frame.h"
#include "protocol/json.h"

using namespace tavro::protocol;

namespace {

// What the reader gave for the pieces, in order ("frame BODY", "fault WHY", "large WHY"), and
// then what it says of the bytes left at the end.
std::vector<std::string> take(const std::vector<std::string_view>& pieces) {
    FrameReader reader;
    std::vector<std::string> taken;
    std::string text;
    for (std::string_view piece : pieces) {
        feedBytes(reader, piece);
        for (FrameStatus s; (s = nextFrame(reader, &text)) != FrameStatus::NeedMore;) {
            const char* kind = s == FrameStatus::Frame   ? "frame "
                               : s == FrameStatus::Fault ? "fault "
                                                         : "large ";
            taken.push_back(kind + text);
        }
    }
    std::string left = unfinishedFrame(reader);
    if (!left.empty()) taken.push_back("end " + left);
    return taken;
}

const std::string A = frameMessage("{\"a\":1}");
const std::string B = frameMessage("[]");
const std::string BIG = std::string("X: ") + std::string(9000, 'a');

struct Case {
    std::string stream;
    std::vector<std::string> taken;
};

const Case CASES[] = {
    {A + B, {"frame {\"a\":1}", "frame []"}},
    {"Content-Length: 7\n\n{\"a\":1}" + B, {"frame {\"a\":1}", "frame []"}},
    {"Content-Length: 2\r\n\n[]", {"frame []"}},
    {"Content-Type: x\r\ncontent-length:2 \r\n\r\n[]", {"frame []"}},
    {A + "\r\n\n" + B, {"frame {\"a\":1}", "frame []"}},
    {"Content-Length: 0\r\n\r\n" + B, {"frame ", "frame []"}},
    {"Content-Type: x\r\n\r\n" + B, {"fault the header has no Content-Length", "frame []"}},
    {"Content-Length: abc\r\nstray bytes" + B,
     {"fault the Content-Length is not a number", "frame []"}},
    {"Content-Length: -1\r\n\r\n" + B, {"fault the Content-Length is not a number", "frame []"}},
    {"Content-Length: 1 2\r\n\r\n" + B, {"fault the Content-Length is not a number", "frame []"}},
    {"Content-Length:\r\n\r\n" + B, {"fault the Content-Length is not a number", "frame []"}},
    {A + "xyz" + B, {"frame {\"a\":1}", "fault the header has no Content-Length", "frame []"}},
    {A + "{}}" + B, {"frame {\"a\":1}", "fault a header line is not a field", "frame []"}},
    {"garbage garbage\r\n\r\n" + B, {"fault a header line is not a field", "frame []"}},
    {"Content-Length: 40\r\n\r\n{\"a\"" + B,
     {"fault the body is shorter than its Content-Length", "frame []"}},
    {BIG + B, {"fault the header has no end within 8192 bytes", "frame []"}},
    {"Content-Length: 2\r\nContent-Length: 3\r\n\r\n[]" + B,
     {"fault two Content-Length fields disagree", "frame []"}},
    {"X: 1\r\n\r\nContent-Length: x\r\n\r\n" + B,
     {"fault the header has no Content-Length", "fault the Content-Length is not a number",
      "frame []"}},
    // Header text inside a JSON string has no raw line end: the body is whole.
    {frameMessage("{\"t\":\"Content-Length: 5\\r\\n\\r\\n\"}") + B,
     {"frame {\"t\":\"Content-Length: 5\\r\\n\\r\\n\"}", "frame []"}},
    {"Content-Length: 1000000000000\r\n\r\n" + B, {"large the frame is larger than 64 MiB"}},
    {"Content-Length: 67108865\r\n\r\n" + B, {"large the frame is larger than 64 MiB"}},
    {"Content-Length: 67108864\r\n\r\n" + B,
     {"fault the body is shorter than its Content-Length", "frame []"}},
    {"Content-Length: 9\r\n\r\n[1,", {"end the input ended inside a frame's body"}},
    {A + "Content-Len", {"frame {\"a\":1}", "end the input ended inside a frame's header"}},
    {"Content-Length: abc\r\n\r\nContent-Le", {"fault the Content-Length is not a number"}},
};

TEST(Framing, AnySplitGivesTheSameFramesAndFaults) {
    for (const Case& c : CASES) {
        std::string_view all = c.stream;
        EXPECT_EQ(take({all}), c.taken) << c.stream.substr(0, 80);
        for (size_t cut = 1; cut < all.size(); cut++) {
            ASSERT_EQ(take({all.substr(0, cut), all.substr(cut)}), c.taken)
                << c.stream.substr(0, 80) << " cut at " << cut;
        }
        std::vector<std::string_view> bytes;
        for (size_t i = 0; i < all.size(); i++) bytes.push_back(all.substr(i, 1));
        EXPECT_EQ(take(bytes), c.taken) << c.stream.substr(0, 80) << " byte by byte";
    }
}

TEST(Json, ReadsAClientsNumbersAsSent) {
    struct Row {
        const char* json;
        int64_t value;
    } rows[] = {
        {R"({"n": 5})", 5},
        {R"({"n": -5})", -5},
        {R"({"n": 18446744073709551615})", INT64_MAX},
        {R"({"n": 9223372036854775807})", INT64_MAX},
        {R"({"n": "5"})", 99},
        {R"({"n": 1.5})", 99},
        {R"([5])", 99},
    };
    for (const Row& r : rows) EXPECT_EQ(intField(Json::parse(r.json), "n", 99), r.value) << r.json;
}

}  // namespace
