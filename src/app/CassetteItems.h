// What the Cassette page writes: the three items a cassette position keeps
// (28 the id, 27 the denomination code, 29 the note size), composed from
// the page's fields and checked before anything is sent.
#pragma once

#include "app/Denomination.h"

#include <string>

namespace kyd::app {

constexpr int kItemDenomination = 27;
constexpr int kItemCassetteId = 28;
constexpr int kItemNoteSize = 29;

// The id as written: at most 8 characters.
std::string CassetteIdText(const std::string& id);
// An id to write holds 1 to 8 letters or digits (what its edit mask lets
// through); false, with "Wrong Cassette ID: " and the text in error,
// otherwise.
bool CheckCassetteId(const std::string& id, std::string& error);

// Composes "CUR value variant" from the fields (the currency and the variant
// in upper case; no variant, no trailing blank) and parses it. False, with
// "Wrong Denomination value: " and the text in error, when it does not
// parse or its code cannot hold the value exactly (EUR 255 would be stored
// as EUR 250).
bool ComposeDenomination(const std::string& currency, const std::string& value, const std::string& variant,
                         TDenomination& out, std::string& error);

// Item 29: the height and the width in three digits each ("085120"). False,
// with the reason in error, when a field is not a number of 1 to 3 digits.
bool NoteSizeText(const std::string& height, const std::string& width, std::string& out, std::string& error);

} // namespace kyd::app
