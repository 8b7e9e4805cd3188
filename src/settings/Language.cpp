#include "settings/Language.h"

#include <filesystem>
#include <optional>

#include "Utils/Platform.h"
#include "Utils/StringList.h"
#include "settings/ConfigLocation.h"
#include "settings/MessageTable.h"
#include "settings/XmlValues.h"
#include "support/Error.h"
#include "support/Text.h"
#include "support/Path.h"

namespace qb {

// --- Collections ---------------------------------------------------------------

template <class T>
int TXMLCollection<T>::Count() const {
    int n = 0;
    for (pugi::xml_node c = parent_.child(itemName_); c; c = c.next_sibling(itemName_)) ++n;
    return n;
}

template <class T>
T TXMLCollection<T>::Item(int index) const {
    int n = 0;
    for (pugi::xml_node c = parent_.child(itemName_); c; c = c.next_sibling(itemName_))
        if (n++ == index) return T(c);
    throw Error("List index out of bounds (" + std::to_string(index) + ") in " + NodePath(parent_));
}

template <class T>
T TXMLCollection<T>::Add() {
    return T(parent_.append_child(itemName_));
}

template <class T>
T TXMLCollection<T>::Insert(int index) {
    if (index == Count()) return Add();
    pugi::xml_node before = Item(index).Node();
    return T(parent_.insert_child_before(itemName_, before));
}

template <class T>
std::vector<T> TXMLCollection<T>::Items() const {
    std::vector<T> items;
    for (pugi::xml_node c = parent_.child(itemName_); c; c = c.next_sibling(itemName_)) items.emplace_back(c);
    return items;
}

template class TXMLCollection<TXMLTextType>;
template class TXMLCollection<TXMLControlType>;
template class TXMLCollection<TXMLFormType>;
template class TXMLCollection<TXMLLanguageType>;

// --- Nodes ---------------------------------------------------------------------

namespace {

std::int32_t AttrInt(pugi::xml_node node, const char* name) {
    return TextToInt(node.attribute(name).value(), NodePath(node) + "/@" + name);
}

void SetAttr(pugi::xml_node node, const char* name, const std::string& value) {
    GetOrAddAttribute(node, name).set_value(value.c_str());
}

// An integer attribute, or nothing when it is absent or no number.
std::optional<std::int32_t> OptionalAttrInt(pugi::xml_node node, const char* name) {
    return ParseInt(node.attribute(name).value());
}

}  // namespace

std::int32_t TXMLTextType::ID() const { return AttrInt(node_, "ID"); }
std::string TXMLTextType::Text() const { return ElementText(node_); }
void TXMLTextType::SetID(std::int32_t id) { SetAttr(node_, "ID", IntToText(id)); }
void TXMLTextType::SetText(const std::string& text) { SetElementText(node_, text); }

std::string TXMLFontType::Name() const { return node_.attribute("Name").value(); }
std::int32_t TXMLFontType::Size() const { return AttrInt(node_, "Size"); }
std::int32_t TXMLFontType::Charset() const { return AttrInt(node_, "Charset"); }
void TXMLFontType::SetName(const std::string& v) { SetAttr(node_, "Name", v); }
void TXMLFontType::SetSize(std::int32_t v) { SetAttr(node_, "Size", IntToText(v)); }
void TXMLFontType::SetCharset(std::int32_t v) { SetAttr(node_, "Charset", IntToText(v)); }

std::string TXMLControlType::Name() const { return node_.attribute("Name").value(); }
std::string TXMLControlType::Caption() const { return ElementText(node_.child("Caption")); }
std::string TXMLControlType::Hint() const { return ElementText(node_.child("Hint")); }
std::string TXMLControlType::Text() const { return ElementText(node_.child("Text")); }
void TXMLControlType::SetName(const std::string& v) { SetAttr(node_, "Name", v); }
void TXMLControlType::SetCaption(const std::string& v) { SetElementText(GetOrAddChild(node_, "Caption"), v); }
void TXMLControlType::SetHint(const std::string& v) { SetElementText(GetOrAddChild(node_, "Hint"), v); }
void TXMLControlType::SetText(const std::string& v) { SetElementText(GetOrAddChild(node_, "Text"), v); }

std::string TXMLFormType::Name() const { return node_.attribute("Name").value(); }
void TXMLFormType::SetName(const std::string& v) { SetAttr(node_, "Name", v); }
TXMLFontType TXMLFormType::Font() const { return TXMLFontType(GetOrAddChild(node_, "Font")); }

std::string TXMLLanguageType::Name() const { return node_.attribute("Name").value(); }
std::int32_t TXMLLanguageType::LangID() const { return AttrInt(node_, "LangID"); }
std::int32_t TXMLLanguageType::SubLangID() const { return AttrInt(node_, "SubLangID"); }
TXMLStringTableType TXMLLanguageType::StringTable() const {
    return TXMLStringTableType(GetOrAddChild(node_, "StringTable"));
}
TXMLFormsType TXMLLanguageType::Forms() const { return TXMLFormsType(GetOrAddChild(node_, "Forms")); }
void TXMLLanguageType::SetName(const std::string& v) { SetAttr(node_, "Name", v); }
void TXMLLanguageType::SetLangID(std::int32_t v) { SetAttr(node_, "LangID", IntToText(v)); }
void TXMLLanguageType::SetSubLangID(std::int32_t v) { SetAttr(node_, "SubLangID", IntToText(v)); }

// --- Documents -----------------------------------------------------------------

std::string TLanguageDocument::ToText() { return XmlToString(doc_, true); }

std::shared_ptr<TLanguageDocument> LoadLanguageDocument(const std::string& path) {
    auto doc = std::make_shared<TLanguageDocument>();
    LoadXmlFile(doc->Xml(), path);
    std::string root = doc->Xml().document_element().name();
    if (root != "Languages")
        throw Error("Cannot read \"" + path + "\": the root element is <" + root + ">, not <Languages>");
    return doc;
}

std::shared_ptr<TLanguageDocument> NewLanguageDocument() {
    auto doc = std::make_shared<TLanguageDocument>();
    SetXmlDeclaration(doc->Xml(), "1.0", "");
    doc->Xml().append_child("Languages");
    return doc;
}

// --- State ---------------------------------------------------------------------

namespace {

struct LanguageState {
    std::shared_ptr<TLanguageDocument> doc;
    std::string path;
    // The current language and the document that holds it.
    std::shared_ptr<TLanguageDocument> currentOwner;
    pugi::xml_node current;
    std::int32_t threadLocale = 0;
    std::int32_t recordedLocale = 0;
    bool localeRecorded = false;
};

LanguageState& State() {
    static LanguageState state;
    return state;
}

bool IsFileThere(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(FsPath(path), ec));
}

// At most max characters of UTF-8 text, never cutting a character in two.
std::string LimitChars(const std::string& text, std::size_t max) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (chars == max) return text.substr(0, i);
            ++chars;
        }
    }
    return text;
}

}  // namespace

std::string LanguagePathFor(const std::string& modulePath) {
    return Utf8Of(FsPath(modulePath).replace_extension(".lng"));
}

void StartUpLanguage(const std::string& modulePath) {
    const TConfigFile file = ConfigFileFor(modulePath, ".lng");
    const std::string& path = file.readPath;
    std::shared_ptr<TLanguageDocument> doc;
    if (IsFileThere(path)) {
        try {
            doc = LoadLanguageDocument(path);
        } catch (const std::exception&) {
            ShowError("Error loading UI language files, use default(English).");
        }
    }
    if (!doc) {
        doc = NewLanguageDocument();
        SetDeclaredEncoding(doc->Xml(), "UTF-8");
    }
    SetLanguageDocument(std::move(doc), file.writePath);
}

std::shared_ptr<TLanguageDocument> LanguageDocument() { return State().doc; }

void SetLanguageDocument(std::shared_ptr<TLanguageDocument> doc, const std::string& path) {
    State().doc = std::move(doc);
    State().path = path;
}

TXMLLanguageType CurrentLanguage() { return TXMLLanguageType(State().current); }

void SelectLanguage(const std::string& name) {
    LanguageState& st = State();
    if (st.doc) {
        for (TXMLLanguageType lang : st.doc->Languages().Items()) {
            if (EqualsNoCase(lang.Name(), name)) {
                st.current = lang.Node();
                st.currentOwner = st.doc;
                break;
            }
        }
    }
    if (!st.current) return;
    for (TXMLTextType text : TXMLLanguageType(st.current).StringTable().Items()) {
        std::optional<std::int32_t> id = OptionalAttrInt(text.Node(), "ID");
        // A Text without a usable ID is skipped; the rest of the language still counts.
        if (!id || *id < 0 || *id >= kMessageCount) continue;
        std::string message = text.Text();
        if (message.empty()) continue;
        SetMsg(*id, message);
    }
}

std::vector<std::string> LanguageNames() {
    std::vector<std::string> names;
    if (auto doc = State().doc)
        for (TXMLLanguageType lang : doc->Languages().Items()) names.push_back(lang.Name());
    return names;
}

IUiComponent* FindControlByName(IUiComponent& component, const std::string& name) {
    if (name.empty()) return nullptr;
    if (EqualsNoCase(component.Name(), name)) return &component;
    for (IUiComponent* owned : component.Owned())
        if (owned)
            if (IUiComponent* hit = FindControlByName(*owned, name)) return hit;
    return nullptr;
}

void ApplyLanguage(TXMLLanguageType language, IUiComponent& window) {
    if (!language) return;
    for (TXMLFormType form : language.Forms().Items()) {
        if (!EqualsNoCase(form.Name(), window.ClassName())) continue;
        pugi::xml_node fontNode = form.Font().Node();
        std::string face = fontNode.attribute("Name").value();
        std::optional<std::int32_t> size = OptionalAttrInt(fontNode, "Size");
        std::optional<std::int32_t> charset = OptionalAttrInt(fontNode, "Charset");

        // Values the entry lacks keep what the window has.
        TUiFont windowFont = window.Font();
        if (!face.empty()) windowFont.name = face;
        if (size) windowFont.size = *size;
        if (charset) windowFont.charset = *charset;
        window.SetFont(windowFont);

        for (TXMLControlType entry : form.Control().Items()) {
            IUiComponent* control = FindControlByName(window, entry.Name());
            if (!control) continue;
            TComponentKind kind = control->Kind();
            if (kind == TComponentKind::Edit || kind == TComponentKind::Component) continue;
            control->SetHint(entry.Hint());
            TUiFont font = control->Font();
            if (charset) font.charset = *charset;
            if (!face.empty()) font.name = face;
            control->SetFont(font);
            switch (kind) {
                case TComponentKind::Label: control->SetCaption(entry.Caption()); break;
                case TComponentKind::RadioGroup:
                    control->SetItems(SplitLines(entry.Text()));
                    control->SetCaption(entry.Caption());
                    break;
                case TComponentKind::ComboBox:
                case TComponentKind::ListBox: control->SetItems(SplitLines(entry.Text())); break;
                case TComponentKind::Window:
                case TComponentKind::WinControl: control->SetCaption(entry.Caption()); break;
                default: break;
            }
        }
    }
}

namespace {

void CaptureComponent(IUiComponent& component, TXMLFormType form) {
    TComponentKind kind = component.Kind();
    std::string name = component.Name();
    if (name.empty() || kind == TComponentKind::Edit || kind == TComponentKind::Component) return;
    TXMLControlType entry = form.Control().Add();
    entry.SetName(name);
    std::string caption;
    std::vector<std::string> items;
    switch (kind) {
        case TComponentKind::RadioGroup:
            caption = component.Caption();
            items = component.Items();
            break;
        case TComponentKind::Label: caption = component.Caption(); break;
        case TComponentKind::ComboBox:
        case TComponentKind::ListBox: items = component.Items(); break;
        case TComponentKind::Window:
        case TComponentKind::WinControl: caption = LimitChars(component.Caption(), 4096); break;
        default: break;
    }
    entry.SetCaption(caption);
    entry.SetHint(component.Hint());
    if (!items.empty()) entry.SetText(JoinLines(items));
}

void CaptureOwned(IUiComponent& owner, TXMLFormType form) {
    for (IUiComponent* owned : owner.Owned()) {
        if (!owned) continue;
        CaptureOwned(*owned, form);
        CaptureComponent(*owned, form);
    }
}

}  // namespace

void CaptureWindow(IUiComponent& window, TXMLFormType form) {
    form.SetName(window.ClassName());
    TUiFont font = window.Font();
    TXMLFontType fontNode = form.Font();
    fontNode.SetName(font.name);
    fontNode.SetSize(font.size);
    fontNode.SetCharset(font.charset);
    CaptureOwned(window, form);
}

void WriteNewLanguage(const std::string& name, IUiComponent& wizard, IUiComponent* aboutBox) {
    LanguageState& st = State();
    if (!st.doc) st.doc = NewLanguageDocument();
    if (st.path.empty()) throw Error("No language file has been named");
    TXMLLanguageType lang = st.doc->Languages().Add();
    lang.SetName(name);
    TXMLStringTableType table = lang.StringTable();
    for (int id = 0; id < kMessageCount; ++id) {
        TXMLTextType text = table.Add();
        text.SetID(id);
        text.SetText(Msg(id));
    }
    TXMLFormsType forms = lang.Forms();
    CaptureWindow(wizard, forms.Add());
    if (aboutBox) CaptureWindow(*aboutBox, forms.Add());
    MakeParentFolder(st.path);
    ReplaceFile(st.path, st.doc->ToText());
}

void ApplyLanguageLocale() {
    LanguageState& st = State();
    // Only the first call sees the locale from before the plug-in changed it.
    if (!st.localeRecorded) {
        st.recordedLocale = st.threadLocale;
        st.localeRecorded = true;
    }
    if (!st.current) return;
    // A language without a usable LangID leaves the locale as it is.
    std::optional<std::int32_t> id = OptionalAttrInt(st.current, "LangID");
    if (id && *id > 0) st.threadLocale = *id;
}

std::int32_t ThreadLocale() { return State().threadLocale; }

void RestoreThreadLocale() {
    LanguageState& st = State();
    if (st.localeRecorded) st.threadLocale = st.recordedLocale;
    st.localeRecorded = false;
}

void ReleaseLanguages() {
    LanguageState& st = State();
    st.current = pugi::xml_node();
    st.currentOwner.reset();
    st.doc.reset();
    st.path.clear();
}

}  // namespace qb
