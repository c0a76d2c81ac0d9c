// How item elements of the description are read, and which paths from a store are accepted.
#include "Archives.h"
#include "kapp/Description.h"
#include "kapp/SafePaths.h"

#include <gtest/gtest.h>

#include <wx/mstream.h>

namespace kapp_test {
namespace {

struct AttributeCase {
    const char* element;
    long type;
    bool available;
};

TEST(Description, AttributesHaveDefaultsAndLenientNumbers) {
    const AttributeCase cases[] = {
        {"<i type=\"2\" available=\"true\"/>", 2, true},
        {"<i type=\"0\" available=\"TRUE\"/>", 0, true},
        {"<i type=\"1\" available=\"True\"/>", 1, true},
        {"<i/>", -1, false},
        {"<i type=\"letters\" available=\"yes\"/>", 0, false},
        {"<i type=\"\" available=\"\"/>", 0, false},
        {"<i type=\"2x\" available=\"false\"/>", 0, false},
        {"<i type=\"-1\" available=\"1\"/>", -1, false},
        {"<i type=\"99999999999999999999\"/>", 0, false},
    };
    for (const AttributeCase& c : cases) {
        auto document = ParseXml(c.element);
        const wxXmlNode& item = *document->GetRoot();
        EXPECT_EQ(c.type, kapp::ReadItemType(item)) << c.element;
        EXPECT_EQ(c.available, kapp::ReadAvailable(item)) << c.element;
        EXPECT_EQ(wxString(), kapp::ReadText(item, "destination")) << c.element;
    }
}

TEST(Description, ANewDocumentIsAnAppmanagerOfVersion1WithItemsInOrder) {
    auto document = kapp::NewDescription();
    wxXmlNode* root = document->GetRoot();
    EXPECT_EQ("appmanager", root->GetName());
    EXPECT_EQ("1", root->GetAttribute("version"));
    kapp::CChildAppender append(*root);
    for (const char* name : {"b", "a", "c"}) {
        auto item = kapp::NewItem(kapp::kUserSection);
        kapp::SetAttribute(*item, "type", "0");
        kapp::SetAttribute(*item, "name", name);
        append.Append(std::move(item));
    }
    std::string order;
    for (wxXmlNode* child = root->GetChildren(); child; child = child->GetNext()) {
        EXPECT_EQ("regentry_user", child->GetName());
        EXPECT_EQ("type", child->GetAttributes()->GetName()) << "attributes keep their order";
        order += child->GetAttribute("name").utf8_string();
    }
    EXPECT_EQ("bac", order);
}

std::string Utf16Le(const std::string& ascii, bool mark) {
    std::string bytes = mark ? std::string("\xFF\xFE", 2) : std::string();
    for (char c : ascii) bytes += std::string{c, '\0'};
    return bytes;
}

struct DeclarationCase {
    const char* name;
    std::string document;
    bool read;
};

// Only the encodings the XML parser knows itself are read: for any other name, the XML
// library's fallback converts single bytes with the named encoding, and for one wider than a
// byte it reads past the byte it was given.
TEST(Description, OnlyDocumentsInTheParsersOwnEncodingsAreRead) {
    const std::string root = "<appmanager version=\"1\"><regentry_user name=\"x\"/></appmanager>";
    const DeclarationCase cases[] = {
        {"utf-8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + root, true},
        {"no declaration", root, true},
        {"no encoding", "<?xml version=\"1.0\"?>" + root, true},
        {"lower case, blanks, single quotes", "<?xml version=\"1.0\" encoding = 'utf-8' ?>" + root, true},
        {"utf-16 with its mark", Utf16Le("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + root, true), true},
        {"latin-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><appmanager n=\"\xE9\"/>", true},
        {"wide encoding spelt otherwise", "<?xml version=\"1.0\" encoding=\"UTF16\"?>" + root, false},
        {"utf-32", "<?xml version=\"1.0\" encoding=\"UTF-32\"?>" + root, false},
        {"ucs-2 in utf-16", Utf16Le("<?xml version=\"1.0\" encoding=\"UCS-2\"?>" + root, false), false},
        {"a code page", "<?xml version=\"1.0\" encoding=\"windows-1252\"?>" + root, false},
        {"unquoted name", "<?xml version=\"1.0\" encoding=UTF-8?>" + root, false},
    };
    for (const DeclarationCase& c : cases) {
        wxMemoryInputStream input(c.document.data(), c.document.size());
        std::unique_ptr<wxXmlDocument> document = kapp::ReadDescription(input);
        EXPECT_EQ(c.read, document != nullptr) << c.name;
        if (document) {
            EXPECT_EQ("appmanager", document->GetRoot()->GetName()) << c.name;
        }
    }
}

struct FolderCase {
    const wchar_t* path;
    bool inside;
};

TEST(SafePaths, OnlyPlainPathsInsideTheFolderAreAccepted) {
    const std::wstring folder = L"C:\\data\\reg\\";
    const FolderCase cases[] = {
        {L"C:\\data\\reg\\a.txt", true},
        {L"c:\\DATA\\Reg\\sub\\b.txt", true},
        {L"C:/data/reg/sub/c.txt", true},
        {L"\\\\?\\C:\\data\\reg\\long.txt", true},
        {L"C:\\data\\reg\\", false},
        {L"C:\\data\\reg", false},
        {L"C:\\data\\regx\\a.txt", false},
        {L"C:\\data\\reg\\..\\outside.txt", false},
        {L"C:\\data\\reg\\sub\\..\\..\\outside.txt", false},
        {L"C:\\data\\reg\\.\\a.txt", false},
        {L"D:\\data\\reg\\a.txt", false},
        {L"\\data\\reg\\a.txt", false},
        {L"data\\reg\\a.txt", false},
        {L"\\\\.\\C:\\data\\reg\\a.txt", false},
        {L"\\\\?\\GLOBALROOT\\Device\\x", false},
        {L"\\??\\C:\\data\\reg\\a.txt", false},
        {L"C:\\data\\reg\\a.txt:hidden", false},
        {L"C:\\data\\reg\\a.txt::$DATA", false},
        {L"C:\\data\\reg\\CON", false},
        {L"C:\\data\\reg\\nul.txt", false},
        {L"C:\\data\\reg\\sub\\COM1", false},
        {L"C:\\data\\reg\\lpt9.log", false},
        {L"C:\\data\\reg\\a*.txt", false},
        {L"C:\\data\\reg\\dots...", false},
        {L"C:\\data\\reg\\blank ", false},
        {L"C:\\data\\reg\\sub\\\\a.txt", false},
        {L"", false},
        {L"C:\\data\\reg\\console.txt", true},
        {L"C:\\data\\reg\\com10.txt", true},
    };
    for (const FolderCase& c : cases) {
        EXPECT_EQ(c.inside, kapp::IsInsideFolder(c.path, folder)) << Narrow(c.path);
    }
    EXPECT_TRUE(kapp::IsInsideFolder(L"\\\\server\\share\\reg\\a.txt", L"\\\\server\\share\\reg\\"));
    EXPECT_FALSE(kapp::IsInsideFolder(L"\\\\other\\share\\reg\\a.txt", L"\\\\server\\share\\reg\\"));
}

TEST(SafePaths, AFileMatchesOnlyItself) {
    EXPECT_TRUE(kapp::IsSameFile(L"C:\\data\\f.txt", L"C:\\data\\f.txt"));
    EXPECT_TRUE(kapp::IsSameFile(L"c:/DATA/F.TXT", L"C:\\data\\f.txt"));
    EXPECT_FALSE(kapp::IsSameFile(L"C:\\data\\g.txt", L"C:\\data\\f.txt"));
    EXPECT_FALSE(kapp::IsSameFile(L"C:\\data\\x\\..\\f.txt", L"C:\\data\\f.txt"));
    EXPECT_FALSE(kapp::IsSameFile(L"D:\\data\\f.txt", L"C:\\data\\f.txt"));
    EXPECT_FALSE(kapp::IsSameFile(L"C:\\data\\f.txt:ads", L"C:\\data\\f.txt"));
}

TEST(SafePaths, PlainFileNames) {
    for (const wchar_t* good : {L"regsection.1.reg", L"a b.reg"}) EXPECT_TRUE(kapp::IsPlainFileName(good)) << Narrow(good);
    for (const wchar_t* bad : {L"", L"..", L".", L"..\\x.reg", L"a/b.reg", L"C:x.reg", L"aux.reg", L"x.reg:s", L"x."})
        EXPECT_FALSE(kapp::IsPlainFileName(bad)) << Narrow(bad);
}

}  // namespace
}  // namespace kapp_test
