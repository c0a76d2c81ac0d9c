// Language packs: the translated texts of the user interface for one language, read from a
// flat pack ("LANGPACK", "LANGPCK2", "LANGPU16") or from a resource file ("URESFILE").
//
// A pack file is anyone's to drop into the language folder, so every declared count and length
// is checked against the bytes left in its file (and, in a resource file, in its chunk) before
// anything is read or allocated: a file that lies about a length is refused, never trusted.
#pragma once

#include "kest/Stream.h"
#include "lang/LangTextTable.h"
#include "lang/LanguageTag.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class CLangPack {
public:
    explicit CLangPack(std::wstring filePath);
    virtual ~CLangPack();
    CLangPack(const CLangPack&) = delete;
    CLangPack& operator=(const CLangPack&) = delete;

    // 1 for a flat pack, 2 for a resource file.
    virtual int GetFormat() const { return 1; }
    virtual bool IsLoaded() const { return m_loaded; }
    // Frees every text; loaded becomes false.
    virtual void Clear();
    virtual const std::wstring& GetFirstDescription() const { return m_firstDescription; }
    virtual const std::wstring& GetSecondDescription() const { return m_secondDescription; }
    virtual const std::wstring& GetNativeName() const { return m_nativeName; }
    virtual const LanguageTag& GetLanguageTag() const { return m_tag; }
    virtual const std::wstring& GetComment() const { return m_comment; }
    virtual const std::wstring& GetFilePath() const { return m_filePath; }
    // The tag as text; the native name when the pack has no tag.
    virtual std::wstring GetLanguageCode() const;
    // The text for the key, or null; it stays valid until the texts are cleared. Keys compare
    // case-sensitively.
    virtual const TextUnit* Lookup(std::string_view key) const;

    // Flat pack: reads the header from the file's start and leaves the file at the body. True
    // when the signature is known, the version is 0 or 1 and the header strings fit into the
    // header length.
    bool ReadHeader(kest::ISeekableInStream& file, uint32_t& version, uint32_t& layout);
    // Flat pack: reads the body from the file's position. True, and loaded, when every entry lay
    // within the file; otherwise false, keeping the entries read before the damage.
    bool LoadTexts(kest::ISeekableInStream& file, bool clear, uint32_t layout);

    size_t GetTextCount() const { return m_texts ? m_texts->Size() : 0; }
    // Calls visit(key, text) for every text, in no particular order.
    template <typename Visit>
    void ForEachText(Visit&& visit) const {
        if (m_texts) m_texts->ForEach(visit);
    }

    // What Lookup answers, without the virtual call: the program's text lookup runs it inline.
    const TextUnit* FindText(std::string_view key) const { return m_texts ? m_texts->Find(key) : nullptr; }

protected:
    // The texts, made on first use.
    LangTextTable& Texts();

    bool m_loaded = false;
    std::wstring m_firstDescription, m_secondDescription, m_comment, m_nativeName, m_filePath;
    LanguageTag m_tag;
    std::unique_ptr<LangTextTable> m_texts;  // none until the first text
    bool m_wide = false;
};

namespace chk {
class IStream;
}

// A pack file's bytes in memory (the mapped file), which texts may be used in place of being
// copied; owner keeps them. Empty when the file is not in memory.
struct PackBytes {
    uint8_t* data = nullptr;
    size_t size = 0;
    std::shared_ptr<void> owner;
};

class CLangPack2 : public CLangPack {
public:
    using CLangPack::CLangPack;

    int GetFormat() const override { return 2; }

    // Reads the language, the descriptive strings and the comment; false on any error.
    bool ReadHeader(const std::wstring& path);
    // The same on a file the caller opened (the pack manager opens each file once to list it);
    // path is the pack's file path.
    bool ReadHeader(const std::wstring& path, kest::ISeekableInStream& file);
    // Reads the header and every string table; false (not loaded) on any error.
    bool LoadTexts(const std::wstring& path, bool clear);

    // What the three above do once the file is open: from a stream over the whole file, and
    // with its bytes in memory where the caller has them (a string table lying there whole and
    // at an even offset is used in place; it may have its terminators written). path becomes
    // the pack's file path.
    bool ReadHeaderFrom(const std::wstring& path, chk::IStream& stream);
    bool LoadTextsFrom(const std::wstring& path, chk::IStream& stream, const PackBytes& bytes, bool clear);
};

// Opens a pack file for reading; raises the foundation's errors when it cannot.
kest::P<kest::ISeekableInStream> OpenPackFile(const std::wstring& path);
