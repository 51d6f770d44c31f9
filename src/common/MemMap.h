// MemMap: TSharedMemory, one named file mapping backed by the paging file.
#pragma once

#include <cstdint>
#include <string>

#include "../platform/Platform.h"

namespace vt {

class TSharedMemory {
public:
    // Creates (isNew) or opens the mapping "SHMEM_<size>" and maps all of it. Raises
    // "CreateFileMapping failed (%x)" or "MapViewOfFile failed (%x)".
    TSharedMemory(std::uint32_t size, bool isNew);
    // Unmaps and closes what is still open; raises "UnMapViewOfFile error" /
    // "CloseHendl error", except while an exception is already unwinding the stack
    // (then the failure is dropped: a second exception would end the process).
    virtual ~TSharedMemory() noexcept(false);
    // Unmaps the view and closes the handle, both even when the other fails, then
    // raises the first failure. Afterwards the destructor has nothing left to do.
    void Close();
    TSharedMemory(const TSharedMemory&) = delete;
    TSharedMemory& operator=(const TSharedMemory&) = delete;

    void* MemPtr() const { return fMemPtr; }
    void SetMemPtr(void* p) { fMemPtr = p; }
    // Whether all fSize bytes of the view can be written: committed, writable pages. A
    // block opened by name may be another program's: made with SEC_RESERVE, it maps
    // without an error and the first write faults.
    bool Writable() const;
    // Copies min(2 * length, size) bytes of the text; no terminator. "No Shared Memory";
    // "Shared Memory not writable" when Writable() is false (nothing written then).
    void SetAsString(const std::u16string& text);

    Handle handle = 0;
    std::uint32_t fSize = 0;
    void* fMemPtr = nullptr;

private:
    int uncaught_ = 0;  // exceptions in flight when the object was made
};

}  // namespace vt
