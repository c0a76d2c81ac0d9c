// The pack readers' Windows side: opening and mapping pack files, and the system's text
// conversions. The readers themselves (LangPack.cpp, LangPack2.cpp) take streams and bytes.
#include "chk/ChunkFile.h"
#include "chk/KestFileStream.h"
#include "kest/win32/Handles.h"
#include "kest/win32/Paths.h"
#include "lang/LangPack.h"
#include "lang/PackText.h"

#include <windows.h>

#include <cstdint>
#include <memory>

void AnsiTextInto(std::wstring& wide, const char* text, size_t length) {
    wide.clear();
    if (length == 0) return;
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
    if (n <= 0) return;
    wide.resize(static_cast<size_t>(n));
    if (::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), wide.data(), n) != n) wide.clear();
}

std::string KeyToUtf8(const wchar_t* key, size_t length) {
    std::string utf8;
    utf8.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        if (key[i] >= 0x80) {
            const int n = ::WideCharToMultiByte(CP_UTF8, 0, key, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
            if (n <= 0) return std::string();
            utf8.assign(static_cast<size_t>(n), '\0');
            ::WideCharToMultiByte(CP_UTF8, 0, key, static_cast<int>(length), utf8.data(), n, nullptr, nullptr);
            return utf8;
        }
        utf8 += static_cast<char>(key[i]);
    }
    return utf8;
}

kest::P<kest::ISeekableInStream> OpenPackFile(const std::wstring& path) {
    kest::P<kest::IURI> uri = kest::win32::PathToUri(kest::String::Copy(path.c_str()));
    return kest::GetStreamManager()->RequireSeekableInStream(uri.Get(), kest::kShareRead);
}

namespace {

// A resource file mapped copy-on-write: its bytes are the file's, paged in as they are touched,
// and a write (a terminator the reader forces) changes this process's copy only. The file stays
// open without write sharing for as long as the view lives, so that nobody changes or cuts it
// under the texts that point into it. (Reading a 4 MB pack into fresh memory took about five
// times as long as mapping it.)
class CMappedFile {
public:
    // Null when the file cannot be opened or mapped (an empty file cannot be mapped).
    static std::shared_ptr<CMappedFile> Open(const std::wstring& path) {
        auto mapped = std::make_shared<CMappedFile>();
        mapped->m_file.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size{};
        if (!mapped->m_file || !::GetFileSizeEx(mapped->m_file.get(), &size) || size.QuadPart <= 0 ||
            static_cast<uint64_t>(size.QuadPart) > SIZE_MAX)
            return nullptr;
        const kest::win32::UniqueHandle mapping(
            ::CreateFileMappingW(mapped->m_file.get(), nullptr, PAGE_WRITECOPY, 0, 0, nullptr));
        if (!mapping) return nullptr;
        // The view keeps the mapping alive after its handle is closed.
        mapped->m_view.reset(::MapViewOfFile(mapping.get(), FILE_MAP_COPY, 0, 0, 0));
        if (!mapped->m_view) return nullptr;
        mapped->m_size = static_cast<size_t>(size.QuadPart);
        return mapped;
    }

    uint8_t* Data() const { return static_cast<uint8_t*>(m_view.get()); }
    size_t Size() const { return m_size; }

private:
    kest::win32::UniqueFile m_file;
    kest::win32::UniqueView m_view;
    size_t m_size = 0;
};

}  // namespace

bool CLangPack2::ReadHeader(const std::wstring& path) {
    try {
        kest::P<kest::ISeekableInStream> file = OpenPackFile(path);
        return ReadHeader(path, *file);
    } catch (...) {
        return false;
    }
}

bool CLangPack2::ReadHeader(const std::wstring& path, kest::ISeekableInStream& file) {
    try {
        chk::TRef<chk::CKestFileStream> stream(chk::CKestFileStream::Over(&file));
        return ReadHeaderFrom(path, *stream);
    } catch (...) {
        return false;
    }
}

bool CLangPack2::LoadTexts(const std::wstring& path, bool clear) {
    if (clear) Clear();
    m_loaded = false;
    try {
        chk::TRef<chk::CKestFileStream> stream(chk::CKestFileStream::Open(path));
        PackBytes bytes;
        if (const std::shared_ptr<CMappedFile> mapped = CMappedFile::Open(path)) bytes = {mapped->Data(), mapped->Size(), mapped};
        return LoadTextsFrom(path, *stream, bytes, clear);
    } catch (...) {
        return false;
    }
}
