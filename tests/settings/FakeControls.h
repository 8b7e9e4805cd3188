#pragma once
// In-memory stand-ins for the wizard's controls and windows.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Utils/Platform.h"
#include "engine/OptionSchema.h"
#include "settings/UiComponent.h"

namespace qbtest {

// The option schema's control store, recording the order in which values were set.
class RecordingControls : public qb::TControlStore {
public:
    // Control names, with the item number for an item of a check list.
    std::vector<std::string> setLog;

    void Set(const std::string& control, int item, const qb::TControlValue& value) override {
        setLog.push_back(item >= 0 ? control + std::to_string(item) : control);
        TControlStore::Set(control, item, value);
    }
    bool WasSet(const std::string& name) const {
        for (const auto& n : setLog)
            if (n == name) return true;
        return false;
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
