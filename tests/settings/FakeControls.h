#pragma once
// In-memory stand-ins for the wizard's controls and windows.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Platform.h"
#include "SettingsControls.h"
#include "UiComponent.h"

namespace qbtest {

// Holds each control value; records the order in which values were set.
class FakeControls : public qb::ISettingsControls {
public:
    std::vector<std::string> setLog;

    std::map<std::string, std::string> text;
    std::map<std::string, bool> check;
    std::map<std::string, int> index;
    bool tabStyles[5] = {};
    bool winBtns[15] = {};
    qb::TFontValue font{"Tahoma", 12, 0xFF000008u};
    std::vector<std::string> attachFiles;

    FakeControls() {
        // The wizard's design defaults.
        text = {{"cbbLanguage", "Default(En) *"}, {"cbbEncoding", "UTF-8"}, {"cbbCHMWinSize", "[0,0,800,600]"},
                {"edtCHMTabWidth", "300"}};
        check = {{"chkAttachments", true}, {"chkClearTempFile", true}, {"chkKeepDir", true},
                 {"chkIgnoreTopNode", true}, {"chkSubItems", true},      {"chkNavLink", true},
                 {"chkMakePopupMenu", true}, {"chkFullSearch", true},    {"chkCHMTab", true},
                 {"chkOpenCHMFile", true}};
        index = {{"rgDataSource", 0}, {"rgConverter", 1}, {"cbbDefaultTab", -1}};
    }

#define QB_FAKE_TEXT(N)                                                        \
    std::string Get##N() const override { return Text(#N); }                   \
    void Set##N(const std::string& v) override { Log(#N); text[Lower(#N)] = v; }
#define QB_FAKE_CHECK(N)                                                       \
    bool Get##N() const override { return Check(#N); }                         \
    void Set##N(bool v) override { Log(#N); check[Lower(#N)] = v; }
#define QB_FAKE_INDEX(N)                                                       \
    int Get##N() const override { return Index(#N); }                          \
    void Set##N(int v) override { Log(#N); index[Lower(#N)] = v; }

    QB_FAKE_TEXT(CbbLanguage)
    QB_FAKE_INDEX(RgDataSource)
    QB_FAKE_INDEX(RgConverter)
    QB_FAKE_CHECK(ChkAttachments)
    QB_FAKE_CHECK(ChkOverWrite)
    QB_FAKE_CHECK(ChkClearTempFile)
    QB_FAKE_CHECK(ChkKeepDir)
    QB_FAKE_CHECK(ChkNiceDirName)
    QB_FAKE_CHECK(ChkIgnoreTopNode)
    QB_FAKE_CHECK(ChkIgnoreEmptyNode)
    QB_FAKE_CHECK(ChkSubItems)
    QB_FAKE_CHECK(ChkNavLink)
    QB_FAKE_CHECK(ChkMakePopupMenu)
    QB_FAKE_TEXT(CbbEncoding)
    QB_FAKE_TEXT(MmoHeader)
    QB_FAKE_TEXT(MmoFooter)
    QB_FAKE_TEXT(CbbCHMLanguage)
    QB_FAKE_CHECK(ChkFullSearch)
    QB_FAKE_TEXT(CbbCHMWinSize)
    QB_FAKE_CHECK(ChkOnTop)
    QB_FAKE_TEXT(EdtCHMTitle)
    QB_FAKE_CHECK(ChkCHMTab)
    QB_FAKE_TEXT(EdtCHMTabWidth)
    QB_FAKE_INDEX(CbbDefaultTab)
    QB_FAKE_TEXT(EdtUserButtonCaption)
    QB_FAKE_TEXT(EdtUserButtonURL)
    QB_FAKE_TEXT(EdtDefaultPage)
    QB_FAKE_TEXT(EdtRootPath)
    QB_FAKE_CHECK(ChkOpenCHMFile)
    QB_FAKE_TEXT(SiteFolder)
#undef QB_FAKE_TEXT
#undef QB_FAKE_CHECK
#undef QB_FAKE_INDEX

    qb::TFontValue GetLblFontPreview() const override { return font; }
    void SetLblFontPreview(const qb::TFontValue& f) override {
        Log("LblFontPreview");
        font = f;
    }
    bool GetChklstTabStyles(int item) const override { return tabStyles[item]; }
    void SetChklstTabStyles(int item, bool v) override {
        Log("ChklstTabStyles" + std::to_string(item));
        tabStyles[item] = v;
    }
    bool GetChklstWinBtns(int item) const override { return winBtns[item]; }
    void SetChklstWinBtns(int item, bool v) override {
        Log("ChklstWinBtns" + std::to_string(item));
        winBtns[item] = v;
    }
    std::vector<std::string> GetLstAttachFiles() const override { return attachFiles; }
    void SetLstAttachFiles(const std::vector<std::string>& items) override {
        Log("LstAttachFiles");
        attachFiles = items;
    }

    bool WasSet(const std::string& name) const {
        for (const auto& n : setLog)
            if (n == name) return true;
        return false;
    }

private:
    static std::string Lower(std::string s) {
        s[0] = static_cast<char>(s[0] - 'A' + 'a');
        return s;
    }
    void Log(const std::string& n) { setLog.push_back(n); }
    std::string Text(const std::string& n) const {
        auto it = text.find(Lower(n));
        return it == text.end() ? "" : it->second;
    }
    bool Check(const std::string& n) const {
        auto it = check.find(Lower(n));
        return it != check.end() && it->second;
    }
    int Index(const std::string& n) const {
        auto it = index.find(Lower(n));
        return it == index.end() ? -1 : it->second;
    }
};

// A component of a fake window; owns its children.
class FakeComponent : public qb::IUiComponent {
public:
    FakeComponent(qb::TComponentKind kind, std::string name) : kind_(kind), name_(std::move(name)) {}
    qb::TComponentKind Kind() const override { return kind_; }
    std::string Name() const override { return name_; }
    std::string ClassName() const override { return className; }
    std::string Caption() const override { return caption; }
    void SetCaption(const std::string& v) override { caption = v; }
    std::string Hint() const override { return hint; }
    void SetHint(const std::string& v) override { hint = v; }
    std::vector<std::string> Items() const override { return items; }
    void SetItems(const std::vector<std::string>& v) override { items = v; }
    qb::TUiFont Font() const override { return font; }
    void SetFont(const qb::TUiFont& f) override { font = f; }
    std::vector<qb::IUiComponent*> Owned() const override {
        std::vector<qb::IUiComponent*> out;
        for (const auto& c : children) out.push_back(c.get());
        return out;
    }

    FakeComponent& Add(qb::TComponentKind kind, const std::string& name) {
        children.push_back(std::make_unique<FakeComponent>(kind, name));
        return *children.back();
    }
    FakeComponent* Find(const std::string& name) {
        if (name_ == name) return this;
        for (auto& c : children)
            if (auto* hit = c->Find(name)) return hit;
        return nullptr;
    }

    std::string className;
    std::string caption;
    std::string hint;
    std::vector<std::string> items;
    qb::TUiFont font{"Tahoma", 9, 1};
    std::vector<std::unique_ptr<FakeComponent>> children;

private:
    qb::TComponentKind kind_;
    std::string name_;
};

// Records the error boxes shown while it lives.
class ErrorBoxRecorder {
public:
    ErrorBoxRecorder() {
        qb::PlatformServices services;
        services.showError = [this](const std::string& t) { errors.push_back(t); };
        services.showInfo = [this](const std::string& t) { infos.push_back(t); };
        previous_ = qb::SetPlatformServices(services);
    }
    ~ErrorBoxRecorder() { qb::SetPlatformServices(previous_); }
    std::vector<std::string> errors;
    std::vector<std::string> infos;

private:
    qb::PlatformServices previous_;
};

}  // namespace qbtest
