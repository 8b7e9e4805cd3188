#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "settings/UiComponent.h"

// Typed binding of the UI language file:
// <Languages><Language Name LangID SubLangID><StringTable><Text ID>..</Text>...
// <Forms><Form Name><Font Name Size Charset/><Control Name><Caption/><Hint/><Text/>...
// Absent texts read as empty; absent or bad integers raise qb::Error.
// Node getters create their element when it is missing.
namespace qb {

// Elements of one name below a parent, in document order.
template <class T>
class TXMLCollection {
public:
    TXMLCollection(pugi::xml_node parent, const char* itemName) : parent_(parent), itemName_(itemName) {}
    pugi::xml_node Node() const { return parent_; }
    int Count() const;
    // Raises qb::Error for an index outside 0..Count()-1.
    T Item(int index) const;
    T Add();
    // Inserts before item index; at the end when index is Count().
    T Insert(int index);
    std::vector<T> Items() const;

private:
    pugi::xml_node parent_;
    const char* itemName_;
};

class TXMLTextType {
public:
    explicit TXMLTextType(pugi::xml_node node) : node_(node) {}
    pugi::xml_node Node() const { return node_; }
    std::int32_t ID() const;
    std::string Text() const;
    void SetID(std::int32_t id);
    void SetText(const std::string& text);

private:
    pugi::xml_node node_;
};

class TXMLStringTableType : public TXMLCollection<TXMLTextType> {
public:
    explicit TXMLStringTableType(pugi::xml_node node) : TXMLCollection(node, "Text") {}
};

class TXMLFontType {
public:
    explicit TXMLFontType(pugi::xml_node node) : node_(node) {}
    pugi::xml_node Node() const { return node_; }
    std::string Name() const;
    std::int32_t Size() const;
    std::int32_t Charset() const;
    void SetName(const std::string& v);
    void SetSize(std::int32_t v);
    void SetCharset(std::int32_t v);

private:
    pugi::xml_node node_;
};

class TXMLControlType {
public:
    explicit TXMLControlType(pugi::xml_node node) : node_(node) {}
    pugi::xml_node Node() const { return node_; }
    std::string Name() const;
    std::string Caption() const;
    std::string Hint() const;
    // Item texts, one a line.
    std::string Text() const;
    void SetName(const std::string& v);
    void SetCaption(const std::string& v);
    void SetHint(const std::string& v);
    void SetText(const std::string& v);

private:
    pugi::xml_node node_;
};

class TXMLControlTypeList : public TXMLCollection<TXMLControlType> {
public:
    explicit TXMLControlTypeList(pugi::xml_node form) : TXMLCollection(form, "Control") {}
};

class TXMLFormType {
public:
    explicit TXMLFormType(pugi::xml_node node) : node_(node) {}
    pugi::xml_node Node() const { return node_; }
    std::string Name() const;
    void SetName(const std::string& v);
    TXMLFontType Font() const;
    TXMLControlTypeList Control() const { return TXMLControlTypeList(node_); }

private:
    pugi::xml_node node_;
};

class TXMLFormsType : public TXMLCollection<TXMLFormType> {
public:
    explicit TXMLFormsType(pugi::xml_node node) : TXMLCollection(node, "Form") {}
};

// May be null (no language); test with operator bool.
class TXMLLanguageType {
public:
    TXMLLanguageType() = default;
    explicit TXMLLanguageType(pugi::xml_node node) : node_(node) {}
    explicit operator bool() const { return bool(node_); }
    pugi::xml_node Node() const { return node_; }
    std::string Name() const;
    std::int32_t LangID() const;
    std::int32_t SubLangID() const;
    TXMLStringTableType StringTable() const;
    TXMLFormsType Forms() const;
    void SetName(const std::string& v);
    void SetLangID(std::int32_t v);
    void SetSubLangID(std::int32_t v);

private:
    pugi::xml_node node_;
};

class TXMLLanguagesType : public TXMLCollection<TXMLLanguageType> {
public:
    explicit TXMLLanguagesType(pugi::xml_node node) : TXMLCollection(node, "Language") {}
};

// An owned language document. Shared, because the current language may
// belong to a document that start-up has since replaced.
class TLanguageDocument {
public:
    TLanguageDocument() = default;
    TLanguageDocument(const TLanguageDocument&) = delete;
    TLanguageDocument& operator=(const TLanguageDocument&) = delete;
    pugi::xml_document& Xml() { return doc_; }
    TXMLLanguagesType Languages() { return TXMLLanguagesType(doc_.document_element()); }
    // UTF-8, indented for translators.
    std::string ToText();

private:
    pugi::xml_document doc_;
};

// Parses the file; raises qb::Error when it is no XML or its root is not <Languages>.
std::shared_ptr<TLanguageDocument> LoadLanguageDocument(const std::string& path);
// <?xml version="1.0"?><Languages/>.
std::shared_ptr<TLanguageDocument> NewLanguageDocument();

// --- The process's languages --------------------------------------------------

// Module path with its extension replaced by ".lng".
std::string LanguagePathFor(const std::string& modulePath);
// Start-up: reads the language file anew (a new document when there is none;
// an error box and a new document when it cannot be read).
void StartUpLanguage(const std::string& modulePath);
std::shared_ptr<TLanguageDocument> LanguageDocument();
void SetLanguageDocument(std::shared_ptr<TLanguageDocument> doc, const std::string& path);
// Null when no language was ever selected.
TXMLLanguageType CurrentLanguage();
// Makes the first language of that name (ASCII case ignored) current and copies
// its texts into the message table; an unknown name keeps the current language.
void SelectLanguage(const std::string& name);
// Names of the languages of the held document, in document order.
std::vector<std::string> LanguageNames();

// Applies the language's entries for the window's class; nothing for a null language.
void ApplyLanguage(TXMLLanguageType language, IUiComponent& window);
// Fills form from the window: class name, font, then one Control per named
// control, the components a component owns before the component itself.
void CaptureWindow(IUiComponent& window, TXMLFormType form);
// The component of that name (ASCII case ignored), depth first; null when none.
IUiComponent* FindControlByName(IUiComponent& component, const std::string& name);
// Adds a language holding the message table and the windows' texts to the held
// document and saves it to the language file; raises qb::Error when it cannot.
void WriteNewLanguage(const std::string& name, IUiComponent& wizard, IUiComponent* aboutBox);

// Locale: there is no thread locale here, so start-up records the LangID the
// current language asks for and the wizard reads it from here.
// Records the locale in force (first call only) and takes the current
// language's LangID when it has a usable one.
void ApplyLanguageLocale();
// LangID in force; 0 stands for the user's default locale.
std::int32_t ThreadLocale();
// Back to the locale recorded before the plug-in changed it (library unload).
void RestoreThreadLocale();

// Drops documents and the current language (library unload; tests).
void ReleaseLanguages();

}  // namespace qb
