// Error codes of the serial library, their message texts and the exception
// classes.
//
// Every operation of the library reports failure as a negative code;
// CheckException turns such a code into the exception of its class. All
// classes below ESIOException are declared from one list,
// SIO_EXCEPTION_CLASSES, as (class, base); the code -> class table in
// SioExcept.cpp names them through the same list.
#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

namespace sio {

class ESIOException : public std::runtime_error {
public:
    // ErrorCode := code; message := DidaLoadStr(|code|). useNumber is unused.
    explicit ESIOException(int code, bool useNumber = false);
    // The message unchanged; ErrorCode := 0.
    ESIOException(const std::string& message, int dummy);

    static int MapCodeToStringID(int code);

    int ErrorCode = 0;
};

// (class, base) of every library exception below ESIOException.
// clang-format off
#define SIO_EXCEPTION_CLASSES(X) \
    X(EGeneral, ESIOException) \
    X(EBadArgument, EGeneral) \
    X(EGotQuitMsg, EGeneral) \
    X(EBufferTooBig, EGeneral) \
    X(EPortNotAssigned, EGeneral) \
    X(EInternal, EGeneral) \
    X(EModemNotAssigned, EGeneral) \
    X(EPhonebookNotAssigned, EGeneral) \
    X(ECannotUseWithWinSock, EGeneral) \
    X(EOpenComm, ESIOException) \
    X(EBadId, EOpenComm) \
    X(EBaudRate, EOpenComm) \
    X(EByteSize, EOpenComm) \
    X(EDefault, EOpenComm) \
    X(EHardware, EOpenComm) \
    X(EMemory, EOpenComm) \
    X(ECommNotOpen, EOpenComm) \
    X(EAlreadyOpen, EOpenComm) \
    X(ENoHandles, EOpenComm) \
    X(ENoTimers, EOpenComm) \
    X(ENoPortSelected, EOpenComm) \
    X(ENotOpenedByTapi, EOpenComm) \
    X(EPermissionDenied, EOpenComm) \
    X(ESerialIO, ESIOException) \
    X(ENullApi, ESerialIO) \
    X(ERegisterHandlerFailed, ESerialIO) \
    X(EPutBlockFail, ESerialIO) \
    X(EGetBlockFail, ESerialIO) \
    X(EOutputBufferTooSmall, ESerialIO) \
    X(EBufferIsEmpty, ESerialIO) \
    X(ETracingNotEnabled, ESerialIO) \
    X(ELoggingNotEnabled, ESerialIO) \
    X(EBaseAddressNotSet, ESerialIO) \
    X(EModem, ESIOException) \
    X(EModemNotStarted, EModem) \
    X(EModemBusy, EModem) \
    X(EModemNotDialing, EModem) \
    X(ENotDialing, EModem) \
    X(EAlreadyDialing, EModem) \
    X(EModemNotResponding, EModem) \
    X(EModemRejectedCommand, EModem) \
    X(EModemStatusMismatch, EModem) \
    X(EDeviceNotSelected, EModem) \
    X(EModemDetectedBusy, EModem) \
    X(ENoDialtone, EModem) \
    X(ENoCarrier, EModem) \
    X(ENoAnswer, EModem) \
    X(ETrigger, ESIOException) \
    X(ENoMoreTriggers, ETrigger) \
    X(ETriggerTooLong, ETrigger) \
    X(EBadTriggerHandle, ETrigger) \
    X(EPacket, ESIOException) \
    X(EInvalidProperty, EPacket) \
    X(EStringSizeError, EPacket) \
    X(EProtocol, ESIOException) \
    X(ETimeout, EProtocol) \
    X(ETooManyErrors, EProtocol) \
    X(ESequenceError, EProtocol) \
    X(EINI, ESIOException) \
    X(EKeyTooLong, EINI) \
    X(EDataTooLarge, EINI) \
    X(EIniWrite, EINI) \
    X(EIniRead, EINI) \
    X(ERecordExists, EINI) \
    X(ERecordNotFound, EINI) \
    X(EDatabaseFull, EINI) \
    X(EDatabaseEmpty, EINI) \
    X(EBadFieldList, EINI) \
    X(EBadFieldForIndex, EINI) \
    X(EFax, ESIOException) \
    X(EFaxBadFormat, EFax) \
    X(EBadGraphicsFormat, EFax) \
    X(EConvertAbort, EFax) \
    X(EUnpackAbort, EFax) \
    X(ECantMakeBitmap, EFax) \
    X(EInvalidPageNumber, EFax) \
    X(EFaxBadMachine, EFax) \
    X(EFaxBadModemResult, EFax) \
    X(EFaxTrainError, EFax) \
    X(EFaxInitError, EFax) \
    X(EFaxBusy, EFax) \
    X(EFaxVoiceCall, EFax) \
    X(EFaxDataCall, EFax) \
    X(EFaxNoDialTone, EFax) \
    X(EFaxNoCarrier, EFax) \
    X(EFaxSessionError, EFax) \
    X(EFaxPageError, EFax) \
    X(EAlreadyMonitored, EFax) \
    X(ENoImageLoaded, EFax) \
    X(ENoImageBlockMarked, EFax) \
    X(ETapi, ESIOException) \
    X(ETapiAllocated, ETapi) \
    X(ETapiBadDeviceID, ETapi) \
    X(ETapiBearerModeUnavail, ETapi) \
    X(ETapiCallUnavail, ETapi) \
    X(ETapiCompletionOverrun, ETapi) \
    X(ETapiConferenceFull, ETapi) \
    X(ETapiDialBilling, ETapi) \
    X(ETapiDialDialtone, ETapi) \
    X(ETapiDialPrompt, ETapi) \
    X(ETapiDialQuiet, ETapi) \
    X(ETapiIncompatibleApiVersion, ETapi) \
    X(ETapiIncompatibleExtVersion, ETapi) \
    X(ETapiIniFileCorrupt, ETapi) \
    X(ETapiInUse, ETapi) \
    X(ETapiInvalAddress, ETapi) \
    X(ETapiInvalAddressID, ETapi) \
    X(ETapiInvalAddressMode, ETapi) \
    X(ETapiInvalAddressState, ETapi) \
    X(ETapiInvalAppHandle, ETapi) \
    X(ETapiInvalAppName, ETapi) \
    X(ETapiInvalBearerMode, ETapi) \
    X(ETapiInvalCallComplMode, ETapi) \
    X(ETapiInvalCallHandle, ETapi) \
    X(ETapiInvalCallParams, ETapi) \
    X(ETapiInvalCallPrivilege, ETapi) \
    X(ETapiInvalCallSelect, ETapi) \
    X(ETapiInvalCallState, ETapi) \
    X(ETapiInvalCallStatelist, ETapi) \
    X(ETapiInvalCard, ETapi) \
    X(ETapiInvalCompletionID, ETapi) \
    X(ETapiInvalConfCallHandle, ETapi) \
    X(ETapiInvalConsultCallHandle, ETapi) \
    X(ETapiInvalCountryCode, ETapi) \
    X(ETapiInvalDeviceClass, ETapi) \
    X(ETapiInvalDeviceHandle, ETapi) \
    X(ETapiInvalDialParams, ETapi) \
    X(ETapiInvalDigitList, ETapi) \
    X(ETapiInvalDigitMode, ETapi) \
    X(ETapiInvalDigits, ETapi) \
    X(ETapiInvalExtVersion, ETapi) \
    X(ETapiInvalGroupID, ETapi) \
    X(ETapiInvalLineHandle, ETapi) \
    X(ETapiInvalLineState, ETapi) \
    X(ETapiInvalLocation, ETapi) \
    X(ETapiInvalMediaList, ETapi) \
    X(ETapiInvalMediaMode, ETapi) \
    X(ETapiInvalMessageID, ETapi) \
    X(ETapiInvalParam, ETapi) \
    X(ETapiInvalParkID, ETapi) \
    X(ETapiInvalParkMode, ETapi) \
    X(ETapiInvalPointer, ETapi) \
    X(ETapiInvalPrivSelect, ETapi) \
    X(ETapiInvalRate, ETapi) \
    X(ETapiInvalRequestMode, ETapi) \
    X(ETapiInvalTerminalID, ETapi) \
    X(ETapiInvalTerminalMode, ETapi) \
    X(ETapiInvalTimeout, ETapi) \
    X(ETapiInvalTone, ETapi) \
    X(ETapiInvalToneList, ETapi) \
    X(ETapiInvalToneMode, ETapi) \
    X(ETapiInvalTransferMode, ETapi) \
    X(ETapiLineMapperFailed, ETapi) \
    X(ETapiNoConference, ETapi) \
    X(ETapiNoDevice, ETapi) \
    X(ETapiNoDriver, ETapi) \
    X(ETapiNoMem, ETapi) \
    X(ETapiNoRequest, ETapi) \
    X(ETapiNotOwner, ETapi) \
    X(ETapiNotRegistered, ETapi) \
    X(ETapiOperationFailed, ETapi) \
    X(ETapiOperationUnavail, ETapi) \
    X(ETapiRateUnavail, ETapi) \
    X(ETapiResourceUnavail, ETapi) \
    X(ETapiRequestOverrun, ETapi) \
    X(ETapiStructureTooSmall, ETapi) \
    X(ETapiTargetNotFound, ETapi) \
    X(ETapiTargetSelf, ETapi) \
    X(ETapiUninitialized, ETapi) \
    X(ETapiUserUserInfoTooBig, ETapi) \
    X(ETapiReinit, ETapi) \
    X(ETapiAddressBlocked, ETapi) \
    X(ETapiBillingRejected, ETapi) \
    X(ETapiInvalFeature, ETapi) \
    X(ETapiNoMultipleInstance, ETapi) \
    X(ETapiBusy, ETapi) \
    X(ETapiNotSet, ETapi) \
    X(ETapiNoSelect, ETapi) \
    X(ETapiLoadFail, ETapi) \
    X(ETapiGetAddrFail, ETapi) \
    X(ETapiVoiceNotSupported, ETapi) \
    X(ETapiWaveFail, ETapi) \
    X(ETapiTranslateFail, ETapi) \
    X(ETapiUnexpected, ETapi) \
    X(EVoIPNotSupported, ETapi) \
    X(ERas, ESIOException) \
    X(ERasLoadFail, ERas) \
    X(EAdTerminal, ESIOException) \
    X(EAdTermRangeError, EAdTerminal) \
    X(EAdTermInvalidParameter, EAdTerminal) \
    X(EAdTermTooLarge, EAdTerminal) \
    X(EXML, ESIOException) \
    X(EStateMachine, ESIOException)
// clang-format on

#define SIO_DECLARE_EXCEPTION(cls, base)                                                           \
    class cls : public base {                                                                      \
    public:                                                                                        \
        using base::base;                                                                          \
    };
SIO_EXCEPTION_CLASSES(SIO_DECLARE_EXCEPTION)
#undef SIO_DECLARE_EXCEPTION

// Stream errors of the XML family (not raised by the library itself).
class EAdStreamError : public EXML {
public:
    using EXML::EXML;
    std::int64_t StreamPos = 0;
};
class EAdFilterError : public EAdStreamError {
public:
    using EAdStreamError::EAdStreamError;
    std::int32_t Line = 0;
    std::int32_t Col = 0;
};
class EAdParserError : public EAdStreamError {
public:
    EAdParserError(int code, std::int32_t line, std::int32_t col);
    std::int32_t Line = 0;
    std::int32_t Col = 0;
};

// Outside the ESIOException families: message taken unchanged.
class ESioPagerException : public std::runtime_error {
public:
    ESioPagerException(int code, const std::string& message);
    int ErrorCode;
};
class ESioGSMPhoneException : public std::runtime_error {
public:
    ESioGSMPhoneException(int code, const std::string& message);
    int ErrorCode;
};

// System and file errors (codes -2 to -162). ErrorCode holds the absolute
// value of the library code. Out of memory (-8) is std::bad_alloc.
class EInOutError : public std::runtime_error {
public:
    EInOutError(const std::string& message, int errorCode);
    int ErrorCode;
};

// The table text of a code (matched by absolute value), at most 255
// characters; empty when the table has none.
std::string MessageNumberToString(int code);
// The table text, or else the operating system's text for |code| with every
// control character turned into a blank and runs of blanks reduced to one.
std::string DidaLoadStr(int code);
std::string ErrorMsg(int code);
// The cleaning DidaLoadStr applies to an operating-system text.
std::string CleanMessageText(std::string text);

// Returns code when it is 0 or positive, or when loading is true (the owning
// component is being set up from stored properties); otherwise throws the
// exception of the code and does not return:
//   -2..-162      EInOutError (ErrorCode = |code|), -8 std::bad_alloc;
//   listed code   its class, created with (code, false);
//   other         ESIOException "Dida exception" keeping code in ErrorCode.
int CheckException(bool loading, int code);

// The library code of a caught exception: ESIOException -> ErrorCode,
// EInOutError -> -ErrorCode, std::bad_alloc -> -8, anything else -9999.
int XlatException(const std::exception& e);
int XlatException(std::exception_ptr e);

// Library error codes the rest of the library names.
namespace ecodes {
inline constexpr int ecOK = 0;
inline constexpr int ecFileNotFound = -2;
inline constexpr int ecPathNotFound = -3;
inline constexpr int ecAccessDenied = -5;
inline constexpr int ecOutOfMemory = -8;
inline constexpr int ecDeviceWrite = -160;
inline constexpr int ecDeviceRead = -161;
inline constexpr int ecHardwareFailure = -162;
inline constexpr int ecBadArgument = -1002;
inline constexpr int ecGotQuitMsg = -1003;
inline constexpr int ecBufferTooBig = -1004;
inline constexpr int ecPortNotAssigned = -1005;
inline constexpr int ecInternal = -1006;
inline constexpr int ecBadId = -2001;
inline constexpr int ecBaudRate = -2002;
inline constexpr int ecByteSize = -2003;
inline constexpr int ecDefault = -2004;
inline constexpr int ecCommNotOpen = -2007;
inline constexpr int ecHardware = -2005;
inline constexpr int ecMemory = -2006;
inline constexpr int ecAlreadyOpen = -2008;
inline constexpr int ecNoHandles = -2009;
inline constexpr int ecNoTimers = -2010;
inline constexpr int ecNoPortSelected = -2011;
inline constexpr int ecNotOpenedByTapi = -2012;
// The device exists but this user may not open it (no Windows counterpart).
inline constexpr int ecPermissionDenied = -2013;
inline constexpr int ecNullApi = -3001;
inline constexpr int ecNotSupported = -3002;
inline constexpr int ecRegisterHandlerFailed = -3003;
inline constexpr int ecPutBlockFail = -3004;
inline constexpr int ecGetBlockFail = -3005;
inline constexpr int ecOutputBufferTooSmall = -3006;
inline constexpr int ecBufferIsEmpty = -3007;
inline constexpr int ecTracingNotEnabled = -3008;
inline constexpr int ecLoggingNotEnabled = -3009;
inline constexpr int ecBaseAddressNotSet = -3010;
inline constexpr int ecNoMoreTriggers = -5001;
inline constexpr int ecTriggerTooLong = -5002;
inline constexpr int ecBadTriggerHandle = -5003;
inline constexpr int ecStartStringEmpty = -5501;
inline constexpr int ecPacketTooSmall = -5502;
inline constexpr int ecNoEndCharCount = -5503;
inline constexpr int ecEmptyEndString = -5504;
inline constexpr int ecZeroSizePacket = -5505;
inline constexpr int ecPacketTooLong = -5506;
} // namespace ecodes

} // namespace sio
