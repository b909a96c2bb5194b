// Error codes, texts and the exception each code raises.
#include "serial/SioExcept.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <new>
#include <system_error>
#include <set>
#include <typeindex>
#include <typeinfo>

using namespace sio;

namespace {

// The family the codes of each thousand belong to (telephony: -13xxx).
bool InItsFamily(int code, const std::exception& e)
{
    const auto is = [&e](auto* family) { return dynamic_cast<decltype(family)>(&e) != nullptr; };
    switch (code <= -13000 ? 13 : -code / 1000) {
    case 1: return is(static_cast<const EGeneral*>(nullptr));
    case 2: return is(static_cast<const EOpenComm*>(nullptr));
    case 3: return is(static_cast<const ESerialIO*>(nullptr));
    case 4: return is(static_cast<const EModem*>(nullptr));
    case 5: return is(static_cast<const ETrigger*>(nullptr));
    case 6: return is(static_cast<const EProtocol*>(nullptr));
    case 7: return is(static_cast<const EINI*>(nullptr)) || typeid(e) == typeid(EInternal);
    case 8: return is(static_cast<const EFax*>(nullptr));
    case 13: return is(static_cast<const ETapi*>(nullptr)) || typeid(e) == typeid(ERasLoadFail);
    default: return false;
    }
}

} // namespace

// Every code from 0 to -14000 once: what it raises keeps the code and its
// text, a listed code raises a class of its thousand's family, every other
// code a plain ESIOException "Dida exception", and while loading nothing
// is raised at all.
TEST(SioCheckException, EveryCodeRaisesWhatItsTableSays)
{
    std::set<std::type_index> classes;
    int listed = 0;
    for (int code = 0; code >= -14000; --code) {
        EXPECT_EQ(CheckException(true, code), code);
        if (code == 0 || code == -8 || (code <= -2 && code >= -162))
            continue; // below
        try {
            CheckException(false, code);
            ADD_FAILURE() << "nothing raised for " << code;
        } catch (const ESIOException& e) {
            EXPECT_EQ(e.ErrorCode, code);
            EXPECT_EQ(XlatException(e), code);
            if (typeid(e) == typeid(ESIOException)) {
                EXPECT_STREQ(e.what(), "Dida exception") << code;
                continue;
            }
            ++listed;
            classes.insert(typeid(e));
            EXPECT_TRUE(InItsFamily(code, e)) << code << " raised " << typeid(e).name();
            EXPECT_EQ(std::string(e.what()), DidaLoadStr(code)) << code;
        }
    }
    EXPECT_EQ(listed, 167);
    EXPECT_EQ(classes.size(), 162u) << "a code lost its class, or two codes now share one";
    // Outside the table's range, the same.
    for (int code : {-99999, -2147483647 - 1}) {
        try {
            CheckException(false, code);
            ADD_FAILURE() << code;
        } catch (const ESIOException& e) {
            EXPECT_EQ(typeid(e), typeid(ESIOException));
            EXPECT_EQ(e.ErrorCode, code);
        }
    }
    EXPECT_EQ(CheckException(false, 12), 12);
}

TEST(SioCheckException, ExamplesOfTheTable)
{
    try {
        CheckException(false, -2001);
        FAIL();
    } catch (const EOpenComm& e) {
        EXPECT_STREQ(e.what(), "ie_BadId - Specified comport doesn't exist");
        EXPECT_EQ(e.ErrorCode, -2001);
        EXPECT_NE(dynamic_cast<const EBadId*>(&e), nullptr);
    }
    const auto raised = [](int code) -> std::type_index {
        try {
            CheckException(false, code);
        } catch (const std::exception& e) {
            return typeid(e);
        }
        return typeid(void);
    };
    EXPECT_EQ(raised(-1002), typeid(EBadArgument));
    EXPECT_EQ(raised(-3007), typeid(EBufferIsEmpty));
    EXPECT_EQ(raised(-5506), typeid(ESIOException)) << "packet codes have no class";
    EXPECT_EQ(raised(-6006), typeid(EProtocol));
    EXPECT_EQ(raised(-7003), typeid(EInternal));
    EXPECT_EQ(raised(-7014), typeid(EBadFieldForIndex));
    EXPECT_EQ(raised(-8070), typeid(EFaxPageError));
    EXPECT_EQ(raised(-13801), typeid(ETapiAllocated));
    EXPECT_EQ(raised(-13886), typeid(ETapiNoMultipleInstance));
    EXPECT_EQ(raised(-13804), typeid(ESIOException)) << "a gap in the telephony codes";
    EXPECT_EQ(raised(-13980), typeid(ERasLoadFail));
}

TEST(SioCheckException, SystemErrorRangeRaisesInOutError)
{
    for (int code = -2; code >= -162; --code) {
        if (code == -8)
            continue;
        try {
            CheckException(false, code);
            ADD_FAILURE() << code;
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode, -code);
            EXPECT_EQ(std::string(e.what()), DidaLoadStr(code));
            EXPECT_EQ(XlatException(e), code);
        }
    }
    EXPECT_THROW(CheckException(false, -8), std::bad_alloc);
    EXPECT_EQ(CheckException(true, -8), -8);
}

TEST(SioCheckException, SystemTextsForCodesWithoutAText)
{
    try {
        CheckException(false, -31);
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(std::string(e.what()), std::generic_category().message(31));
        EXPECT_EQ(e.ErrorCode, 31);
    }
    try {
        CheckException(false, -2);
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "File not found") << "the table text wins";
    }
}

TEST(SioMessages, TextsOfTheTable)
{
    // Every text is found by the absolute value of its code, is what
    // ErrorMsg gives, and fits the 255 characters.
    int texts = 0;
    for (int code = 0; code >= -14000; --code) {
        const std::string text = MessageNumberToString(code);
        EXPECT_EQ(MessageNumberToString(-code), text) << code;
        if (text.empty())
            continue;
        ++texts;
        EXPECT_LE(text.size(), 255u);
        EXPECT_EQ(ErrorMsg(code), text);
    }
    EXPECT_EQ(texts, 44);
    EXPECT_EQ(MessageNumberToString(0), "OK");
    EXPECT_EQ(MessageNumberToString(-2), "File not found");
    EXPECT_EQ(MessageNumberToString(-162), "General failure");
    EXPECT_EQ(MessageNumberToString(-2011), "The ComNumber property of the TSioComPort has not been set");
    EXPECT_EQ(MessageNumberToString(-5506), "Packet too long");
    EXPECT_EQ(MessageNumberToString(-7501), "StartState not set");
    EXPECT_EQ(MessageNumberToString(-4), "");
    EXPECT_EQ(MessageNumberToString(-99999), "");
}

TEST(SioMessages, SystemTextsAreCleaned)
{
    EXPECT_EQ(CleanMessageText("Device not ready.\r\n"), "Device not ready. ");
    EXPECT_EQ(CleanMessageText("a\t\tb   c\n"), "a b c ");
    EXPECT_EQ(CleanMessageText(std::string(300, 'x')).size(), 255u);
    // No table text: the system's text for the absolute code.
    EXPECT_EQ(DidaLoadStr(-13), std::generic_category().message(13));
    // Neither the table nor the system knows it: no text at all.
    EXPECT_EQ(DidaLoadStr(123456), "");
    EXPECT_STREQ(ESIOException(-4009, false).what(), "");
}

TEST(SioMessages, EsioExceptionConstructors)
{
    ESIOException byCode(-3007, true);
    EXPECT_EQ(byCode.ErrorCode, -3007);
    EXPECT_STREQ(byCode.what(), "Buffer is empty");
    ESIOException byText("any text", 5);
    EXPECT_EQ(byText.ErrorCode, 0);
    EXPECT_STREQ(byText.what(), "any text");
    EXPECT_EQ(ESIOException::MapCodeToStringID(-2001), 2001);
    ESioPagerException pager(7, "pager");
    EXPECT_EQ(pager.ErrorCode, 7);
    EXPECT_STREQ(pager.what(), "pager");
}

TEST(SioMessages, XlatExceptionOfOtherExceptions)
{
    EXPECT_EQ(XlatException(std::bad_alloc()), -8);
    EXPECT_EQ(XlatException(std::runtime_error("x")), -9999);
    EXPECT_EQ(XlatException(std::make_exception_ptr(EBadId(-2001))), -2001);
    EXPECT_EQ(XlatException(std::make_exception_ptr(42)), -9999);
    EXPECT_EQ(XlatException(std::exception_ptr{}), -9999);
}

TEST(SioMessages, EveryTelephonyClassIsDeclared)
{
#define SIO_COUNT_TAPI(cls, base) +(std::is_same_v<base, ETapi> ? 1 : 0)
    constexpr int tapiClasses = 0 SIO_EXCEPTION_CLASSES(SIO_COUNT_TAPI);
#undef SIO_COUNT_TAPI
    EXPECT_EQ(tapiClasses, 94);
    EXPECT_TRUE((std::is_base_of_v<ETapi, ETapiUnexpected>));
    EXPECT_TRUE((std::is_base_of_v<ETapi, EVoIPNotSupported>));
    EXPECT_TRUE((std::is_base_of_v<EXML, EAdParserError>));
    EXPECT_TRUE((std::is_base_of_v<EAdStreamError, EAdFilterError>));
}
