// Texts and arrays lent to the engine live on the process heap, the general-purpose heap that
// both sides of the interface see. Each block has exactly one owner; the owner decides when
// the engine's borrowing ends.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>

struct HostHeapFree {
    void operator()(void* block) const noexcept;
};
using CHostHeapBlock = std::unique_ptr<void, HostHeapFree>;

// A zeroed block; throws std::bad_alloc when the heap has no room.
CHostHeapBlock HostHeapAlloc(size_t bytes);

// A NUL-terminated copy of the text in the host text encoding: UTF-16 when wide, otherwise
// the ANSI code page.
CHostHeapBlock HostHeapText(const std::wstring& text, bool wide);

// Blocks allocated through this file and not yet freed, for checking that nothing lent to the
// engine is kept longer than its owner says.
long HostHeapLiveBlocks();
