// The list view of a dialog in another process, read and answered as a user would.
#pragma once

#include "kest/win32/Handles.h"

#include <windows.h>

#include <commctrl.h>

#include <string>

namespace testing_support {

// The list view of another process: its items' texts and check marks are read and set through
// a block of the other process's memory, since list-view messages carry pointers.
class RemoteListView {
public:
    RemoteListView(HWND list, DWORD processId)
        : m_list(list), m_process(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId)) {
        if (m_process)
            m_block = ::VirtualAllocEx(m_process.get(), nullptr, kBlockSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteListView() {
        if (m_block) ::VirtualFreeEx(m_process.get(), m_block, 0, MEM_RELEASE);
    }
    RemoteListView(const RemoteListView&) = delete;
    RemoteListView& operator=(const RemoteListView&) = delete;

    bool Ready() const { return m_block != nullptr; }
    int Count() const { return static_cast<int>(::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0)); }

    std::wstring Text(int item) const {
        auto* remote = static_cast<BYTE*>(m_block);
        LVITEMW request{};
        request.iSubItem = 0;
        request.cchTextMax = 200;
        request.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
        if (!Put(&request, sizeof request)) return {};
        ::SendMessageW(m_list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(remote));
        wchar_t text[201] = {};
        SIZE_T read = 0;
        if (!::ReadProcessMemory(m_process.get(), remote + sizeof(LVITEMW), text, 200 * sizeof(wchar_t), &read)) return {};
        return text;
    }

    bool Checked(int item) const {
        const auto state = static_cast<UINT>(
            ::SendMessageW(m_list, LVM_GETITEMSTATE, static_cast<WPARAM>(item), LVIS_STATEIMAGEMASK));
        return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
    }

    // Puts the check mark on an item, as a click on its box does.
    bool Check(int item) const {
        LVITEMW state{};
        state.stateMask = LVIS_STATEIMAGEMASK;
        state.state = INDEXTOSTATEIMAGEMASK(2);
        if (!Put(&state, sizeof state)) return false;
        return ::SendMessageW(m_list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(m_block)) != 0;
    }

private:
    static constexpr SIZE_T kBlockSize = 4096;

    bool Put(const void* data, SIZE_T size) const {
        SIZE_T written = 0;
        return ::WriteProcessMemory(m_process.get(), m_block, data, size, &written) && written == size;
    }

    HWND m_list;
    kest::win32::UniqueHandle m_process;
    void* m_block = nullptr;
};

}  // namespace testing_support
