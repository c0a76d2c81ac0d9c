#include "app/HostHeap.h"

#include <cstring>
#include <new>

namespace {

volatile LONG g_liveBlocks = 0;

}  // namespace

void HostHeapFree::operator()(void* block) const noexcept {
    if (!block) return;
    if (::HeapFree(::GetProcessHeap(), 0, block)) ::InterlockedDecrement(&g_liveBlocks);
}

CHostHeapBlock HostHeapAlloc(size_t bytes) {
    void* block = ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, bytes ? bytes : 1);
    if (!block) throw std::bad_alloc();
    ::InterlockedIncrement(&g_liveBlocks);
    return CHostHeapBlock(block);
}

CHostHeapBlock HostHeapText(const std::wstring& text, bool wide) {
    if (wide) {
        const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        CHostHeapBlock block = HostHeapAlloc(bytes);
        std::memcpy(block.get(), text.c_str(), bytes);
        return block;
    }
    if (text.empty()) return HostHeapAlloc(1);
    const int length = static_cast<int>(text.size());
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
    // A text the code page cannot take at all still gives the engine a valid, empty string.
    if (bytes <= 0) return HostHeapAlloc(1);
    CHostHeapBlock block = HostHeapAlloc(static_cast<size_t>(bytes) + 1);
    if (::WideCharToMultiByte(CP_ACP, 0, text.c_str(), length, static_cast<char*>(block.get()), bytes, nullptr,
                              nullptr) != bytes)
        static_cast<char*>(block.get())[0] = '\0';
    return block;
}

long HostHeapLiveBlocks() {
    return g_liveBlocks;
}
