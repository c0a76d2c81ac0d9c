#include "kest/URI.h"

#include "kest/Error.h"

#include <string>
#include <vector>

namespace kest {

namespace {

std::string ToUtf8(const String& text) {
    if (text.IsNull() || text.IsEmpty()) return std::string();
    String utf8 = text.ConvertTo(UTF8Encoding());
    return std::string(static_cast<const char*>(utf8.Data()), size_t(utf8.ByteLength()));
}

String FromUtf8(const std::string& bytes) { return String::FromUTF8(bytes.data(), int32_t(bytes.size())); }

bool IsUnreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string("-_.!~*'()").find(char(c)) != std::string::npos;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

const char kUserInfoAllowed[] = ";:,&=+$";
const char kPathAllowed[] = ";:,/@&=+$";
const char kQueryAllowed[] = ";:,/?@&=+$";

bool IsSchemeText(const std::string& s) {
    if (s.size() < 2) return false;  // one letter before ":" is a drive, not a scheme
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!(letter || (i > 0 && other))) return false;
    }
    return true;
}

int32_t ParsePort(const String& port) {
    if (port.IsNull() || port.IsEmpty()) return -1;
    return port.ToIntStrict(10);
}

}  // namespace

String CURI::Escape(const String& text, const char* allowed) {
    if (text.IsNull()) return text;
    std::string in = ToUtf8(text), out;
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : in) {
        if (IsUnreserved(c) || (c != 0 && std::string(allowed).find(char(c)) != std::string::npos)) {
            out += char(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return FromUtf8(out);
}

String CURI::Unescape(const String& text) {
    if (text.IsNull()) return text;
    std::string in = ToUtf8(text), out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '%' && i + 2 < in.size() && HexValue(in[i + 1]) >= 0 && HexValue(in[i + 2]) >= 0) {
            out += char(HexValue(in[i + 1]) * 16 + HexValue(in[i + 2]));
            i += 2;
        } else {
            out += in[i];
        }
    }
    return FromUtf8(out);
}

String CURI::RemoveDotSegments(const String& path) {
    if (path.IsNull()) return path;
    std::string in = ToUtf8(path);
    bool absolute = !in.empty() && in[0] == '/';
    std::vector<std::string> kept;
    bool trailingSlash = false;
    size_t start = absolute ? 1 : 0;
    while (start <= in.size()) {
        size_t end = in.find('/', start);
        bool last = end == std::string::npos;
        std::string segment = in.substr(start, last ? std::string::npos : end - start);
        if (segment == ".") {
            trailingSlash = last;
        } else if (segment == "..") {
            if (!kept.empty() && kept.back() != "..") {
                kept.pop_back();
            } else if (!absolute) {
                kept.push_back(segment);  // a relative path may climb above its start
            }
            trailingSlash = last;
        } else if (!last) {
            kept.push_back(segment);
            trailingSlash = true;
        } else {
            if (!segment.empty()) kept.push_back(segment);
            trailingSlash = segment.empty() && !kept.empty();
        }
        if (last) break;
        start = end + 1;
    }
    std::string out = absolute ? "/" : "";
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i > 0) out += '/';
        out += kept[i];
    }
    if (trailingSlash && !kept.empty()) out += '/';
    return FromUtf8(out);
}

CURI::CURI(const String& scheme, const String& userInfo, const String& host, int32_t port,
           const String& path, const String& query, const String& fragment)
    : m_scheme(scheme), m_userInfo(userInfo), m_host(host), m_port(port < 0 ? -1 : port),
      m_query(query), m_fragment(fragment) {
    bool hasAuthority = !host.IsNull() || !userInfo.IsNull() || m_port >= 0;
    std::string authority;
    if (!userInfo.IsNull()) {
        authority += ToUtf8(userInfo);
        authority += '@';
    }
    authority += ToUtf8(host);
    if (m_port >= 0) {
        authority += ':';
        authority += std::to_string(m_port);
    }
    m_authority = hasAuthority ? FromUtf8(authority) : String::Null();

    // After an authority the path is absolute, an empty one included: "http://h" is "http://h/".
    std::string rawPath = ToUtf8(path);
    if (hasAuthority && (rawPath.empty() || rawPath[0] != '/')) rawPath.insert(rawPath.begin(), '/');
    m_path = path.IsNull() && !hasAuthority ? String::Null() : RemoveDotSegments(FromUtf8(rawPath));

    std::string text;
    if (!scheme.IsNull()) {
        text += ToUtf8(scheme);
        text += ':';
    }
    if (hasAuthority) {
        text.append(2, '/');
        text += authority;
    }
    text += ToUtf8(m_path);
    if (!query.IsNull()) {
        text += '?';
        text += ToUtf8(query);
    }
    if (!fragment.IsNull()) {
        text += '#';
        text += ToUtf8(fragment);
    }
    m_text = FromUtf8(text);
}

P<CURI> CURI::Create(const String& scheme, const String& userInfo, const String& host, const String& port,
                     const String& path, const String& query, const String& fragment) {
    int32_t portNumber = ParsePort(port);
    return New<CURI>(scheme, Escape(userInfo, kUserInfoAllowed), host, portNumber, Escape(path, kPathAllowed),
                     Escape(query, kQueryAllowed), Escape(fragment, kQueryAllowed));
}

P<CURI> CURI::Parse(const String& text) {
    std::string s = ToUtf8(text);
    String scheme = String::Null(), userInfo = String::Null(), host = String::Null();
    String query = String::Null(), fragment = String::Null();
    int32_t port = -1;

    size_t hash = s.find('#');
    if (hash != std::string::npos) {
        fragment = FromUtf8(s.substr(hash + 1));
        s.erase(hash);
    }
    size_t question = s.find('?');
    if (question != std::string::npos) {
        query = FromUtf8(s.substr(question + 1));
        s.erase(question);
    }
    size_t colon = s.find(':');
    if (colon != std::string::npos && s.find('/') > colon && IsSchemeText(s.substr(0, colon))) {
        scheme = FromUtf8(s.substr(0, colon));
        s.erase(0, colon + 1);
    }
    if (s.compare(0, 2, "//") == 0) {
        size_t end = s.find('/', 2);
        std::string authority = s.substr(2, end == std::string::npos ? std::string::npos : end - 2);
        s.erase(0, end == std::string::npos ? s.size() : end);
        size_t at = authority.rfind('@');
        if (at != std::string::npos) {
            userInfo = FromUtf8(authority.substr(0, at));
            authority.erase(0, at + 1);
        }
        // A bracketed IPv6 host has colons of its own.
        size_t bracket = authority.rfind(']');
        size_t portColon = authority.rfind(':');
        if (portColon != std::string::npos && (bracket == std::string::npos || portColon > bracket)) {
            port = ParsePort(FromUtf8(authority.substr(portColon + 1)));
            authority.erase(portColon);
        }
        host = FromUtf8(authority);
    }
    return New<CURI>(scheme, userInfo, host, port, FromUtf8(s), query, fragment);
}

P<CURI> CURI::Child(const IURI& folder, const String& name) {
    std::string path = ToUtf8(folder.GetRawPath());
    if (!path.empty() && path.back() != '/') {
        path += '/';
    } else if (path.empty() && !folder.GetAuthority().IsNull()) {
        path.assign(1, '/');
    }
    path += ToUtf8(Escape(name, kPathAllowed));
    return New<CURI>(folder.GetScheme(), folder.GetUserInfo(), folder.GetHost(), folder.GetPort(),
                     FromUtf8(path), String::Null(), String::Null());
}

String CURI::GetPath() const { return Unescape(m_path); }

bool CURI::IsLocal() const { return m_scheme.IsNull() || m_scheme.IsEmpty() || m_scheme.EqualsNoCase(String("file")); }

}  // namespace kest
