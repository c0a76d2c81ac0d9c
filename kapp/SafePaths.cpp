#include "kapp/SafePaths.h"

#include "kapp/Text.h"

#include <cwctype>
#include <vector>

namespace kapp {
namespace {

bool IsReservedName(const std::wstring& segment) {
    // The device names count with any extension ("nul.txt") and in any case.
    std::wstring base = segment.substr(0, segment.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    for (wchar_t& c : base) c = wchar_t(std::towupper(c));
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"CLOCK$"};
    for (const wchar_t* device : kDevices)
        if (base == device) return true;
    if (base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0)) {
        const wchar_t digit = base[3];
        // Windows also takes the superscript digits as port numbers.
        if ((digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3') return true;
    }
    return false;
}

bool IsAcceptableSegment(const std::wstring& segment) {
    if (segment.empty() || segment == L"." || segment == L"..") return false;
    // Windows drops trailing dots and blanks, so "..." or "a. " would name something else.
    if (segment.back() == L'.' || segment.back() == L' ') return false;
    for (wchar_t c : segment) {
        if (c < 32) return false;
        switch (c) {
            case L'<': case L'>': case L':': case L'"': case L'|': case L'?': case L'*': case L'/': case L'\\':
                return false;
            default:
                break;
        }
    }
    return !IsReservedName(segment);
}

std::vector<std::wstring> Split(const std::wstring& text) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(L'\\', start);
        parts.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return parts;
}

// Root ("C:" or "\\server\share") and segments of a normalised path; false when refused.
bool Decompose(const std::wstring& given, std::wstring& root, std::vector<std::wstring>& segments) {
    std::wstring path = Backslashes(given);
    // The long forms of drive and UNC paths are the same places; any other \\?\ or \\.\ path
    // names a device or volume.
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        path = L"\\\\" + path.substr(8);
    } else if (path.compare(0, 4, L"\\\\?\\") == 0) {
        path = path.substr(4);
        if (!(path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\')) return false;
    } else if (path.compare(0, 4, L"\\\\.\\") == 0 || path.compare(0, 4, L"\\??\\") == 0) {
        return false;
    }
    std::vector<std::wstring> parts;
    if (path.size() >= 3 && std::iswalpha(path[0]) && path[0] < 128 && path[1] == L':' && path[2] == L'\\') {
        root = std::wstring(1, wchar_t(std::towupper(path[0]))) + L":";
        parts = Split(path.substr(3));
    } else if (path.compare(0, 2, L"\\\\") == 0) {
        std::vector<std::wstring> all = Split(path.substr(2));
        if (all.size() < 2 || !IsAcceptableSegment(all[0]) || !IsAcceptableSegment(all[1])) return false;
        root = L"\\\\" + all[0] + L"\\" + all[1];
        parts.assign(all.begin() + 2, all.end());
    } else {
        return false;  // relative, or rooted on whatever drive is current
    }
    // A folder path ends in "\": its last, empty part is no segment.
    if (!parts.empty() && parts.back().empty()) parts.pop_back();
    for (const std::wstring& part : parts)
        if (!IsAcceptableSegment(part)) return false;
    segments = std::move(parts);
    return true;
}

}  // namespace

std::wstring NormalisedStorePath(const std::wstring& path) {
    std::wstring root;
    std::vector<std::wstring> segments;
    if (!Decompose(path, root, segments)) return std::wstring();
    std::wstring result = root;
    for (const std::wstring& segment : segments) result += L"\\" + segment;
    if (segments.empty()) result += L"\\";
    return result;
}

bool IsInsideFolder(const std::wstring& path, const std::wstring& folder) {
    std::wstring pathRoot, folderRoot;
    std::vector<std::wstring> pathSegments, folderSegments;
    if (!Decompose(path, pathRoot, pathSegments) || !Decompose(folder, folderRoot, folderSegments)) return false;
    if (!SameFileName(pathRoot, folderRoot) || pathSegments.size() <= folderSegments.size()) return false;
    for (size_t i = 0; i < folderSegments.size(); ++i)
        if (!SameFileName(pathSegments[i], folderSegments[i])) return false;
    return true;
}

bool IsSameFile(const std::wstring& path, const std::wstring& file) {
    std::wstring pathRoot, fileRoot;
    std::vector<std::wstring> pathSegments, fileSegments;
    if (!Decompose(path, pathRoot, pathSegments) || !Decompose(file, fileRoot, fileSegments)) return false;
    if (pathSegments.empty() || !SameFileName(pathRoot, fileRoot) || pathSegments.size() != fileSegments.size()) return false;
    for (size_t i = 0; i < fileSegments.size(); ++i)
        if (!SameFileName(pathSegments[i], fileSegments[i])) return false;
    return true;
}

bool IsPlainFileName(const std::wstring& name) { return IsAcceptableSegment(name); }

}  // namespace kapp
