#pragma once

#include <cstdlib>
#include <memory>

// xcb hands out replies and errors malloc'ed: this frees them whatever path leaves the scope.
struct XcbFree
{
    void operator()(void *p) const { std::free(p); }
};
template <typename T> using XcbPtr = std::unique_ptr<T, XcbFree>;
