// Containers of named, numbered items (string lists, arbitrary data, wave
// sounds; the picture kinds live in painting/qt/image_list.h) with their stream
// form and the list files they share with other programs.
//
// Item record: a flag byte (bit 0 compressed, bit 1 description, bit 2
// ident, bit 3 data present, bits 4..6 save pixel format 1..3), the
// description, the ident as a 32-bit integer, then the kind's data.
// Container data: a 32-bit count, with offsets a table of count absolute
// 32-bit positions, then the records. List file: a 9-byte signature, then
// the container data with offsets. Everything read is checked against the
// bytes left before anything is allocated; a container loads into a
// temporary that is swapped in only when the whole file was read.
#pragma once

#include "widgets/storage/stream.h"
#include "widgets/storage/wave.h"
#include "widgets/framework/image_list_link.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kyd::widgets {

// List file types: index into the table of extensions and signatures.
enum TDUDListFileType : int {
    lftImageList = 0, // "iml"
    lftBitmapList,    // "bml"
    lftWaveList,      // "wvl"
    lftStringList,    // "sll"
    lftGenericList,   // "gll"
    lftRichTextList,  // "rtl"
    lftUnknown        // no known signature
};

// The list file's extension, with a leading dot when asked.
std::string DUDICGetSuffix(int type, bool withDot);
// The extension of one item's own file ("*" for generic items).
std::string DUDICGetItemSuffix(int type, bool withDot);
// The 8 characters of the type's signature.
std::string DUDICGetSignature(int type);

// Flag bits of an item record.
enum : std::uint8_t {
    ifCompressed = 0x01,
    ifDescription = 0x02,
    ifIdent = 0x04,
    ifData = 0x08,
    ifFormatShift = 4, // bits 4..6: save pixel format 1..3
};

class TDUDCustomContainer;

// What reading an item's record back counts against the read budget: the
// bytes the item then holds in memory (its description, lines, pictures and
// data, each at what it takes there rather than what it takes stored), and
// the most it holds on top of them for a while as it reads (the stored text
// of its lines until they are split, a stored picture until it is decoded).
struct TDUDReadCost {
    std::int64_t Held = 0;
    std::int64_t Passing = 0;
    // Read together with another: both held, the larger passing on top.
    void Add(const TDUDReadCost& other)
    {
        Held += other.Held;
        Passing = std::max(Passing, other.Passing);
    }
};

class TDUDListItem : public TDUDCustomComponent {
public:
    TDUDListItem() = default;

    const std::string& Description() const { return description_; }
    void SetDescription(std::string v) { SetField(description_, v); }
    std::uint16_t Ident() const { return ident_; }
    void SetIdent(std::uint16_t v) { SetField(ident_, v); }
    bool Compressed() const { return compressed_; }
    void SetCompressed(bool v) { SetField(compressed_, v); }

    virtual void FreeData() = 0;
    virtual bool GetEmpty() const = 0;
    // The whole record. A damaged record, or one that memory or the read
    // budget cannot hold, raises EReadError and leaves the item as it was.
    // A record that could not be read back within the read budget is not
    // written: EWriteError.
    void ReadData(TStream& s);
    void WriteData(TStream& s) const;
    // What reading the record back counts: the description and the data.
    TDUDReadCost ReadCost() const;
    // The same for the kind's data.
    virtual TDUDReadCost DataCost() const = 0;
    // The size of the item object itself.
    virtual std::int64_t ObjectBytes() const = 0;
    virtual std::uint8_t WriteFlag() const;
    void LoadFromStream(TStream& s) { ReadData(s); }
    void SaveToStream(TStream& s) const { WriteData(s); }

    // A new empty item of the same kind.
    virtual std::unique_ptr<TDUDListItem> NewEmpty() const = 0;
    // Copies description, ident, flag and data from an item of the same kind.
    virtual void Assign(const TDUDListItem& other);
    TDUDCustomContainer* Container() const { return container_; }

protected:
    // The kind's data after the ident; `flag` is the record's flag byte.
    virtual void ReadBody(TStream& s, std::uint8_t flag) = 0;
    virtual void WriteBody(TStream& s) const = 0;
    // Takes over the data of an item of the same kind (used to swap in a
    // fully read record).
    virtual void TakeData(TDUDListItem& other) = 0;

private:
    friend class TDUDCustomContainer;
    std::string description_;
    std::uint16_t ident_ = 0;
    bool compressed_ = false;
    TDUDCustomContainer* container_ = nullptr;
};

// The data of one kind of list item, and how that kind stores it: each
// body empties itself, says whether it is empty, and reads and writes its
// part of the item record (`flag` is the record's flag byte), and tells
// what reading it back costs.
struct TDUDStringListBody {
    TStringList Items;
    void ClearBody() { Items.clear(); }
    bool BodyEmpty() const { return Items.empty(); }
    TDUDReadCost BodyCost() const;
    void ReadFrom(TStream& s, std::uint8_t flag);
    void WriteTo(TStream& s, bool compressed) const;
};

// Unlike the other kinds, a generic item keeps the name of the file its
// bytes came from, stored after the data even when there is no data.
struct TDUDGenericListBody {
    std::vector<std::uint8_t> Data;
    std::string FileName; // without folder
    void ClearBody() { Data.clear(); }
    bool BodyEmpty() const { return Data.empty(); }
    TDUDReadCost BodyCost() const
    {
        return {static_cast<std::int64_t>(Data.size()) + DUDStringHeapBytes(FileName.size()), 0};
    }
    void ReadFrom(TStream& s, std::uint8_t flag);
    void WriteTo(TStream& s, bool compressed) const;
};

// A wave is an object with its own change notification rather than a
// plain value, so it is copied (and taken over) through TDUDWave::Assign;
// a damaged wave in a record is a read error like any other damage.
struct TDUDWaveListBody {
    TDUDWave Wave;
    TDUDWaveListBody() = default;
    TDUDWaveListBody& operator=(const TDUDWaveListBody& other)
    {
        Wave.Assign(other.Wave);
        return *this;
    }
    void ClearBody() { Wave.FreeWave(); }
    bool BodyEmpty() const { return Wave.Empty(); }
    TDUDReadCost BodyCost() const { return {static_cast<std::int64_t>(Wave.Size()), 0}; }
    void ReadFrom(TStream& s, std::uint8_t flag);
    void WriteTo(TStream& s, bool compressed) const;
};

// A list item of the kind `Self` whose data is `Body`: the item's
// overrides, the same for every kind, in terms of the body.
template <class Self, class Body>
class TDUDListItemOf : public TDUDListItem, public Body {
public:
    void FreeData() override { Body::ClearBody(); }
    bool GetEmpty() const override { return Body::BodyEmpty(); }
    TDUDReadCost DataCost() const override { return Body::BodyCost(); }
    std::int64_t ObjectBytes() const override { return sizeof(Self); }
    std::unique_ptr<TDUDListItem> NewEmpty() const override { return std::make_unique<Self>(); }
    void Assign(const TDUDListItem& other) override
    {
        if (auto* o = dynamic_cast<const Self*>(&other))
            body() = static_cast<const Body&>(*o);
        TDUDListItem::Assign(other);
    }

protected:
    void ReadBody(TStream& s, std::uint8_t flag) override { Body::ReadFrom(s, flag); }
    void WriteBody(TStream& s) const override { Body::WriteTo(s, Compressed()); }
    void TakeData(TDUDListItem& other) override { body() = std::move(static_cast<Body&>(static_cast<Self&>(other))); }

private:
    Body& body() { return *this; }
};

class TDUDStringListItem : public TDUDListItemOf<TDUDStringListItem, TDUDStringListBody> {};

class TDUDGenericListItem : public TDUDListItemOf<TDUDGenericListItem, TDUDGenericListBody> {
public:
    // A file that doesn't exist empties the item.
    void LoadFromFile(const std::string& name);
};

class TDUDWaveListItem : public TDUDListItemOf<TDUDWaveListItem, TDUDWaveListBody> {};

// An ordered list of items of one kind.
class TDUDCustomContainer : public TDUDBaseContainer {
public:
    explicit TDUDCustomContainer(int fileType) : fileType_(fileType) {}
    ~TDUDCustomContainer() override;

    bool DefaultCompressed = false;
    // The save pixel format (0..3) of the items that bitmap and image lists
    // make themselves (Add and Insert without an item).
    int DefaultPixelFormat = 0;
    int PathPrefix = 2;
    // Where empty bitmap items take their bitmap from (see
    // DUDBitmapItemSourceName): 0 nowhere, 1 the list file FileName,
    // 2 the program's bitmap resources, 3 a resource library, 4 bitmap files.
    int Source = 0;
    // The list file behind the container: set by LoadFromFile, or by hand.
    std::string FileName;

    int FileType() const { return fileType_; }
    int GetCount() const { return static_cast<int>(items_.size()); }
    int Count() const { return GetCount(); }
    bool GetEmpty() const { return items_.empty(); }
    // Null beyond the list.
    TDUDListItem* GetItem(int index) const;

    // Takes the item (a new empty one of the container's kind for null);
    // returns it. An item of another kind raises EDUDException.
    TDUDListItem* Add(std::unique_ptr<TDUDListItem> item = nullptr);
    TDUDListItem* Insert(int index, std::unique_ptr<TDUDListItem> item = nullptr);
    void Delete(int index);
    void Clear();
    int IndexOf(const TDUDListItem* item) const;
    void Move(int from, int to);
    // Appends copies of the other container's items (all or none; the
    // copies are made first, so a container added to itself holds each of
    // its items twice).
    void AddList(const TDUDCustomContainer& other);
    // The other container's items (copies) and defaults; on failure the
    // container keeps its own.
    void Assign(const TDUDCustomContainer& other);
    TDUDListItem* GetItemByName(const std::string& name) const;

    void SetSource(int v);
    void SetPrefix(int v);

    // Container data; a damaged one, or one that memory or the read budget
    // cannot hold, raises EReadError and leaves the container as it was.
    // Every item is counted at what it holds in memory, its object and its
    // place in the list too, before it is made. Writing refuses
    // (EWriteError, before anything is written) a list that reading could
    // not take back within the read budget.
    void ReadData(TStream& s, bool withOffsets);
    void WriteData(TStream& s, bool withOffsets) const;
    // What reading the container data back counts against the read budget.
    TDUDReadCost ReadCost() const;
    void LoadFromStream(TStream& s) { ReadData(s, true); }
    void SaveToStream(TStream& s) const { WriteData(s, true); }
    // List files of the container's type; a file of another type, or a
    // damaged one, raises "Cannot open file <name>" and changes nothing.
    void LoadFromFile(const std::string& name);
    // A list that LoadFromFile could not read back (beyond the read budget,
    // or a file larger than kDUDMaxFileSize) raises EWriteError and leaves
    // the file as it was.
    void SaveToFile(const std::string& name) const;

    // A new empty item of the container's kind.
    virtual std::unique_ptr<TDUDListItem> NewItem() const = 0;

private:
    // What each item takes in memory before its data: its object, its
    // place in the list and its offset while the list is read.
    std::int64_t ItemSlotBytes() const;
    void Own(TDUDListItem& item);
    std::vector<std::unique_ptr<TDUDListItem>> CopiesOf(const TDUDCustomContainer& other) const;
    int fileType_;
    std::vector<std::unique_ptr<TDUDListItem>> items_;
};

class TDUDStringList : public TDUDCustomContainer {
public:
    TDUDStringList() : TDUDCustomContainer(lftStringList) {}
    std::unique_ptr<TDUDListItem> NewItem() const override { return std::make_unique<TDUDStringListItem>(); }
};

class TDUDGenericList : public TDUDCustomContainer {
public:
    TDUDGenericList() : TDUDCustomContainer(lftGenericList) {}
    std::unique_ptr<TDUDListItem> NewItem() const override { return std::make_unique<TDUDGenericListItem>(); }
};

class TDUDWaveList : public TDUDCustomContainer {
public:
    TDUDWaveList() : TDUDCustomContainer(lftWaveList) {}
    std::unique_ptr<TDUDListItem> NewItem() const override { return std::make_unique<TDUDWaveListItem>(); }
};

// Reads a list file's signature (the type, lftUnknown when unknown), and for
// a known type the count and the offset table (checked: every offset inside
// the file, after the table). EReadError for a damaged table.
int DUDListGetFileType(TStream& s, std::vector<std::int32_t>& offsets);
int DUDListGetFileType(const std::string& name, std::vector<std::int32_t>& offsets);
// Loads item `index` at its offset; false without a table or out of range.
bool DUDListGetItemFromStream(TStream& s, const std::vector<std::int32_t>& offsets, int index, TDUDListItem& item);
// One item of a list file of the type; false out of range. Without a table
// (offsets null or empty) the file's type is checked ("Cannot open file"
// for a file of another type) and its table read, into offsets when given,
// so that further items of the same file are read at their offsets without
// reading the table again.
bool DUDListGetItemFromFile(const std::string& name, int type, std::vector<std::int32_t>* offsets,
                            TDUDListItem& item, int index);
inline bool DUDListGetItemFromFile(const std::string& name, int type, TDUDListItem& item, int index)
{
    return DUDListGetItemFromFile(name, type, nullptr, item, index);
}

// The file an empty bitmap item with `ident` is fetched from under the
// container's Source: 1 the list file (FileName behind the path prefix
// folder, as it stands with prefix 3); 3 and 4 a file in the prefix folder
// (prefix 3: FileName's folder) named by the first three characters of
// FileName's name, the decimal ident and ".rcc" (3: a resource library, a
// Qt binary resource file) or ".bmp" (4). Empty for other sources or
// without a FileName.
std::string DUDBitmapItemSourceName(const TDUDCustomContainer& c, std::uint16_t ident);

// Item `index` of a wave list file into `wave`; false out of range, and
// "Cannot open file" for a file of another type.
bool DUDWVLGetItem(const std::string& name, int index, TDUDWave& wave);

// The "Cannot open file %s" error of the containers.
EDUDException DUDCannotOpenFile(const std::string& name);
// The read error of a load that memory could not hold.
EReadError DUDOutOfMemory();
// EWriteError unless reading back what costs `cost` fits the read budget.
void DUDCheckReadBack(const TDUDReadCost& cost);
// Writes a list file made in memory; EWriteError, the file left as it was,
// when it is larger than the list files that are read (kDUDMaxFileSize).
void DUDSaveListFile(const std::string& name, const TMemoryStream& s);
// A list file of the given type read into memory, positioned after its
// signature. The file is checked before it is read: only a regular file no
// larger than kDUDMaxFileSize whose signature is the type's is read whole;
// anything else raises an EStreamError.
TMemoryStream DUDLoadListFile(const std::string& name, int type);

} // namespace kyd::widgets
