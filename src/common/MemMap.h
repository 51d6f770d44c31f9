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
    // Unmaps and closes; raises "UnMapViewOfFile error" / "CloseHendl error".
    virtual ~TSharedMemory() noexcept(false);
    TSharedMemory(const TSharedMemory&) = delete;
    TSharedMemory& operator=(const TSharedMemory&) = delete;

    void* MemPtr() const { return fMemPtr; }
    void SetMemPtr(void* p) { fMemPtr = p; }
    // Copies min(2 * length, size) bytes of the text; no terminator. "No Shared Memory".
    void SetAsString(const std::u16string& text);

    Handle handle = 0;
    std::uint32_t fSize = 0;
    void* fMemPtr = nullptr;
};

}  // namespace vt
