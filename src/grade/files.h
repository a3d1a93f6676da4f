// The command's files: where --output may write and how, and which submissions on a command
// line are the same file.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavro {

enum class OutputKind : uint8_t {
    Stdout,   // no --output
    Through,  // an existing device, FIFO or socket (or a link to one): written as `>` would
    Atomic,   // a regular file: a temporary file beside it, renamed over it when complete
};

struct OutputTarget {
    OutputKind kind = OutputKind::Stdout;
    std::string path;       // the file written: the path given, or the file that its link names
    std::string temporary;  // Atomic: the temporary file while it exists
    int fd = -1;            // Atomic: the temporary file, open from openOutput on
    unsigned mode = 0;      // Atomic: the permissions the report gets
};

// Decides how the report goes to path; "" when it may, else why not: a report never replaces
// a submission (a file or a folder's .tas files), a file inside the suite folder or a folder.
std::string planOutput(const std::string& path, const std::string& suite,
                       const std::vector<std::string>& submissions, OutputTarget* target);
// Makes the temporary file of an Atomic target (before grading, so that a folder that cannot
// be written is known at once); "" or why not.
std::string openOutput(OutputTarget* target);
// Writes the report and puts it in place; "" or why not. A write waiting on a FIFO or device
// gives up when *interrupt becomes non-zero.
std::string finishOutput(OutputTarget* target, std::string_view report,
                         const std::atomic<int>* interrupt);
// Removes the temporary file, if any (an interrupted or failed report).
void abandonOutput(OutputTarget* target);
// The submissions without repeats of one file (or folder) given twice, in their order; a
// warning for each repeat left out.
std::vector<std::string> uniqueSubmissions(const std::vector<std::string>& paths,
                                           std::vector<std::string>* warnings);

}  // namespace tavro
