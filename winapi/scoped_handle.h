// Move-only ownership of Win32 handles: one template, one traits type per kind of handle, so
// that every handle is closed exactly once on every path.
#pragma once

#include <utility>

#include "winapi.h"

namespace winapi {

template <class Traits>
class ScopedHandle {
public:
    using Type = typename Traits::Type;

    ScopedHandle() = default;
    explicit ScopedHandle(Type handle) : handle_(handle) {}
    ~ScopedHandle() { Reset(); }

    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    bool IsValid() const { return Traits::IsValid(handle_); }
    explicit operator bool() const { return IsValid(); }
    Type Get() const { return handle_; }

    // For out-parameters of the Win32 calls that create the handle.
    Type* Receive()
    {
        Reset();
        return &handle_;
    }

    Type Release() { return std::exchange(handle_, Traits::Invalid()); }

    void Reset(Type handle = Traits::Invalid())
    {
        if (Traits::IsValid(handle_)) Traits::Close(handle_);
        handle_ = handle;
    }

private:
    Type handle_ = Traits::Invalid();
};

// Files, pipes and snapshots report failure with INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(Type h) { ::CloseHandle(h); }
};

// Processes and tokens report failure with a null handle.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::RegCloseKey(h); }
};

using ScopedFile = ScopedHandle<FileHandleTraits>;
using ScopedSnapshot = ScopedHandle<FileHandleTraits>;
using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;
using ScopedRegKey = ScopedHandle<RegKeyTraits>;

// COM interface pointer: released once, when the owner goes.
template <class Interface>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        if (this != &other) {
            Reset();
            ptr_ = std::exchange(other.ptr_, nullptr);
        }
        return *this;
    }

    Interface* operator->() const { return ptr_; }
    Interface* Get() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    void** ReceiveVoid()
    {
        Reset();
        return reinterpret_cast<void**>(&ptr_);
    }
    void Reset()
    {
        if (ptr_) ptr_->Release();
        ptr_ = nullptr;
    }

private:
    Interface* ptr_ = nullptr;
};

}  // namespace winapi
