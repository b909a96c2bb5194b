#include "serial/SioExcept.h"

#include "platform/os_info.h"

#include <cstdlib>
#include <new>
#include <string_view>

namespace sio {

namespace {

// ---------------------------------------------------------------------------
// Message texts, sorted by the absolute value of the code.

struct CodeText {
    int code;
    std::string_view text;
};

constexpr CodeText kMessages[] = {
    {0, "OK"},
    {-2, "File not found"},
    {-3, "Path not found"},
    {-5, "File access denied"},
    {-8, "Insufficient memory"},
    {-160, "Device write error"},
    {-161, "Device read error"},
    {-162, "General failure"},
    {-1002, "Bad argument passed to function"},
    {-1005, "ComPort component not assigned"},
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
    {-2013, "ie_Permission - permission denied for the device"},
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
    {-7500, "No state machine specified"},
    {-7501, "StartState not set"},
    // Dispatch-log type names (15001 + type) and subtype names (15100 +
    // subtype; 20 and above are the data packets' entries), the column
    // headers and the modem-status tags.
    {15001, "No event"},
    {15002, "Dispatch"},
    {15003, "Trigger"},
    {15004, "Error"},
    {15005, "Thread"},
    {15006, "TrigAllc"},
    {15007, "TrigDisp"},
    {15008, "TrgHdAlc"},
    {15009, "TrgHdDsp"},
    {15010, "TrDatChg"},
    {15011, "Telnet"},
    {15012, "Fax"},
    {15013, "XModem"},
    {15014, "YModem"},
    {15015, "ZModem"},
    {15016, "Kermit"},
    {15017, "Ascii"},
    {15018, "BPlus"},
    {15019, "Packet"},
    {15020, "User"},
    {15021, "Script"},
    {15101, "ReadCom"},
    {15102, "WriteCom"},
    {15103, "Line status"},
    {15104, "Modem status"},
    {15105, "Avail"},
    {15106, "Timer"},
    {15107, "Data"},
    {15108, "Status"},
    {15109, "Start"},
    {15110, "Exit"},
    {15111, "Sleep"},
    {15112, "Wake"},
    {15113, "Data"},
    {15114, "Timer"},
    {15115, "Status"},
    {15116, "Avail"},
    {15117, "Window"},
    {15118, "Procedure"},
    {15119, "Method"},
    {15120, "Enable"},
    {15121, "Disable"},
    {15122, "StartString"},
    {15123, "EndString"},
    {15124, "Idle"},
    {15125, "Waiting"},
    {15126, "Collecting"},
    {15127, "StringPacket"},
    {15128, "SizePacket"},
    {15129, "Timeout"},
    {15501, "Time      Type      SubType       Data      OtherData"},
    {15502, "--------  --------  ------------  --------  ---------"},
    {15601, "DCTS "},
    {15602, "DDSR "},
    {15603, "TERI "},
    {15604, "DDCD "},
    {15605, "CTS "},
    {15606, "DSR "},
    {15607, "RI "},
    {15608, "DCD "},
};

constexpr int absCode(int c) { return c < 0 ? -c : c; }

constexpr bool sortedAndUnique(const CodeText* t, std::size_t n)
{
    for (std::size_t i = 1; i < n; ++i)
        if (absCode(t[i - 1].code) >= absCode(t[i].code))
            return false;
    return true;
}
static_assert(sortedAndUnique(kMessages, std::size(kMessages)),
              "message table must be sorted by |code| without duplicates");

// ---------------------------------------------------------------------------
// Code -> class. Codes not listed here (and outside -2..-162) raise a plain
// ESIOException "Dida exception".

enum class ExClass : unsigned short {
    None,
#define SIO_ENUM_ENTRY(cls, base) cls,
    SIO_EXCEPTION_CLASSES(SIO_ENUM_ENTRY)
#undef SIO_ENUM_ENTRY
};

struct CodeClass {
    int code;
    ExClass cls;
};

constexpr CodeClass kCodeClasses[] = {
    // general
    {-1002, ExClass::EBadArgument},
    {-1003, ExClass::EGotQuitMsg},
    {-1004, ExClass::EBufferTooBig},
    {-1005, ExClass::EPortNotAssigned},
    {-1006, ExClass::EInternal},
    {-1007, ExClass::EModemNotAssigned},
    {-1008, ExClass::EPhonebookNotAssigned},
    {-1009, ExClass::ECannotUseWithWinSock},
    // port opening
    {-2001, ExClass::EBadId},
    {-2002, ExClass::EBaudRate},
    {-2003, ExClass::EByteSize},
    {-2004, ExClass::EDefault},
    {-2005, ExClass::EHardware},
    {-2006, ExClass::EMemory},
    {-2007, ExClass::ECommNotOpen},
    {-2008, ExClass::EAlreadyOpen},
    {-2009, ExClass::ENoHandles},
    {-2010, ExClass::ENoTimers},
    {-2011, ExClass::ENoPortSelected},
    {-2012, ExClass::ENotOpenedByTapi},
    {-2013, ExClass::EPermissionDenied},
    // serial I/O
    {-3001, ExClass::ENullApi},
    {-3003, ExClass::ERegisterHandlerFailed},
    {-3004, ExClass::EPutBlockFail},
    {-3005, ExClass::EGetBlockFail},
    {-3006, ExClass::EOutputBufferTooSmall},
    {-3007, ExClass::EBufferIsEmpty},
    {-3008, ExClass::ETracingNotEnabled},
    {-3009, ExClass::ELoggingNotEnabled},
    {-3010, ExClass::EBaseAddressNotSet},
    // modem
    {-4001, ExClass::EModemNotStarted},
    {-4002, ExClass::EModemBusy},
    {-4003, ExClass::EModemNotDialing},
    {-4004, ExClass::ENotDialing},
    {-4005, ExClass::EAlreadyDialing},
    {-4006, ExClass::EModemNotResponding},
    {-4007, ExClass::EModemRejectedCommand},
    {-4008, ExClass::EModemStatusMismatch},
    // triggers
    {-5001, ExClass::ENoMoreTriggers},
    {-5002, ExClass::ETriggerTooLong},
    {-5003, ExClass::EBadTriggerHandle},
    // file-transfer protocols
    {-6006, ExClass::EProtocol},
    {-6008, ExClass::EProtocol},
    {-6009, ExClass::EProtocol},
    // ini database
    {-7001, ExClass::EKeyTooLong},
    {-7002, ExClass::EDataTooLarge},
    {-7003, ExClass::EInternal},
    {-7004, ExClass::EIniWrite},
    {-7005, ExClass::EIniRead},
    {-7006, ExClass::EInternal},
    {-7007, ExClass::ERecordExists},
    {-7008, ExClass::ERecordNotFound},
    {-7010, ExClass::EDatabaseFull},
    {-7011, ExClass::EDatabaseEmpty},
    {-7012, ExClass::EInternal},
    {-7013, ExClass::EBadFieldList},
    {-7014, ExClass::EBadFieldForIndex},
    // fax
    {-8001, ExClass::EFaxBadFormat},
    {-8002, ExClass::EBadGraphicsFormat},
    {-8003, ExClass::EConvertAbort},
    {-8004, ExClass::EUnpackAbort},
    {-8005, ExClass::ECantMakeBitmap},
    {-8053, ExClass::EInvalidPageNumber},
    {-8060, ExClass::EFaxBadMachine},
    {-8061, ExClass::EFaxBadModemResult},
    {-8062, ExClass::EFaxTrainError},
    {-8063, ExClass::EFaxInitError},
    {-8064, ExClass::EFaxBusy},
    {-8065, ExClass::EFaxVoiceCall},
    {-8066, ExClass::EFaxDataCall},
    {-8067, ExClass::EFaxNoDialTone},
    {-8068, ExClass::EFaxNoCarrier},
    {-8069, ExClass::EFaxSessionError},
    {-8070, ExClass::EFaxPageError},
    // telephony
    {-13801, ExClass::ETapiAllocated},
    {-13802, ExClass::ETapiBadDeviceID},
    {-13803, ExClass::ETapiBearerModeUnavail},
    {-13805, ExClass::ETapiCallUnavail},
    {-13806, ExClass::ETapiCompletionOverrun},
    {-13807, ExClass::ETapiConferenceFull},
    {-13808, ExClass::ETapiDialBilling},
    {-13809, ExClass::ETapiDialDialtone},
    {-13810, ExClass::ETapiDialPrompt},
    {-13811, ExClass::ETapiDialQuiet},
    {-13812, ExClass::ETapiIncompatibleApiVersion},
    {-13813, ExClass::ETapiIncompatibleExtVersion},
    {-13814, ExClass::ETapiIniFileCorrupt},
    {-13815, ExClass::ETapiInUse},
    {-13816, ExClass::ETapiInvalAddress},
    {-13817, ExClass::ETapiInvalAddressID},
    {-13818, ExClass::ETapiInvalAddressMode},
    {-13819, ExClass::ETapiInvalAddressState},
    {-13820, ExClass::ETapiInvalAppHandle},
    {-13821, ExClass::ETapiInvalAppName},
    {-13822, ExClass::ETapiInvalBearerMode},
    {-13823, ExClass::ETapiInvalCallComplMode},
    {-13824, ExClass::ETapiInvalCallHandle},
    {-13825, ExClass::ETapiInvalCallParams},
    {-13826, ExClass::ETapiInvalCallPrivilege},
    {-13827, ExClass::ETapiInvalCallSelect},
    {-13828, ExClass::ETapiInvalCallState},
    {-13829, ExClass::ETapiInvalCallStatelist},
    {-13830, ExClass::ETapiInvalCard},
    {-13831, ExClass::ETapiInvalCompletionID},
    {-13832, ExClass::ETapiInvalConfCallHandle},
    {-13833, ExClass::ETapiInvalConsultCallHandle},
    {-13834, ExClass::ETapiInvalCountryCode},
    {-13835, ExClass::ETapiInvalDeviceClass},
    {-13836, ExClass::ETapiInvalDeviceHandle},
    {-13837, ExClass::ETapiInvalDialParams},
    {-13838, ExClass::ETapiInvalDigitList},
    {-13839, ExClass::ETapiInvalDigitMode},
    {-13840, ExClass::ETapiInvalDigits},
    {-13841, ExClass::ETapiInvalExtVersion},
    {-13842, ExClass::ETapiInvalGroupID},
    {-13843, ExClass::ETapiInvalLineHandle},
    {-13844, ExClass::ETapiInvalLineState},
    {-13845, ExClass::ETapiInvalLocation},
    {-13846, ExClass::ETapiInvalMediaList},
    {-13847, ExClass::ETapiInvalMediaMode},
    {-13848, ExClass::ETapiInvalMessageID},
    {-13850, ExClass::ETapiInvalParam},
    {-13851, ExClass::ETapiInvalParkID},
    {-13852, ExClass::ETapiInvalParkMode},
    {-13853, ExClass::ETapiInvalPointer},
    {-13854, ExClass::ETapiInvalPrivSelect},
    {-13855, ExClass::ETapiInvalRate},
    {-13856, ExClass::ETapiInvalRequestMode},
    {-13857, ExClass::ETapiInvalTerminalID},
    {-13858, ExClass::ETapiInvalTerminalMode},
    {-13859, ExClass::ETapiInvalTimeout},
    {-13860, ExClass::ETapiInvalTone},
    {-13861, ExClass::ETapiInvalToneList},
    {-13862, ExClass::ETapiInvalToneMode},
    {-13863, ExClass::ETapiInvalTransferMode},
    {-13864, ExClass::ETapiLineMapperFailed},
    {-13865, ExClass::ETapiNoConference},
    {-13866, ExClass::ETapiNoDevice},
    {-13867, ExClass::ETapiNoDriver},
    {-13868, ExClass::ETapiNoMem},
    {-13869, ExClass::ETapiNoRequest},
    {-13870, ExClass::ETapiNotOwner},
    {-13871, ExClass::ETapiNotRegistered},
    {-13872, ExClass::ETapiOperationFailed},
    {-13873, ExClass::ETapiOperationUnavail},
    {-13874, ExClass::ETapiRateUnavail},
    {-13875, ExClass::ETapiResourceUnavail},
    {-13876, ExClass::ETapiRequestOverrun},
    {-13877, ExClass::ETapiStructureTooSmall},
    {-13878, ExClass::ETapiTargetNotFound},
    {-13879, ExClass::ETapiTargetSelf},
    {-13880, ExClass::ETapiUninitialized},
    {-13881, ExClass::ETapiUserUserInfoTooBig},
    {-13882, ExClass::ETapiReinit},
    {-13883, ExClass::ETapiAddressBlocked},
    {-13884, ExClass::ETapiBillingRejected},
    {-13885, ExClass::ETapiInvalFeature},
    {-13886, ExClass::ETapiNoMultipleInstance},
    // telephony and remote access
    {-13928, ExClass::ETapiBusy},
    {-13929, ExClass::ETapiNotSet},
    {-13930, ExClass::ETapiNoSelect},
    {-13931, ExClass::ETapiLoadFail},
    {-13932, ExClass::ETapiGetAddrFail},
    {-13935, ExClass::ETapiVoiceNotSupported},
    {-13936, ExClass::ETapiWaveFail},
    {-13942, ExClass::ETapiTranslateFail},
    {-13980, ExClass::ERasLoadFail},
};

constexpr bool codesUnique(const CodeClass* t, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        if (t[i].code >= 0 || t[i].cls == ExClass::None)
            return false;
        for (std::size_t j = i + 1; j < n; ++j)
            if (t[i].code == t[j].code)
                return false;
    }
    return true;
}
static_assert(codesUnique(kCodeClasses, std::size(kCodeClasses)),
              "code -> class table: every code negative and listed once");

[[noreturn]] void raiseClass(ExClass c, int code)
{
    switch (c) {
#define SIO_RAISE_CASE(cls, base)                                                                  \
    case ExClass::cls:                                                                             \
        throw cls(code, false);
        SIO_EXCEPTION_CLASSES(SIO_RAISE_CASE)
#undef SIO_RAISE_CASE
    case ExClass::None:
        break;
    }
    throw ESIOException(code, false);
}

ExClass classOf(int code)
{
    for (const CodeClass& e : kCodeClasses)
        if (e.code == code)
            return e.cls;
    return ExClass::None;
}

long long absValue(int code)
{
    return code < 0 ? -static_cast<long long>(code) : code;
}

} // namespace

// ---------------------------------------------------------------------------

ESIOException::ESIOException(int code, bool /*useNumber*/)
    : std::runtime_error(DidaLoadStr(MapCodeToStringID(code))), ErrorCode(code)
{
}

ESIOException::ESIOException(const std::string& message, int /*dummy*/)
    : std::runtime_error(message), ErrorCode(0)
{
}

int ESIOException::MapCodeToStringID(int code)
{
    long long a = absValue(code);
    return a > 0x7fffffff ? 0x7fffffff : static_cast<int>(a);
}

EAdParserError::EAdParserError(int code, std::int32_t line, std::int32_t col)
    : EAdStreamError(code, false), Line(line), Col(col)
{
}

ESioPagerException::ESioPagerException(int code, const std::string& message)
    : std::runtime_error(message), ErrorCode(code)
{
}

ESioGSMPhoneException::ESioGSMPhoneException(int code, const std::string& message)
    : std::runtime_error(message), ErrorCode(code)
{
}

EInOutError::EInOutError(const std::string& message, int errorCode)
    : std::runtime_error(message), ErrorCode(errorCode)
{
}

std::string MessageNumberToString(int code)
{
    const long long key = absValue(code);
    std::size_t low = 0;
    std::size_t high = std::size(kMessages);
    while (low < high) {
        std::size_t mid = low + (high - low) / 2;
        long long v = absCode(kMessages[mid].code);
        if (v == key)
            return std::string(kMessages[mid].text.substr(0, 255));
        if (v < key)
            low = mid + 1;
        else
            high = mid;
    }
    return {};
}

std::string DidaLoadStr(int code)
{
    std::string text = MessageNumberToString(code);
    if (!text.empty())
        return text;
    // A code neither the table nor the system knows has no text.
    return CleanMessageText(kyd::platform::systemErrorText(ESIOException::MapCodeToStringID(code)));
}

std::string CleanMessageText(std::string text)
{
    if (text.size() > 255)
        text.resize(255);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32)
            c = ' ';
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (!(c == ' ' && !out.empty() && out.back() == ' '))
            out.push_back(c);
    return out;
}

std::string ErrorMsg(int code)
{
    return DidaLoadStr(code);
}

int CheckException(bool loading, int code)
{
    if (code >= 0 || loading)
        return code;
    if (code == -8)
        throw std::bad_alloc();
    if (code >= -162 && code <= -2)
        throw EInOutError(DidaLoadStr(code), -code);
    ExClass cls = classOf(code);
    if (cls != ExClass::None)
        raiseClass(cls, code);
    ESIOException e("Dida exception", 0);
    e.ErrorCode = code;
    throw e;
}

int XlatException(const std::exception& e)
{
    if (auto* s = dynamic_cast<const ESIOException*>(&e))
        return s->ErrorCode;
    if (auto* io = dynamic_cast<const EInOutError*>(&e))
        return -io->ErrorCode;
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return -8;
    return -9999;
}

int XlatException(std::exception_ptr e)
{
    if (!e)
        return -9999;
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& ex) {
        return XlatException(ex);
    } catch (...) {
        return -9999;
    }
}

} // namespace sio
