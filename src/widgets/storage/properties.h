// Published properties of a component as a table the settings code can walk:
// name, kind, declared default and accessors, in the class's declaration
// order. Components list theirs in PublishedProperties().
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kyd::widgets {

enum class TDUDPropKind {
    Integer,     // integers, characters, enumerations and sets, as integers
    Float,
    String,
    Other,       // objects, events and the like: not stored
};

struct TDUDProperty {
    std::string Name;
    TDUDPropKind Kind = TDUDPropKind::Other;
    std::int64_t DefaultInt = 0;
    std::function<std::int64_t()> GetInt;
    std::function<void(std::int64_t)> SetInt;
    std::function<double()> GetFloat;
    std::function<void(double)> SetFloat;
    std::function<std::string()> GetString;
    std::function<void(const std::string&)> SetString;
};

class TDUDPersistent {
public:
    virtual ~TDUDPersistent() = default;
    virtual std::vector<TDUDProperty> PublishedProperties() = 0;
};

} // namespace kyd::widgets
