#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The view of a window that the language files work on: a tree of named
// components, each owning further components in order. The wizard implements
// it over its widgets.
namespace qb {

enum class TComponentKind {
    Window,  // a form; windowed, has a class name
    Label,
    RadioGroup,
    ComboBox,        // drop-down list
    ListBox,         // list box or check list
    Edit,            // edit field or memo: never translated
    WinControl,      // any other windowed control: button, check box, group, panel, page
    GraphicControl,  // a control without a window of its own: picture, bevel
    Component,       // not a control at all: dialogs and the like
};

struct TUiFont {
    std::string name;
    std::int32_t size = 0;  // points
    std::int32_t charset = 0;
};

class IUiComponent {
public:
    virtual ~IUiComponent() = default;
    virtual TComponentKind Kind() const = 0;
    virtual std::string Name() const = 0;
    // Class name of a window ("TFrmMain"); empty for other components.
    virtual std::string ClassName() const { return ""; }
    // Caption of a label or radio group, window text of other windowed controls.
    virtual std::string Caption() const { return ""; }
    virtual void SetCaption(const std::string&) {}
    virtual std::string Hint() const { return ""; }
    virtual void SetHint(const std::string&) {}
    // Item texts of radio groups, drop-down lists and list boxes.
    virtual std::vector<std::string> Items() const { return {}; }
    virtual void SetItems(const std::vector<std::string>&) {}
    virtual TUiFont Font() const { return {}; }
    virtual void SetFont(const TUiFont&) {}
    // Components owned by this one, in creation order.
    virtual std::vector<IUiComponent*> Owned() const { return {}; }
};

}  // namespace qb
