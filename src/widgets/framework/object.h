// Change protocol of the library's settings objects and components: a
// setter stores a new value and calls Change() only when the value differs;
// Change() tells the owner through OnChange unless an update is under way;
// EndUpdate(true) reports once for everything changed inside the update.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace kyd::widgets {

// A notification with its sender.
using TNotifyEvent = std::function<void(void* sender)>;

class TDUDChangeProtocol {
public:
    virtual ~TDUDChangeProtocol() = default;

    TNotifyEvent OnChange;

    void BeginUpdate() { ++updating_; }
    void EndUpdate(bool notify);
    bool Updating() const { return updating_ > 0; }
    // Tells the owner, unless an update is under way.
    virtual void Change();
    // The handler an owner installs on the objects it contains.
    virtual void GetChange(void* /*sender*/) { Change(); }

protected:
    // Stores v in field and reports the change when it differs.
    template <class T>
    bool SetField(T& field, const T& v)
    {
        if (field == v)
            return false;
        field = v;
        Change();
        return true;
    }

private:
    int updating_ = 0;
};

// An update that ends however its scope is left: Commit() ends it with one
// report of the change; leaving without Commit (an exception on the way)
// ends it without a report, so that no update is left open and later
// changes reach the owner again.
class TDUDUpdate {
public:
    explicit TDUDUpdate(TDUDChangeProtocol& object) : object_(&object) { object.BeginUpdate(); }
    ~TDUDUpdate()
    {
        if (object_)
            object_->EndUpdate(false);
    }
    TDUDUpdate(const TDUDUpdate&) = delete;
    TDUDUpdate& operator=(const TDUDUpdate&) = delete;
    void Commit()
    {
        TDUDChangeProtocol* object = object_;
        object_ = nullptr;
        if (object)
            object->EndUpdate(true);
    }

private:
    TDUDChangeProtocol* object_;
};

// Base of the settings objects that controls own.
class TDUDObject : public TDUDChangeProtocol {
public:
    TDUDObject() = default;
    TDUDObject(const TDUDObject&) = delete;
    TDUDObject& operator=(const TDUDObject&) = delete;
    // The text shown for the object in property lists.
    virtual std::string GetSetStr() const { return "(" + ClassName() + ")"; }
    virtual std::string ClassName() const { return "TDUDObject"; }
};

// Base of the non-visual components with the same protocol.
class TDUDCustomComponent : public TDUDChangeProtocol {
public:
    explicit TDUDCustomComponent(std::string name = {}) : name_(std::move(name)) {}
    TDUDCustomComponent(const TDUDCustomComponent&) = delete;
    TDUDCustomComponent& operator=(const TDUDCustomComponent&) = delete;
    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

private:
    std::string name_;
};

// Errors the library raises.
class EDUDException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace kyd::widgets
