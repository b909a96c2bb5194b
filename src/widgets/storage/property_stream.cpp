#include "widgets/storage/property_stream.h"

namespace kyd::widgets {

void DUDWriteProperties(TStream& s, const TDUDStreamProperties& properties)
{
    for (const TDUDStreamProperty& p : properties) {
        if (p.Name.empty() || p.Name.size() > 255)
            throw EWriteError("Bad property name");
        stWriteString(s, p.Name);
        stWriteInteger(s, static_cast<std::int32_t>(p.Data.size()));
        s.WriteBuffer(p.Data.data(), p.Data.size());
    }
    stWriteString(s, "");
}

TDUDStreamProperties DUDReadProperties(TStream& s)
{
    TDUDStreamProperties out;
    for (;;) {
        std::string name = stReadString(s);
        if (name.empty())
            return out;
        const std::int32_t n = stReadInteger(s);
        if (n < 0 || n > s.Remaining())
            throw EReadError("Property length beyond the data");
        TDUDStreamProperty p{std::move(name), std::vector<std::uint8_t>(static_cast<std::size_t>(n))};
        s.ReadBuffer(p.Data.data(), p.Data.size());
        out.push_back(std::move(p));
    }
}

const TDUDStreamProperty* DUDFindProperty(const TDUDStreamProperties& properties, const std::string& name)
{
    for (const TDUDStreamProperty& p : properties)
        if (p.Name == name)
            return &p;
    return nullptr;
}

std::vector<std::uint8_t> DUDIntegerListData(const std::vector<std::int32_t>& values)
{
    TMemoryStream s;
    stWriteInteger(s, static_cast<std::int32_t>(values.size()));
    for (std::int32_t v : values)
        stWriteInteger(s, v);
    return s.TakeBytes();
}

std::vector<std::int32_t> DUDIntegerListFromData(const std::vector<std::uint8_t>& data)
{
    TMemoryStream s(data);
    const std::int32_t n = stReadInteger(s);
    if (n < 0 || static_cast<std::int64_t>(n) * 4 != s.Remaining())
        throw EReadError("Bad integer list");
    std::vector<std::int32_t> out(static_cast<std::size_t>(n));
    for (auto& v : out)
        v = stReadInteger(s);
    return out;
}

std::vector<std::uint8_t> DUDIntegerData(std::int32_t value)
{
    TMemoryStream s;
    stWriteInteger(s, value);
    return s.TakeBytes();
}

std::int32_t DUDIntegerFromData(const std::vector<std::uint8_t>& data)
{
    if (data.size() != 4)
        throw EReadError("Bad integer property");
    TMemoryStream s(data);
    return stReadInteger(s);
}

std::vector<std::uint8_t> DUDBooleanData(bool value)
{
    return {static_cast<std::uint8_t>(value ? 1 : 0)};
}

bool DUDBooleanFromData(const std::vector<std::uint8_t>& data)
{
    if (data.size() != 1 || data[0] > 1)
        throw EReadError("Bad Boolean property");
    return data[0] == 1;
}

std::optional<std::int32_t> DUDReadInteger(const TDUDStreamProperties& in, const std::string& name)
{
    const TDUDStreamProperty* p = DUDFindProperty(in, name);
    if (!p)
        return std::nullopt;
    return DUDIntegerFromData(p->Data);
}

std::optional<bool> DUDReadBoolean(const TDUDStreamProperties& in, const std::string& name)
{
    const TDUDStreamProperty* p = DUDFindProperty(in, name);
    if (!p)
        return std::nullopt;
    return DUDBooleanFromData(p->Data);
}

} // namespace kyd::widgets
