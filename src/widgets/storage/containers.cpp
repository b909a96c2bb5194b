#include "widgets/storage/containers.h"
#include "widgets/framework/procs.h"

#include "platform/safe_file.h"

#include <algorithm>
#include <filesystem>
#include <new>

namespace kyd::widgets {

namespace {

struct ListFileKind {
    const char* ext;
    const char* signature;
    const char* itemExt;
};

constexpr ListFileKind kKinds[] = {
    {"iml", "DUDIML30", "iml"}, {"bml", "DUDBML30", "bmp"}, {"wvl", "DUDWVL30", "wav"},
    {"sll", "DUDSLL30", "txt"}, {"gll", "DUDGLL50", "*"},   {"rtl", "DUDRTL50", "rtf"},
};

bool KnownType(int type)
{
    return type >= 0 && type < lftUnknown;
}

std::string WithDot(const char* ext, bool withDot)
{
    return withDot ? std::string(".") + ext : std::string(ext);
}

} // namespace

std::string DUDICGetSuffix(int type, bool withDot)
{
    return KnownType(type) ? WithDot(kKinds[type].ext, withDot) : std::string();
}

std::string DUDICGetItemSuffix(int type, bool withDot)
{
    return KnownType(type) ? WithDot(kKinds[type].itemExt, withDot) : std::string();
}

std::string DUDICGetSignature(int type)
{
    return KnownType(type) ? kKinds[type].signature : std::string();
}

EDUDException DUDCannotOpenFile(const std::string& name)
{
    return EDUDException("Cannot open file " + name);
}

EReadError DUDOutOfMemory()
{
    return EReadError("Stream read error: not enough memory for the data");
}

// --- items -------------------------------------------------------------

std::uint8_t TDUDListItem::WriteFlag() const
{
    std::uint8_t flag = 0;
    if (compressed_)
        flag |= ifCompressed;
    if (!description_.empty())
        flag |= ifDescription;
    if (ident_ != 0)
        flag |= ifIdent;
    if (!GetEmpty())
        flag |= ifData;
    return flag;
}

void DUDCheckReadBack(const TDUDReadCost& cost)
{
    const std::int64_t total = cost.Held + cost.Passing;
    if (total > kDUDMaxExpanded)
        throw EWriteError("Stream write error: reading the data back would take " + std::to_string(total >> 20) +
                          " MB, more than the " + std::to_string(kDUDMaxExpanded >> 20) + " MB allowed");
}

void DUDSaveListFile(const std::string& name, const TMemoryStream& s)
{
    if (s.Size() > kDUDMaxFileSize)
        throw EWriteError("Stream write error on \"" + name + "\": the list file would be " +
                          std::to_string(s.Size() >> 20) + " MB, more than the " +
                          std::to_string(kDUDMaxFileSize >> 20) + " MB that are read");
    DUDSaveFile(name, s.Bytes());
}

void TDUDListItem::WriteData(TStream& s) const
{
    DUDCheckReadBack(ReadCost());
    const std::uint8_t flag = WriteFlag();
    stWriteByte(s, flag);
    if (flag & ifDescription)
        stWriteString(s, description_);
    if (flag & ifIdent)
        stWriteInteger(s, ident_);
    WriteBody(s);
}

TDUDReadCost TDUDListItem::ReadCost() const
{
    TDUDReadCost cost = DataCost();
    cost.Held += DUDStringHeapBytes(description_.size());
    return cost;
}

void TDUDListItem::ReadData(TStream& s)
{
    // What one record expands and decodes to is bounded (the container's
    // budget bounds all its records together).
    TDUDReadBudget budget(kDUDMaxExpanded);
    std::unique_ptr<TDUDListItem> fresh;
    std::string description;
    std::uint16_t ident = 0;
    std::uint8_t flag = 0;
    try {
        fresh = NewEmpty();
        flag = stReadByte(s);
        if (flag & ifDescription) {
            description = stReadString(s);
            TDUDReadBudget::Charge(DUDStringHeapBytes(description.size()));
        }
        if (flag & ifIdent)
            ident = static_cast<std::uint16_t>(stReadInteger(s));
        fresh->ReadBody(s, flag);
    } catch (const std::bad_alloc&) {
        throw DUDOutOfMemory();
    }
    // The whole record was read: take it over.
    TDUDUpdate update(*this);
    SetDescription(description);
    SetIdent(ident);
    SetCompressed((flag & ifCompressed) != 0);
    TakeData(*fresh);
    update.Commit();
}

void TDUDListItem::Assign(const TDUDListItem& other)
{
    TDUDUpdate update(*this);
    SetDescription(other.description_);
    SetIdent(other.ident_);
    SetCompressed(other.compressed_);
    update.Commit();
}

void TDUDStringListBody::ReadFrom(TStream& s, std::uint8_t flag)
{
    Items.clear();
    if (flag & ifData)
        stReadStringList(s, Items, (flag & ifCompressed) != 0);
}

TDUDReadCost TDUDStringListBody::BodyCost() const
{
    if (Items.empty())
        return {};
    // The lines as they are held, and the text as it is stored (every line
    // with its CR LF) while it is split.
    std::int64_t text = 0;
    for (const auto& line : Items)
        text += static_cast<std::int64_t>(line.size()) + 2;
    return {DUDStringListHeldBytes(Items), text};
}

void TDUDStringListBody::WriteTo(TStream& s, bool compressed) const
{
    if (!BodyEmpty())
        stWriteStringList(s, Items, compressed);
}

void TDUDGenericListBody::ReadFrom(TStream& s, std::uint8_t flag)
{
    Data.clear();
    if (flag & ifData)
        Data = stReadBlock(s, (flag & ifCompressed) != 0);
    FileName = stReadString(s);
    TDUDReadBudget::Charge(DUDStringHeapBytes(FileName.size()));
}

void TDUDGenericListBody::WriteTo(TStream& s, bool compressed) const
{
    if (!BodyEmpty())
        stWriteBlock(s, Data.data(), Data.size(), compressed);
    stWriteString(s, FileName);
}

void TDUDGenericListItem::LoadFromFile(const std::string& name)
{
    std::vector<std::uint8_t> bytes;
    switch (platform::readRegularFile(name, kDUDMaxFileSize, bytes)) {
    case platform::ReadResult::Missing:
        Data.clear();
        FileName.clear();
        Change();
        return;
    case platform::ReadResult::Failed: throw DUDCannotOpenFile(name);
    case platform::ReadResult::Ok: break;
    }
    Data = std::move(bytes);
    FileName = std::filesystem::path(name).filename().string();
    Change();
}

void TDUDWaveListBody::ReadFrom(TStream& s, std::uint8_t flag)
{
    Wave.FreeWave();
    if (!(flag & ifData))
        return;
    try {
        stReadWave(s, Wave, (flag & ifCompressed) != 0);
    } catch (const EInvalidWave& e) {
        throw EReadError(e.what()); // a damaged record like any other
    }
}

void TDUDWaveListBody::WriteTo(TStream& s, bool compressed) const
{
    if (!BodyEmpty())
        stWriteWave(s, Wave, compressed);
}

// --- containers --------------------------------------------------------

TDUDCustomContainer::~TDUDCustomContainer() = default;

TDUDListItem* TDUDCustomContainer::GetItem(int index) const
{
    if (index < 0 || index >= GetCount())
        return nullptr;
    return items_[static_cast<std::size_t>(index)].get();
}

void TDUDCustomContainer::Own(TDUDListItem& item)
{
    item.container_ = this;
    item.OnChange = [this](void*) { Change(); };
}

TDUDListItem* TDUDCustomContainer::Add(std::unique_ptr<TDUDListItem> item)
{
    return Insert(GetCount(), std::move(item));
}

TDUDListItem* TDUDCustomContainer::Insert(int index, std::unique_ptr<TDUDListItem> item)
{
    const auto kind = NewItem();
    if (!kind)
        throw EDUDException("This list holds no items of its own");
    if (!item) {
        item = NewItem();
        item->SetCompressed(DefaultCompressed);
    }
    if (typeid(*item) != typeid(*kind))
        throw EDUDException("Wrong item class");
    index = std::clamp(index, 0, GetCount());
    TDUDListItem* p = item.get();
    Own(*p);
    items_.insert(items_.begin() + index, std::move(item));
    Change();
    return p;
}

void TDUDCustomContainer::Delete(int index)
{
    if (index < 0 || index >= GetCount())
        return;
    items_.erase(items_.begin() + index);
    Change();
}

void TDUDCustomContainer::Clear()
{
    items_.clear();
    Change();
}

int TDUDCustomContainer::IndexOf(const TDUDListItem* item) const
{
    for (int i = 0; i < GetCount(); ++i)
        if (items_[static_cast<std::size_t>(i)].get() == item)
            return i;
    return -1;
}

void TDUDCustomContainer::Move(int from, int to)
{
    if (from < 0 || from >= GetCount() || to < 0 || to >= GetCount() || from == to)
        return;
    auto item = std::move(items_[static_cast<std::size_t>(from)]);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, std::move(item));
    Change();
}

std::vector<std::unique_ptr<TDUDListItem>> TDUDCustomContainer::CopiesOf(const TDUDCustomContainer& other) const
{
    std::vector<std::unique_ptr<TDUDListItem>> copies;
    copies.reserve(other.items_.size());
    for (const auto& item : other.items_) {
        auto copy = NewItem();
        copy->Assign(*item);
        copies.push_back(std::move(copy));
    }
    return copies;
}

void TDUDCustomContainer::AddList(const TDUDCustomContainer& other)
{
    // The copies are made before any is added: all or nothing, and a
    // container added to itself takes a copy of each item it had.
    auto copies = CopiesOf(other);
    if (copies.empty())
        return;
    items_.reserve(items_.size() + copies.size());
    for (auto& item : copies) {
        Own(*item);
        items_.push_back(std::move(item));
    }
    Change();
}

void TDUDCustomContainer::Assign(const TDUDCustomContainer& other)
{
    if (&other == this)
        return;
    auto copies = CopiesOf(other);
    for (auto& item : copies)
        Own(*item);
    items_ = std::move(copies);
    DefaultCompressed = other.DefaultCompressed;
    DefaultPixelFormat = other.DefaultPixelFormat;
    Change();
}

TDUDListItem* TDUDCustomContainer::GetItemByName(const std::string& name) const
{
    for (const auto& item : items_)
        if (item->Description() == name)
            return item.get();
    return nullptr;
}

void TDUDCustomContainer::SetSource(int v)
{
    if (v == Source)
        return;
    for (const auto& item : items_)
        item->FreeData();
    Source = v;
    Change();
}

void TDUDCustomContainer::SetPrefix(int v)
{
    PathPrefix = v;
    Change();
}

namespace {

// The count and offset table of container data, checked against the
// stream's bytes, and `perItem` bytes for each item counted against the read
// budget, before anything is allocated.
std::vector<std::int32_t> ReadTable(TStream& s, bool withOffsets, std::int64_t perItem = 0)
{
    const std::int32_t count = stReadInteger(s);
    if (count < 0)
        throw EReadError("Bad item count");
    const std::int64_t per = withOffsets ? 4 + 1 : 1; // an offset and at least a flag byte
    if (count * per > s.Remaining())
        throw EReadError("Item count beyond the data");
    TDUDReadBudget::Charge(count * perItem);
    std::vector<std::int32_t> offsets;
    if (!withOffsets) {
        offsets.assign(static_cast<std::size_t>(count), -1);
        return offsets;
    }
    offsets.resize(static_cast<std::size_t>(count));
    const std::int64_t tableEnd = s.Position() + 4LL * count;
    const std::int64_t size = s.Size(); // a file stream's takes two seeks
    for (auto& o : offsets) {
        o = stReadInteger(s);
        if (o < tableEnd || o >= size)
            throw EReadError("Item offset outside the data");
    }
    return offsets;
}

} // namespace

std::int64_t TDUDCustomContainer::ItemSlotBytes() const
{
    const auto item = NewItem();
    return static_cast<std::int64_t>(sizeof(std::int32_t) + sizeof(std::unique_ptr<TDUDListItem>)) +
           (item ? DUDHeapBytes(item->ObjectBytes()) : 0);
}

TDUDReadCost TDUDCustomContainer::ReadCost() const
{
    // Reading holds every item at once, and one item's passing bytes on top.
    TDUDReadCost cost{GetCount() * ItemSlotBytes(), 0};
    for (const auto& item : items_)
        cost.Add(item->ReadCost());
    return cost;
}

void TDUDCustomContainer::ReadData(TStream& s, bool withOffsets)
{
    // Offsets may name one item many times over: what all items take is
    // bounded, not only each one, and each item, even an empty one, takes
    // its object and its place.
    TDUDReadBudget budget(kDUDMaxExpanded);
    std::vector<std::unique_ptr<TDUDListItem>> loaded;
    try {
        const std::vector<std::int32_t> offsets = ReadTable(s, withOffsets, ItemSlotBytes());
        loaded.reserve(offsets.size());
        std::int64_t end = s.Position();
        for (std::int32_t o : offsets) {
            if (withOffsets)
                s.SetPosition(o);
            auto item = NewItem();
            item->ReadData(s);
            end = std::max(end, s.Position());
            loaded.push_back(std::move(item));
        }
        s.SetPosition(end);
    } catch (const std::bad_alloc&) {
        throw DUDOutOfMemory();
    }
    items_ = std::move(loaded);
    for (auto& item : items_)
        Own(*item);
    Change();
}

void TDUDCustomContainer::WriteData(TStream& s, bool withOffsets) const
{
    DUDCheckReadBack(ReadCost());
    stWriteInteger(s, GetCount());
    if (!withOffsets) {
        for (const auto& item : items_)
            item->WriteData(s);
        return;
    }
    const std::int64_t table = s.Position();
    for (int i = 0; i < GetCount(); ++i)
        stWriteInteger(s, 0);
    std::vector<std::int32_t> offsets;
    for (const auto& item : items_) {
        offsets.push_back(static_cast<std::int32_t>(s.Position()));
        item->WriteData(s);
    }
    const std::int64_t end = s.Position();
    s.SetPosition(table);
    for (std::int32_t o : offsets)
        stWriteInteger(s, o);
    s.SetPosition(end);
}

TMemoryStream DUDLoadListFile(const std::string& name, int type)
{
    TFileStream f(name, TFileStream::fmOpenRead);
    f.CheckSize(kDUDMaxFileSize);
    // The signature first: a file of another kind is not read any further.
    if (stReadString(f) != DUDICGetSignature(type))
        throw EReadError("Wrong signature");
    const std::int64_t body = f.Position();
    f.SetPosition(0);
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(f.Size()));
    } catch (const std::bad_alloc&) {
        throw DUDOutOfMemory();
    }
    f.ReadBuffer(bytes.data(), bytes.size());
    TMemoryStream s(std::move(bytes));
    s.SetPosition(body);
    return s;
}

void TDUDCustomContainer::LoadFromFile(const std::string& name)
{
    try {
        TMemoryStream s = DUDLoadListFile(name, fileType_);
        ReadData(s, true);
    } catch (const EStreamError&) {
        throw DUDCannotOpenFile(name);
    }
    FileName = name;
}

std::string DUDBitmapItemSourceName(const TDUDCustomContainer& c, std::uint16_t ident)
{
    if (c.FileName.empty())
        return {};
    const std::filesystem::path file(c.FileName);
    const std::string folder = c.PathPrefix == 3 ? file.parent_path().string() : DUDCreatePathPrefix(c.PathPrefix, false);
    auto inFolder = [&](const std::string& name) {
        return folder.empty() ? name : (std::filesystem::path(folder) / name).string();
    };
    switch (c.Source) {
    case 1: return c.PathPrefix == 3 ? c.FileName : inFolder(file.filename().string());
    case 3:
    case 4: {
        const std::string stem = file.filename().string().substr(0, 3) + std::to_string(ident);
        return inFolder(stem + (c.Source == 3 ? ".rcc" : ".bmp"));
    }
    default: return {};
    }
}

void TDUDCustomContainer::SaveToFile(const std::string& name) const
{
    TMemoryStream s;
    stWriteString(s, DUDICGetSignature(fileType_));
    WriteData(s, true);
    DUDSaveListFile(name, s);
}

// --- single items ------------------------------------------------------

int DUDListGetFileType(TStream& s, std::vector<std::int32_t>& offsets)
{
    offsets.clear();
    if (s.Remaining() < 9)
        return lftUnknown;
    const std::string sig = stReadString(s);
    int type = lftUnknown;
    for (int t = 0; t < lftUnknown; ++t)
        if (sig == kKinds[t].signature)
            type = t;
    if (type == lftUnknown)
        return type;
    offsets = ReadTable(s, true);
    return type;
}

int DUDListGetFileType(const std::string& name, std::vector<std::int32_t>& offsets)
{
    TFileStream f(name, TFileStream::fmOpenRead);
    f.CheckSize(kDUDMaxFileSize);
    return DUDListGetFileType(f, offsets);
}

bool DUDListGetItemFromStream(TStream& s, const std::vector<std::int32_t>& offsets, int index, TDUDListItem& item)
{
    if (index < 0 || index >= static_cast<int>(offsets.size()))
        return false;
    const std::int32_t o = offsets[static_cast<std::size_t>(index)];
    if (o < 0 || o >= s.Size())
        return false;
    s.SetPosition(o);
    item.ReadData(s);
    return true;
}

bool DUDListGetItemFromFile(const std::string& name, int type, std::vector<std::int32_t>* offsets,
                            TDUDListItem& item, int index)
{
    try {
        TFileStream f(name, TFileStream::fmOpenRead);
        f.CheckSize(kDUDMaxFileSize);
        std::vector<std::int32_t> own;
        std::vector<std::int32_t>& table = offsets ? *offsets : own;
        if (table.empty() && DUDListGetFileType(f, table) != type) {
            table.clear();
            throw DUDCannotOpenFile(name);
        }
        return DUDListGetItemFromStream(f, table, index, item);
    } catch (const EStreamError&) {
        throw DUDCannotOpenFile(name);
    } catch (const std::bad_alloc&) {
        throw DUDCannotOpenFile(name);
    }
}

bool DUDWVLGetItem(const std::string& name, int index, TDUDWave& wave)
{
    TDUDWaveListItem item;
    if (!DUDListGetItemFromFile(name, lftWaveList, item, index))
        return false;
    wave.Assign(item.Wave);
    return true;
}

} // namespace kyd::widgets
