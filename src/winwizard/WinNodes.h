#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/OptionSchema.h"
#include "settings/UiComponent.h"

namespace qb::win {

class TWinWizard;

// The language binding's view of one named control of the Windows wizard.
class TWinNode : public IUiComponent {
public:
    TWinNode(TWinWizard& wizard, TComponentKind kind, std::string name, HWND window, std::vector<HWND> items = {},
             std::string* title = nullptr)
        : wizard_(wizard), kind_(kind), name_(std::move(name)), window_(window), items_(std::move(items)),
          title_(title) {}
    TComponentKind Kind() const override { return kind_; }
    std::string Name() const override { return name_; }
    std::string Caption() const override;
    void SetCaption(const std::string& caption) override;
    std::string Hint() const override { return hint_; }
    void SetHint(const std::string& hint) override;
    std::vector<std::string> Items() const override;
    void SetItems(const std::vector<std::string>& items) override;
    TUiFont Font() const override;
    void SetFont(const TUiFont& font) override;
    HWND Window() const { return window_; }

private:
    TWinWizard& wizard_;
    TComponentKind kind_;
    std::string name_;
    HWND window_;
    std::vector<HWND> items_;  // a radio group's buttons
    std::string* title_;       // a page's title
    std::string hint_;
};

// The Windows wizard's controls as the option schema's controls.
class TWinBinding : public IControlValues {
public:
    using TLookup = std::function<HWND(const std::string& name)>;
    explicit TWinBinding(TLookup lookup) : lookup_(std::move(lookup)) {}
    void Custom(const std::string& control, std::function<TControlValue()> get,
                std::function<void(const TControlValue&)> set);
    // Run after a value was set on that control (its change handler).
    void AfterSet(const std::string& control, std::function<void()> handler);
    TControlValue Get(const std::string& control, int item = -1) const override;
    void Set(const std::string& control, int item, const TControlValue& value) override;

private:
    HWND Window(const std::string& control) const;
    TLookup lookup_;
    struct TCustom {
        std::function<TControlValue()> get;
        std::function<void(const TControlValue&)> set;
    };
    std::map<std::string, TCustom> custom_;
    std::map<std::string, std::function<void()>> after_;
};

// Radio buttons of a group: ids follow the group's own id.
int RadioIndex(HWND group);
void SetRadioIndex(HWND group, int index);
bool IsCheckList(HWND window);
void InitCheckList(HWND list, const std::vector<std::string>& items);

}  // namespace qb::win
