#include "kest/Error.h"
#include "kest/Localizer.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

namespace kest_test {

using namespace kest;

class CTestURI : public CObject, public IURI {
public:
    explicit CTestURI(const wchar_t* text) : m_text(text) {}
    void ToString(String& out) const override { out = m_text; }

private:
    String m_text;
};

class CArray : public CObject {};

String Text(const char* latin1) { return String(latin1); }

// The object description of a CArray as the library renders it.
String ArrayDescription() { return String("object: ") + TypeName(typeid(CArray)) + " object"; }

struct DescriptionCase {
    const char* name;
    P<CException> error;
    String title;
    String description;
};

std::vector<DescriptionCase> DescriptionCases() {
    P<CArray> array = New<CArray>();
    P<IURI> uri = New<CTestURI>(L"file:///C:/data/x.txt");
    // Too long for any Windows path without a drive or server to anchor the long form.
    P<IURI> longRelative = CURI::Create(String::Null(), String::Null(), String::Null(), String::Null(),
                                        Text(std::string(300, 'a').c_str()));
    const std::type_info* arrayType = &typeid(CArray);
    String arrayClass = String("object class: ") + TypeName(typeid(CArray));
    String cast = String("Error casting a '") + TypeName(typeid(CArray)) + "' object to '" +
                  TypeName(typeid(IString)) + "'.";
    return {
        {"ErrorEmpty", CError().Clone(), Text("Error"), Text("Unspecified error")},
        {"ErrorGiven", CError(Text("Disk full."), Text("Burn")).Clone(), Text("Burn"), Text("Disk full.")},
        {"Parse", CParseError(Text("bad")).Clone(), Text("Parse error"), Text("bad")},
        {"NoSuchObject", CNoSuchObjectError().Clone(), Text("Error"), Text("No such object.")},
        {"NoSuchObjectGiven", CNoSuchObjectError(Text("gone")).Clone(), Text("Error"), Text("gone")},
        {"URIWithUri", CURIError(Text("Bad address %URI%."), uri).Clone(), Text("Error"),
         Text("Bad address file:///C:/data/x.txt.")},
        {"URIWithoutUri", CURIError(Text("Bad address %URI%.")).Clone(), Text("Error"),
         Text("Bad address <uri unknown>.")},
        {"URIEmpty", CURIError().Clone(), Text("Error"), Text("Unspecified error")},
        // The address is put in once: a "%URI%" inside it is text, not another placeholder.
        {"URIHoldingThePlaceholder", CURIError(Text("Bad address %URI%."), New<CTestURI>(L"file:///C:/%URI%/x")).Clone(),
         Text("Error"), Text("Bad address file:///C:/%URI%/x.")},
        {"FileError", CFileError(Text("%URI%!"), uri).Clone(), Text("Error"), Text("file:///C:/data/x.txt!")},
        {"FileNotFound", CFileNotFoundError().Clone(), Text("Error"), Text("The file was not found.")},
        // A file URI is named by its Windows path; what has no such path keeps its own text.
        {"FileNotFoundUri", CFileNotFoundError(CURI::Parse(Text("file:///C:/data/x.txt"))).Clone(), Text("Error"),
         Text("The file 'C:\\data\\x.txt' was not found.")},
        {"FileNotFoundNetworkUri", CFileNotFoundError(CURI::Parse(Text("file://srv/share/x.txt"))).Clone(),
         Text("Error"), Text("The file '\\\\srv\\share\\x.txt' was not found.")},
        {"FileNotFoundOtherScheme", CFileNotFoundError(CURI::Parse(Text("http://example.com/x.txt"))).Clone(),
         Text("Error"), Text("The file 'http://example.com/x.txt' was not found.")},
        {"FileNotFoundTextOnlyUri", CFileNotFoundError(uri).Clone(), Text("Error"),
         Text("The file 'file:///C:/data/x.txt' was not found.")},
        {"FileNotFoundLongRelative", CFileNotFoundError(longRelative).Clone(), Text("Error"),
         Text("The file '") + Text(std::string(300, 'a').c_str()) + "' was not found."},
        {"Stream", CStreamError(Text("Read failed on %URI%"), uri).Clone(), Text("Error"),
         Text("Read failed on file:///C:/data/x.txt")},
        {"StreamClosed", CStreamClosedError(uri).Clone(), Text("Error"), Text("The stream has been closed.")},
        {"EndOfStream", CEndOfStreamError().Clone(), Text("Error"), Text("Unexpected end of data stream.")},
        {"EndOfStreamUri", CEndOfStreamError(uri).Clone(), Text("Error"),
         Text("Unexpected end of data stream (uri: 'file:///C:/data/x.txt').")},
        {"ObjectNothing", CObjectError().Clone(), Text("Object error"), Text("unknown object")},
        {"ObjectOnly", CObjectError(array.Get()).Clone(), Text("Object error"), ArrayDescription()},
        {"ObjectType", CObjectError(nullptr, arrayType).Clone(), Text("Object error"), arrayClass},
        {"ObjectMessage", CObjectError(array.Get(), nullptr, Text("Broken: %OBJECTDESC%")).Clone(),
         Text("Object error"), Text("Broken: ") + ArrayDescription()},
        {"ObjectMessageWithout", CObjectError(array.Get(), nullptr, Text("Broken.")).Clone(),
         Text("Object error"), Text("Broken.")},
        {"MethodNotImplemented", CMethodNotImplementedError(Text("Seek"), array.Get()).Clone(),
         Text("Object error"), Text("Method not implemented (") + ArrayDescription() + "): Seek."},
        {"MethodNotImplementedEmpty", CMethodNotImplementedError(Text("")).Clone(), Text("Object error"),
         Text("Method not implemented (unknown object): unspecified method.")},
        {"InvalidState", CInvalidObjectStateError(Text("closed"), nullptr, arrayType).Clone(),
         Text("Object error"), Text("The object is in an invalid state (") + arrayClass + "): closed."},
        {"InvalidStateSentence", CInvalidObjectStateError(Text("not all parameters were pushed.")).Clone(),
         Text("Object error"),
         Text("The object is in an invalid state (unknown object): not all parameters were pushed.")},
        {"EndOfEnum", CEndOfEnumError().Clone(), Text("Object error"),
         Text("The object is in an invalid state (unknown object): end of enumeration already reached.")},
        {"Cast", CCastError(array.Get(), &typeid(IString)).Clone(), Text("Cast error"), cast},
        {"InvalidArgBare", CInvalidArgError(Text("CStringFormat: invalid format string.")).Clone(),
         Text("Object error"),
         Text("An invalid argument was passed to method 'unspecified method' of 'unknown object': "
              "CStringFormat: invalid format string.")},
        {"InvalidArgFull", CInvalidArgError(Text(""), Text("Push"), array.Get()).Clone(), Text("Object error"),
         Text("An invalid argument was passed to method 'Push' of '") + ArrayDescription() +
             "': unspecified argument"},
    };
}

TEST(Errors, TitlesAndDescriptions) {
    for (const DescriptionCase& c : DescriptionCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.error->GetTitle().Equals(c.title));
        EXPECT_TRUE(c.error->GetDescription().Equals(c.description))
            << static_cast<const char*>(c.error->GetDescription().ConvertTo(Latin1Encoding()).Data());
        EXPECT_STREQ(c.error->what(), static_cast<const char*>(c.description.ConvertTo(Latin1Encoding()).Data()));
    }
}

TEST(Errors, CloneKeepsTheClassTheTextsAndTheNamedObjects) {
    P<CArray> array = New<CArray>();
    P<CException> copy;
    try {
        throw CInvalidArgError(Text("bad"), Text("Set"), array.Get());
    } catch (const CException& e) {
        copy = e.Clone();
    }
    EXPECT_EQ(array->RefCount(), 2) << "the kept error holds the object";
    auto* typed = dynamic_cast<CInvalidArgError*>(copy.Get());
    ASSERT_NE(typed, nullptr);
    EXPECT_TRUE(typed->GetMethod().Equals("Set"));
    EXPECT_TRUE(typed->GetArgument().Equals("bad"));
    EXPECT_EQ(typed->Object().Get(), static_cast<IBase*>(array.Get()));
    EXPECT_EQ(typed->ObjectType(), &typeid(CArray));
    copy.Reset();
    EXPECT_EQ(array->RefCount(), 1);
}

TEST(Errors, WhatGivesTheDescriptionInTheCodePage) {
    CError wide(String(L"Fehler: Grüße"));
    EXPECT_STREQ(wide.what(), "Fehler: Gr\xFC\xDF" "e");  // the C locale maps bytes one to one
    String narrow = String::FromCodePage("already narrow");
    CError kept(narrow);
    EXPECT_EQ(static_cast<const void*>(kept.what()), narrow.Data());
}

TEST(Errors, RaiseSystemErrorForAMissingFileNamesTheFile) {
    P<IURI> uri = CURI::Parse(Text("file:///C:/missing/file.txt"));
    for (uint32_t code : {2u, 3u}) {
        try {
            RaiseSystemError(code, String("unused %ERRORDESC%"), uri.Get());
        } catch (const CFileNotFoundError& e) {
            EXPECT_TRUE(e.GetDescription().Equals("The file 'C:\\missing\\file.txt' was not found."));
            EXPECT_EQ(e.GetURI(), uri);
        }
    }
    EXPECT_THROW(RaiseSystemError(2, String::Null(), New<CArray>().Get()), CFileNotFoundError);
}

TEST(Errors, RaiseSystemErrorAddsTheSystemTextWithoutLineBreak) {
    wchar_t expected[512];
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 5, 0,
                               expected, 512, nullptr);
    ASSERT_GT(n, 0u);
    while (n > 0 && (expected[n - 1] == L'\n' || expected[n - 1] == L'\r')) --n;
    String systemText = String::Copy(expected, int32_t(n));
    try {
        RaiseSystemError(5, String("Cannot write: %ERRORDESC%"));
        FAIL() << "no error";
    } catch (const CFileNotFoundError&) {
        FAIL() << "wrong class";
    } catch (const CError& e) {
        EXPECT_TRUE(e.GetTitle().Equals("Error"));
        EXPECT_TRUE(e.GetDescription().Equals(String("Cannot write: ") + systemText));
        EXPECT_FALSE(e.GetDescription().EndsWith("\n"));
    }
    try {
        RaiseSystemError(5);
    } catch (const CError& e) {
        EXPECT_TRUE(e.GetDescription().Equals(systemText));
    }
    // A code the system has no text for still gives a description.
    try {
        RaiseSystemError(0x2FFFFFFF, String("Failed: %ERRORDESC%"));
    } catch (const CError& e) {
        EXPECT_TRUE(e.GetDescription().StartsWith("Failed: System error"));
    }
}

TEST(Localizer, AnEmptyLocalizerAnswersTheDefault) {
    EXPECT_TRUE(LookupLocalizedText(String("kest.CNoSuchObjectError.desc"), String(L"No such object."))
                    .Equals("No such object."));
}

}  // namespace kest_test
