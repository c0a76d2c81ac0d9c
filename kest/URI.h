// Resource addresses for files and folders.
//
//     P<CURI> uri = CURI::Create(String("file"), String::Null(), String::Null(), String::Null(),
//                                String("/C:/data/a b.txt"));
//     uri->ToString(text);       // "file:/C:/data/a%20b.txt"
//     uri->GetPath();            // "/C:/data/a b.txt"
#pragma once

#include "kest/Object.h"
#include "kest/String.h"

#include <cstdint>

namespace kest {

// A parsed resource address. Its ToString gives the address's full, escaped text. An address
// that knows only its text answers every component as absent.
class IURI : public virtual IBase {
public:
    // Components in escaped form, the null string when absent.
    virtual String GetScheme() const { return String::Null(); }
    virtual String GetUserInfo() const { return String::Null(); }
    virtual String GetHost() const { return String::Null(); }
    virtual int32_t GetPort() const { return -1; }
    virtual String GetRawPath() const { return String::Null(); }
    virtual String GetQuery() const { return String::Null(); }
    virtual String GetFragment() const { return String::Null(); }
    virtual String GetAuthority() const { return String::Null(); }
    // The path with its escapes decoded: what a file system calls the name.
    virtual String GetPath() const { return String::Null(); }
    // Without a scheme, or with the scheme "file".
    virtual bool IsLocal() const { return false; }
};

class CURI : public CObject, public IURI {
public:
    // From unescaped components: each is escaped as its place in the address needs, the path's
    // dot segments are removed. The port text must be decimal digits (CParseError otherwise);
    // null or empty means no port.
    static P<CURI> Create(const String& scheme, const String& userInfo, const String& host,
                          const String& port, const String& path, const String& query = String::Null(),
                          const String& fragment = String::Null());
    // From the text of an address (already escaped); raises CParseError for a bad port.
    static P<CURI> Parse(const String& text);
    // The address of name (unescaped, may end in "/" for a folder) inside the folder address.
    static P<CURI> Child(const IURI& folder, const String& name);

    String GetScheme() const override { return m_scheme; }
    String GetUserInfo() const override { return m_userInfo; }
    String GetHost() const override { return m_host; }
    int32_t GetPort() const override { return m_port; }
    String GetRawPath() const override { return m_path; }
    String GetQuery() const override { return m_query; }
    String GetFragment() const override { return m_fragment; }
    String GetAuthority() const override { return m_authority; }
    String GetPath() const override;
    bool IsLocal() const override;
    void ToString(String& out) const override { out = m_text; }

    // Percent-escapes every code point outside the unreserved ones and allowed, byte by byte
    // of its UTF-8 form.
    static String Escape(const String& text, const char* allowed);
    // Decodes %XX escapes as UTF-8; a "%" not followed by two hexadecimal digits stays.
    static String Unescape(const String& text);
    // Drops "." segments and resolves ".." against the segment before it.
    static String RemoveDotSegments(const String& path);

    // Use Create or Parse; public only for New<>.
    CURI(const String& scheme, const String& userInfo, const String& host, int32_t port,
         const String& path, const String& query, const String& fragment);

private:
    String m_scheme, m_userInfo, m_host;
    int32_t m_port;
    String m_path, m_query, m_fragment;
    String m_authority, m_text;
};

// The name the operating system knows a local URI's file by (a Windows path here, the long form
// for long paths), for messages that name the file; other URIs give their own text, no URI or one
// that cannot be converted the empty string. Never raises: errors call it while being built. It
// lives with the system's side of the library, which owns the conversion.
String SystemPathOf(const IURI* uri) noexcept;

}  // namespace kest
