// Source text split into numbered lines, by the loader's rules.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace tavro {

// An allocator whose resize leaves new chars uninitialised: a source is read straight into its
// buffer, and filling hundreds of megabytes with zeros first would cost as much as the reading.
template <typename T>
struct UninitializedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <typename U>
    UninitializedAllocator(const UninitializedAllocator<U>&) {}
    template <typename U>
    void construct(U* p) {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// The bytes of a source.
using SourceBytes = std::vector<char, UninitializedAllocator<char>>;

struct SourceText {
    SourceBytes text;                   // every line's characters, each line NUL-terminated
    std::vector<uint32_t> lineStarts;   // offset of each line; line k is reported as k + 1
};

// Splits bytes into lines in place: CR, LF and CR LF end lines in any mixture, and a NUL byte
// ends its line's text (the rest up to the line end is dropped, so every line keeps its
// number). There is always at least one line.
SourceText splitSource(SourceBytes bytes);

}  // namespace tavro
