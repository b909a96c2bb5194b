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

// The id edit's mask: seven positions that may stay empty, then one that
// must be filled, each a letter or a digit; an empty position is a blank.
inline constexpr const char* kCassetteIdMask = "aaaaaaaA;1; ";

// Item 28 from the id edit's positions as shown (a blank where nothing was
// typed; missing positions at the end count as empty): always 8 characters,
// the empty positions sent as blanks. False, with "Wrong Cassette ID: ", the
// text and the reason in error, when a position the mask requires is empty
// or a position holds anything but a letter, a digit or (where it may stay
// empty) a blank.
bool CassetteIdText(const std::string& shown, std::string& out, std::string& error);

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
