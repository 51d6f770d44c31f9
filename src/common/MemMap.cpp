#include "MemMap.h"

#include <cstring>
#include <exception>

#include "Format.h"
#include "VtError.h"

namespace vt {

TSharedMemory::TSharedMemory(std::uint32_t size, bool isNew)
    : fSize(size), uncaught_(std::uncaught_exceptions()) {
    std::u16string name = Format(u"SHMEM_%d", size);
    handle = isNew ? Plat().CreateFileMappingW(size, name) : Plat().OpenFileMappingW(name);
    if (handle == 0)
        throw ESharedMemoryError(Format(u"CreateFileMapping failed (%x)", Plat().GetLastError()));
    // Only a create can find the block already there; an open always finds it, and the
    // last error after a successful open is whatever an earlier call left behind.
    bool existed =
        isNew && Plat().GetLastError() == static_cast<std::uint32_t>(ERROR_ALREADY_EXISTS);
    fMemPtr = Plat().MapViewOfFile(handle);
    if (fMemPtr == nullptr) {
        std::uint32_t err = Plat().GetLastError();
        Plat().CloseHandle(handle);  // the destructor does not run for a failed constructor
        handle = 0;
        throw ESharedMemoryError(Format(u"MapViewOfFile failed (%x)", err));
    }
    if (!existed) std::memset(fMemPtr, 0, size);
}

void TSharedMemory::Close() {
    if (handle == 0) return;
    bool unmapped = fMemPtr == nullptr || Plat().UnmapViewOfFile(fMemPtr);
    fMemPtr = nullptr;
    bool closed = Plat().CloseHandle(handle);
    handle = 0;
    if (!unmapped) throw ESharedMemoryError(u"UnMapViewOfFile error");
    if (!closed) throw ESharedMemoryError(u"CloseHendl error");
}

TSharedMemory::~TSharedMemory() noexcept(false) {
    if (handle == 0) return;
    if (std::uncaught_exceptions() > uncaught_) {
        try {
            Close();
        } catch (...) {
        }
        return;
    }
    Close();
}

bool TSharedMemory::Writable() const {
    if (fMemPtr == nullptr) return false;
    MemoryRegion region;
    if (!Plat().VirtualQuery(fMemPtr, &region)) return false;
    constexpr std::uint32_t kWritable =
        PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    if (region.state != MEM_COMMIT || (region.protect & kWritable) == 0 ||
        (region.protect & PAGE_GUARD) != 0)
        return false;
    const auto start = reinterpret_cast<std::uintptr_t>(fMemPtr);
    const std::uintptr_t end = region.baseAddress + region.regionSize;
    return end > start && end - start >= fSize;
}

void TSharedMemory::SetAsString(const std::u16string& text) {
    if (fMemPtr == nullptr) throw ESharedMemoryError(u"No Shared Memory");
    if (!Writable()) throw ESharedMemoryError(u"Shared Memory not writable");
    std::size_t bytes = text.size() * 2;
    if (bytes > fSize) bytes = fSize;
    std::memcpy(fMemPtr, text.data(), bytes);
}

}  // namespace vt
