#pragma once
#include <functional>
#include <map>
#include <string>

#include "engine/OptionSchema.h"

class QWidget;

namespace qb {

// The wizard's widgets as the option schema's controls: each control found by
// its name and read or set by the kind of widget it is.
class TWidgetBinding : public IControlValues {
public:
    // The widget of a control name, null when there is none.
    using TLookup = std::function<QWidget*(const std::string& name)>;
    explicit TWidgetBinding(TLookup lookup) : lookup_(std::move(lookup)) {}

    // A control whose value is not held by one widget of a known kind.
    void Custom(const std::string& control, std::function<TControlValue()> get,
                std::function<void(const TControlValue&)> set);

    TControlValue Get(const std::string& control, int item = -1) const override;
    void Set(const std::string& control, int item, const TControlValue& value) override;

private:
    struct TCustom {
        std::function<TControlValue()> get;
        std::function<void(const TControlValue&)> set;
    };
    QWidget* Widget(const std::string& control) const;

    TLookup lookup_;
    std::map<std::string, TCustom> custom_;
};

}  // namespace qb
