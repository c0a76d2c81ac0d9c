#include "tests/lang/PoTexts.h"

#include <windows.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace pack_test {

namespace {

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0);
    if (n <= 0) throw std::runtime_error("expected texts: not UTF-8");
    std::wstring wide(static_cast<size_t>(n), L'\0');
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(),
                              n) != n)
        throw std::runtime_error("expected texts: not UTF-8");
    return wide;
}

std::string Unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        const char c = field[++i];
        out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
    return out;
}

}  // namespace

const std::wstring& PoTexts::Text(const std::string& key) const {
    for (const auto& [k, text] : texts)
        if (k == key) return text;
    throw std::runtime_error("the PO file does not translate " + key);
}

PoTexts ReadPoTexts(const std::string& unixPath) {
    std::ifstream in("Z:" + unixPath, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + unixPath);
    PoTexts expected;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream row(line);
        for (std::string field; std::getline(row, field, '\t');) fields.push_back(Unescape(field));
        if (fields.size() == 2) fields.emplace_back();  // an empty last field
        if (fields.size() != 3) throw std::runtime_error("expected texts: bad line " + line);
        const std::wstring value = FromUtf8(fields[2]);
        if (fields[0] == "text") {
            expected.texts.emplace_back(fields[1], value);
        } else if (fields[1] == "tag") {
            expected.tag = value;
        } else if (fields[1] == "native") {
            expected.nativeName = value;
        } else if (fields[1] == "comment") {
            expected.comment = value;
        }
    }
    return expected;
}

std::wstring BuildFilePath(const std::string& unixPath) {
    std::wstring path = L"Z:" + std::wstring(unixPath.begin(), unixPath.end());
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

}  // namespace pack_test
