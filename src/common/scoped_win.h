// Owners of the platform's resources: each one releases what it holds when it goes out of scope,
// so no code path can leak a handle or release one twice. Kernel and find handles, modules,
// internet handles, global memory and CNG handles share one template with their closer as
// parameter; COM pointers, the COM apartment, a lock on global memory and a paint cycle have
// owners of their own. GDI+ objects are owned by std::unique_ptr.
#pragma once

#include <windows.h>
#include <bcrypt.h>
#include <objbase.h>
#include <wininet.h>

namespace tessaly {

// Holds one handle and calls `Close` on it at the end of its scope. Both null and
// INVALID_HANDLE_VALUE mean that nothing is held: which of them a failed call returns depends on
// the call.
template <typename Handle, auto Close>
class ScopedHandle {
  public:
    ScopedHandle() = default;
    explicit ScopedHandle(Handle handle) : handle_(handle) {}
    ~ScopedHandle() {
        if (IsValid()) {
            Close(handle_);
        }
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool IsValid() const {
        return handle_ != nullptr && handle_ != reinterpret_cast<Handle>(INVALID_HANDLE_VALUE);
    }
    Handle Get() const { return handle_; }
    // Hands the handle over to whoever keeps it from now on.
    Handle Detach() {
        const Handle handle = handle_;
        handle_ = nullptr;
        return handle;
    }

  private:
    Handle handle_ = nullptr;
};

using ScopedKernelHandle = ScopedHandle<HANDLE, CloseHandle>;  // files, threads
using ScopedFindHandle = ScopedHandle<HANDLE, FindClose>;
using ScopedLibrary = ScopedHandle<HMODULE, FreeLibrary>;
using ScopedInternetHandle = ScopedHandle<HINTERNET, InternetCloseHandle>;
using ScopedGlobalMemory = ScopedHandle<HGLOBAL, GlobalFree>;

// CNG: an algorithm provider, and the hashes and keys made from one.
inline void CloseCngAlgorithm(BCRYPT_ALG_HANDLE algorithm) {
    BCryptCloseAlgorithmProvider(algorithm, 0);
}
using ScopedCngAlgorithm = ScopedHandle<BCRYPT_ALG_HANDLE, CloseCngAlgorithm>;
using ScopedCngHash = ScopedHandle<BCRYPT_HASH_HANDLE, BCryptDestroyHash>;
using ScopedCngKey = ScopedHandle<BCRYPT_KEY_HANDLE, BCryptDestroyKey>;

// Holds one reference to a COM interface.
template <typename Interface>
class ScopedComPtr {
  public:
    ScopedComPtr() = default;
    ~ScopedComPtr() {
        if (pointer_ != nullptr) {
            pointer_->Release();
        }
    }
    ScopedComPtr(const ScopedComPtr&) = delete;
    ScopedComPtr& operator=(const ScopedComPtr&) = delete;

    explicit operator bool() const { return pointer_ != nullptr; }
    Interface* operator->() const { return pointer_; }
    Interface* Get() const { return pointer_; }
    // The out-parameter of a call that hands out a reference (CoCreateInstance, QueryInterface).
    // Only for an empty owner.
    void** Receive() { return reinterpret_cast<void**>(&pointer_); }

  private:
    Interface* pointer_ = nullptr;
};

// The calling thread in COM's single-threaded apartment for the length of a scope. CoUninitialize
// follows CoInitialize whatever it returned.
class ScopedComApartment {
  public:
    ScopedComApartment() { CoInitialize(nullptr); }
    ~ScopedComApartment() { CoUninitialize(); }
    ScopedComApartment(const ScopedComApartment&) = delete;
    ScopedComApartment& operator=(const ScopedComApartment&) = delete;
};

// A movable global memory block locked for the length of a scope; Get() is null when the lock
// failed.
class ScopedGlobalLock {
  public:
    explicit ScopedGlobalLock(HGLOBAL block) : block_(block), data_(GlobalLock(block)) {}
    ~ScopedGlobalLock() {
        if (data_ != nullptr) {
            GlobalUnlock(block_);
        }
    }
    ScopedGlobalLock(const ScopedGlobalLock&) = delete;
    ScopedGlobalLock& operator=(const ScopedGlobalLock&) = delete;

    void* Get() const { return data_; }

  private:
    HGLOBAL block_;
    void* data_;
};

// One WM_PAINT cycle: BeginPaint on construction, EndPaint at the end of the scope.
class ScopedPaint {
  public:
    explicit ScopedPaint(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~ScopedPaint() { EndPaint(window_, &paint_); }
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;

    HDC Get() const { return dc_; }

  private:
    HWND window_;
    PAINTSTRUCT paint_ = {};
    HDC dc_;
};

}  // namespace tessaly
