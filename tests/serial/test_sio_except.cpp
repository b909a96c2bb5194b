// Error codes, texts and the exception each code raises.
#include "serial/SioExcept.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <ostream>
#include <new>
#include <system_error>
#include <typeinfo>

using namespace sio;

namespace {

using Check = std::function<bool(const std::exception&)>;

struct Case {
    int code;
    std::string name;
    Check exact;  // the exception is of exactly this class
    Check family; // ... and derives from this family
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name << " " << c.code;
}

#define EXACT(cls) [](const std::exception& e) { return typeid(e) == typeid(sio::cls); }
#define FAMILY(cls) [](const std::exception& e) { return dynamic_cast<const sio::cls*>(&e) != nullptr; }
#define C(code, cls, fam) Case{code, #cls, EXACT(cls), FAMILY(fam)}

std::vector<Case> classCases()
{
    std::vector<Case> v = {
        C(-1002, EBadArgument, EGeneral), C(-1003, EGotQuitMsg, EGeneral), C(-1004, EBufferTooBig, EGeneral),
        C(-1005, EPortNotAssigned, EGeneral), C(-1006, EInternal, EGeneral), C(-1007, EModemNotAssigned, EGeneral),
        C(-1008, EPhonebookNotAssigned, EGeneral), C(-1009, ECannotUseWithWinSock, EGeneral),

        C(-2001, EBadId, EOpenComm), C(-2002, EBaudRate, EOpenComm), C(-2003, EByteSize, EOpenComm),
        C(-2004, EDefault, EOpenComm), C(-2005, EHardware, EOpenComm), C(-2006, EMemory, EOpenComm),
        C(-2007, ECommNotOpen, EOpenComm), C(-2008, EAlreadyOpen, EOpenComm), C(-2009, ENoHandles, EOpenComm),
        C(-2010, ENoTimers, EOpenComm), C(-2011, ENoPortSelected, EOpenComm), C(-2012, ENotOpenedByTapi, EOpenComm),

        C(-3001, ENullApi, ESerialIO), C(-3003, ERegisterHandlerFailed, ESerialIO), C(-3004, EPutBlockFail, ESerialIO),
        C(-3005, EGetBlockFail, ESerialIO), C(-3006, EOutputBufferTooSmall, ESerialIO),
        C(-3007, EBufferIsEmpty, ESerialIO), C(-3008, ETracingNotEnabled, ESerialIO),
        C(-3009, ELoggingNotEnabled, ESerialIO), C(-3010, EBaseAddressNotSet, ESerialIO),

        C(-4001, EModemNotStarted, EModem), C(-4002, EModemBusy, EModem), C(-4003, EModemNotDialing, EModem),
        C(-4004, ENotDialing, EModem), C(-4005, EAlreadyDialing, EModem), C(-4006, EModemNotResponding, EModem),
        C(-4007, EModemRejectedCommand, EModem), C(-4008, EModemStatusMismatch, EModem),

        C(-5001, ENoMoreTriggers, ETrigger), C(-5002, ETriggerTooLong, ETrigger), C(-5003, EBadTriggerHandle, ETrigger),

        C(-6006, EProtocol, EProtocol), C(-6008, EProtocol, EProtocol), C(-6009, EProtocol, EProtocol),

        C(-7001, EKeyTooLong, EINI), C(-7002, EDataTooLarge, EINI), C(-7003, EInternal, EGeneral),
        C(-7004, EIniWrite, EINI), C(-7005, EIniRead, EINI), C(-7006, EInternal, EGeneral),
        C(-7007, ERecordExists, EINI), C(-7008, ERecordNotFound, EINI), C(-7010, EDatabaseFull, EINI),
        C(-7011, EDatabaseEmpty, EINI), C(-7012, EInternal, EGeneral), C(-7013, EBadFieldList, EINI),
        C(-7014, EBadFieldForIndex, EINI),

        C(-8001, EFaxBadFormat, EFax), C(-8002, EBadGraphicsFormat, EFax), C(-8003, EConvertAbort, EFax),
        C(-8004, EUnpackAbort, EFax), C(-8005, ECantMakeBitmap, EFax), C(-8053, EInvalidPageNumber, EFax),
        C(-8060, EFaxBadMachine, EFax), C(-8061, EFaxBadModemResult, EFax), C(-8062, EFaxTrainError, EFax),
        C(-8063, EFaxInitError, EFax), C(-8064, EFaxBusy, EFax), C(-8065, EFaxVoiceCall, EFax),
        C(-8066, EFaxDataCall, EFax), C(-8067, EFaxNoDialTone, EFax), C(-8068, EFaxNoCarrier, EFax),
        C(-8069, EFaxSessionError, EFax), C(-8070, EFaxPageError, EFax),

        C(-13928, ETapiBusy, ETapi), C(-13929, ETapiNotSet, ETapi), C(-13930, ETapiNoSelect, ETapi),
        C(-13931, ETapiLoadFail, ETapi), C(-13932, ETapiGetAddrFail, ETapi),
        C(-13935, ETapiVoiceNotSupported, ETapi), C(-13936, ETapiWaveFail, ETapi),
        C(-13942, ETapiTranslateFail, ETapi), C(-13980, ERasLoadFail, ERas),
    };

    // Telephony -13801 to -13886 in this order, -13804 and -13849 absent.
#define T(cls) Case{0, #cls, EXACT(cls), FAMILY(ETapi)}
    std::vector<Case> tapi = {
        T(ETapiAllocated), T(ETapiBadDeviceID), T(ETapiBearerModeUnavail), T(ETapiCallUnavail),
        T(ETapiCompletionOverrun), T(ETapiConferenceFull), T(ETapiDialBilling), T(ETapiDialDialtone),
        T(ETapiDialPrompt), T(ETapiDialQuiet), T(ETapiIncompatibleApiVersion), T(ETapiIncompatibleExtVersion),
        T(ETapiIniFileCorrupt), T(ETapiInUse), T(ETapiInvalAddress), T(ETapiInvalAddressID),
        T(ETapiInvalAddressMode), T(ETapiInvalAddressState), T(ETapiInvalAppHandle), T(ETapiInvalAppName),
        T(ETapiInvalBearerMode), T(ETapiInvalCallComplMode), T(ETapiInvalCallHandle), T(ETapiInvalCallParams),
        T(ETapiInvalCallPrivilege), T(ETapiInvalCallSelect), T(ETapiInvalCallState), T(ETapiInvalCallStatelist),
        T(ETapiInvalCard), T(ETapiInvalCompletionID), T(ETapiInvalConfCallHandle), T(ETapiInvalConsultCallHandle),
        T(ETapiInvalCountryCode), T(ETapiInvalDeviceClass), T(ETapiInvalDeviceHandle), T(ETapiInvalDialParams),
        T(ETapiInvalDigitList), T(ETapiInvalDigitMode), T(ETapiInvalDigits), T(ETapiInvalExtVersion),
        T(ETapiInvalGroupID), T(ETapiInvalLineHandle), T(ETapiInvalLineState), T(ETapiInvalLocation),
        T(ETapiInvalMediaList), T(ETapiInvalMediaMode), T(ETapiInvalMessageID), T(ETapiInvalParam),
        T(ETapiInvalParkID), T(ETapiInvalParkMode), T(ETapiInvalPointer), T(ETapiInvalPrivSelect),
        T(ETapiInvalRate), T(ETapiInvalRequestMode), T(ETapiInvalTerminalID), T(ETapiInvalTerminalMode),
        T(ETapiInvalTimeout), T(ETapiInvalTone), T(ETapiInvalToneList), T(ETapiInvalToneMode),
        T(ETapiInvalTransferMode), T(ETapiLineMapperFailed), T(ETapiNoConference), T(ETapiNoDevice),
        T(ETapiNoDriver), T(ETapiNoMem), T(ETapiNoRequest), T(ETapiNotOwner),
        T(ETapiNotRegistered), T(ETapiOperationFailed), T(ETapiOperationUnavail), T(ETapiRateUnavail),
        T(ETapiResourceUnavail), T(ETapiRequestOverrun), T(ETapiStructureTooSmall), T(ETapiTargetNotFound),
        T(ETapiTargetSelf), T(ETapiUninitialized), T(ETapiUserUserInfoTooBig), T(ETapiReinit),
        T(ETapiAddressBlocked), T(ETapiBillingRejected), T(ETapiInvalFeature), T(ETapiNoMultipleInstance),
    };
#undef T
    EXPECT_EQ(tapi.size(), 84u);
    int code = -13801;
    for (Case& c : tapi) {
        if (code == -13804 || code == -13849)
            --code;
        c.code = code--;
        v.push_back(c);
    }
    EXPECT_EQ(code + 1, -13886);
    return v;
}

// Negative codes of the table that raise a plain ESIOException.
std::vector<int> baseCodes()
{
    std::vector<int> v = {-1001, -3002, -4020, -4021, -7009, -8054, -8055, -8085, -8500, -13934};
    auto range = [&v](int from, int to) {
        for (int c = from; c >= to; --c)
            v.push_back(c);
    };
    range(-4009, -4017);
    range(-5501, -5506);
    for (int c = -6001; c >= -6016; --c)
        if (c != -6006 && c != -6008 && c != -6009)
            v.push_back(c);
    range(-7500, -7502);
    range(-8050, -8052);
    range(-8071, -8075);
    range(-8080, -8083);
    range(-8087, -8092);
    range(-8100, -8103);
    range(-8300, -8340);
    range(-13937, -13941);
    range(-13943, -13945);
    range(-13950, -13959);
    return v;
}

} // namespace

class SioCheckExceptionClass : public ::testing::TestWithParam<Case> {};

TEST_P(SioCheckExceptionClass, RaisesTheClassOfTheCode)
{
    const Case& c = GetParam();
    try {
        CheckException(false, c.code);
        ADD_FAILURE() << "no exception for " << c.code;
    } catch (const ESIOException& e) {
        EXPECT_TRUE(c.exact(e)) << c.code << " raised " << typeid(e).name() << ", want " << c.name;
        EXPECT_TRUE(c.family(e)) << c.code;
        EXPECT_EQ(e.ErrorCode, c.code);
        EXPECT_EQ(std::string(e.what()), DidaLoadStr(c.code));
        EXPECT_EQ(XlatException(e), c.code);
    }
    EXPECT_EQ(CheckException(true, c.code), c.code) << "nothing raised while loading";
}

INSTANTIATE_TEST_SUITE_P(AllListedCodes, SioCheckExceptionClass, ::testing::ValuesIn(classCases()),
                         [](const auto& info) {
                             return info.param.name + "_" + std::to_string(-info.param.code);
                         });

TEST(SioCheckException, PositiveAndZeroCodesPassThrough)
{
    EXPECT_EQ(CheckException(false, 0), 0);
    EXPECT_EQ(CheckException(false, 12), 12);
}

TEST(SioCheckException, BadIdCarriesItsTextAndCode)
{
    try {
        CheckException(false, -2001);
        FAIL();
    } catch (const EOpenComm& e) {
        EXPECT_STREQ(e.what(), "ie_BadId - Specified comport doesn't exist");
        EXPECT_EQ(e.ErrorCode, -2001);
        EXPECT_NE(dynamic_cast<const EBadId*>(&e), nullptr);
    }
}

TEST(SioCheckException, BaseCodesRaiseDidaExceptionKeepingTheCode)
{
    std::vector<int> codes = baseCodes();
    codes.push_back(-99999); // in no table at all
    codes.push_back(-163);   // just outside the system-error range
    codes.push_back(-2147483647 - 1);
    for (int code : codes) {
        try {
            CheckException(false, code);
            ADD_FAILURE() << code;
        } catch (const ESIOException& e) {
            EXPECT_EQ(typeid(e), typeid(ESIOException)) << code;
            EXPECT_STREQ(e.what(), "Dida exception") << code;
            EXPECT_EQ(e.ErrorCode, code) << "the real code, not 0 (\"OK\")";
        }
        EXPECT_EQ(CheckException(true, code), code);
    }
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
    const std::pair<int, const char*> texts[] = {
        {-2, "File not found"},
        {-3, "Path not found"},
        {-5, "File access denied"},
        {-8, "Insufficient memory"},
        {-160, "Device write error"},
        {-161, "Device read error"},
        {-162, "General failure"},
        {-1002, "Bad argument passed to function"},
        {-2001, "ie_BadId - Specified comport doesn't exist"},
        {-2002, "ie_Baudrate - unsupported baud rate"},
        {-2003, "ie_Bytesize - invalid byte size"},
        {-2004, "ie_Default - error in default parameters"},
        {-2005, "ie_Hardware - Specified comport in use"},
        {-2006, "ie_Memory - unable to allocate queues"},
        {-2007, "ie_NOpen - device not open"},
        {-2008, "ie_Open - device already open"},
        {-2009, "No more handles, can't open port"},
        {-2010, "No timers available"},
        {-2011, "The ComNumber property of the TSioComPort has not been set"},
        {-2012, "Comport was not opened by Tapi"},
        {-3001, "No device layer specified"},
        {-3002, "Function not supported by driver"},
        {-3003, "EnableCommNotification failed"},
        {-3004, "Failed to put entire block"},
        {-3005, "Failed to get entire block"},
        {-3006, "Output buffer too small for block"},
        {-3007, "Buffer is empty"},
        {-3008, "Tracing not enabled"},
        {-3009, "Logging not enabled"},
        {-3010, "Base address not set"},
        {-5001, "No more trigger slots"},
        {-5002, "Data trigger too long"},
        {-5003, "Bad trigger handle"},
        {-5501, "Start string is empty"},
        {-5502, "Packet size cannot be smaller than start string"},
        {-5503, "CharCount packets must have an end-condition"},
        {-5504, "End string is empty"},
        {-5505, "Packet size cannot be zero"},
        {-5506, "Packet too long"},
        {0, "OK"},
    };
    for (auto [code, text] : texts) {
        EXPECT_EQ(MessageNumberToString(code), text) << code;
        EXPECT_EQ(MessageNumberToString(-code), text) << "matched by absolute value: " << code;
        EXPECT_EQ(ErrorMsg(code), text);
    }
    EXPECT_EQ(MessageNumberToString(2001), MessageNumberToString(-2001));
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
