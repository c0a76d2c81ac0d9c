#include "kapp/Description.h"

#include <wx/mstream.h>

#include <cctype>
#include <string>
#include <vector>

namespace kapp {

namespace {

// The encodings the XML parser reads by itself. For any other name a document declares, the XML
// library steps in with a byte table it builds by converting each single byte with the named
// encoding, and for an encoding whose characters are wider than a byte ("UTF16", "UTF-32",
// "UCS-2", ...) that conversion reads past the byte it was given. The program writes its
// descriptions in UTF-8, and so is the initial archive's.
bool IsParsersOwnEncoding(std::string name) {
    for (char& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
    for (const char* known : {"UTF-8", "UTF-16", "UTF-16LE", "UTF-16BE", "ISO-8859-1", "US-ASCII"})
        if (name == known) return true;
    return false;
}

// Whether the document's XML declaration, if it has one, names an encoding the parser reads
// itself (or none). The declaration is read as the parser finds it: at the very start, after a
// byte-order mark, in 8-bit text or in UTF-16 of either byte order. A declaration that mentions
// an encoding in a way this cannot read is not trusted either.
bool DeclaresParsersOwnEncoding(const std::vector<char>& bytes) {
    const auto byte = [&](size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u; };
    size_t at = 0, step = 1, high = 0;  // a character is bytes[at + k * step + high] (ASCII only)
    if (byte(0) == 0xFF && byte(1) == 0xFE) {
        at = 2, step = 2, high = 1;
    } else if (byte(0) == 0xFE && byte(1) == 0xFF) {
        at = 2, step = 2;
    } else if (byte(0) == '<' && byte(1) == 0) {
        step = 2, high = 1;
    } else if (byte(0) == 0 && byte(1) == '<') {
        step = 2;
    } else if (byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
        at = 3;
    }
    // The declaration up to its "?>", characters outside ASCII as 0x80.
    std::string declaration;
    for (size_t i = at; i + step <= bytes.size(); i += step) {
        unsigned ch = byte(step == 2 ? i + 1 - high : i);
        if (step == 2 && byte(i + high) != 0) ch = 0x80;
        if (ch >= 0x80) ch = 0x80;
        declaration += char(ch);
        if (declaration.size() == 5 && declaration != "<?xml") return true;  // no declaration, no encoding
        if (declaration.size() >= 2 && declaration.compare(declaration.size() - 2, 2, "?>") == 0) break;
    }
    if (declaration.compare(0, 5, "<?xml") != 0) return true;
    size_t p = declaration.find("encoding");
    if (p == std::string::npos) return true;
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    p += 8;
    while (p < declaration.size() && isSpace(declaration[p])) ++p;
    if (p >= declaration.size() || declaration[p] != '=') return false;
    ++p;
    while (p < declaration.size() && isSpace(declaration[p])) ++p;
    if (p >= declaration.size() || (declaration[p] != '"' && declaration[p] != '\'')) return false;
    const size_t end = declaration.find(declaration[p], p + 1);
    if (end == std::string::npos) return false;
    return IsParsersOwnEncoding(declaration.substr(p + 1, end - p - 1));
}

}  // namespace

std::unique_ptr<wxXmlDocument> NewDescription() {
    auto document = std::make_unique<wxXmlDocument>();
    auto root = std::make_unique<wxXmlNode>(wxXML_ELEMENT_NODE, wxS("appmanager"));
    root->AddAttribute(wxS("version"), wxS("1"));
    document->SetRoot(root.release());
    return document;
}

std::unique_ptr<wxXmlNode> NewItem(const wxString& section) {
    return std::make_unique<wxXmlNode>(wxXML_ELEMENT_NODE, section);
}

void SetAttribute(wxXmlNode& item, const wxString& name, const wxString& value) { item.AddAttribute(name, value); }

CChildAppender::CChildAppender(wxXmlNode& parent) : m_parent(parent), m_last(parent.GetChildren()) {
    while (m_last && m_last->GetNext()) m_last = m_last->GetNext();
}

void CChildAppender::Append(std::unique_ptr<wxXmlNode> child) {
    wxXmlNode* node = child.release();
    if (m_last) {
        m_parent.InsertChildAfter(node, m_last);
    } else {
        m_parent.AddChild(node);
    }
    m_last = node;
}

std::unique_ptr<wxXmlDocument> ReadDescription(wxInputStream& input) {
    // Taken whole first: the declaration is looked at before the parser sees anything.
    std::vector<char> bytes;
    char buffer[16 * 1024];
    for (;;) {
        const size_t n = input.Read(buffer, sizeof buffer).LastRead();
        if (n == 0) break;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    if (!DeclaresParsersOwnEncoding(bytes)) return nullptr;
    wxMemoryInputStream memory(bytes.data(), bytes.size());
    auto document = std::make_unique<wxXmlDocument>();
    if (!document->Load(memory, wxString("UTF-8"), 0) || !document->GetRoot()) return nullptr;
    return document;
}

long ReadItemType(const wxXmlNode& item) {
    const wxString text = item.GetAttribute(wxS("type"), wxS("-1"));
    long value = 0;
    return text.ToLong(&value, 10) ? value : 0;
}

wxString ReadText(const wxXmlNode& item, const wxString& attribute) { return item.GetAttribute(attribute, wxString()); }

bool ReadAvailable(const wxXmlNode& item) {
    return item.GetAttribute(wxS("available"), wxS("false")).IsSameAs(wxS("true"), false);
}

}  // namespace kapp
