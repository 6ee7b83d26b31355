// Ownership of kernel handles: closed when their owner goes out of scope.
#pragma once

#include <windows.h>

#include <memory>

namespace zuv {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// Takes a handle as CreateFileW and its kin return it: INVALID_HANDLE_VALUE owns nothing.
inline UniqueHandle Owned(HANDLE handle) {
    return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// A FindFirstFileW search, ended with FindClose.
struct FindCloser {
    void operator()(HANDLE search) const { FindClose(search); }
};
using UniqueFind = std::unique_ptr<void, FindCloser>;

}  // namespace zuv
