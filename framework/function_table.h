// The optional TSPI functions whose presence in our own export table decides which
// capabilities and features the framework offers. A function's position in
// TSPIFunctionNameTable is its number; CServiceProvider::IsFunctionAllowed takes that number.
#pragma once

#include "platform/wintypes.h"

inline constexpr int TSPI_FUNCTION_COUNT = 72;

// Names of the optional functions, indexed by function number.
extern const LPCSTR TSPIFunctionNameTable[TSPI_FUNCTION_COUNT];

// Function numbers.
inline constexpr WORD TSPI_LINEACCEPT = 0;
inline constexpr WORD TSPI_LINEADDTOCONFERENCE = 1;
inline constexpr WORD TSPI_LINEANSWER = 2;
inline constexpr WORD TSPI_LINEBLINDTRANSFER = 3;
inline constexpr WORD TSPI_LINECOMPLETECALL = 4;
inline constexpr WORD TSPI_LINECOMPLETETRANSFER = 5;
inline constexpr WORD TSPI_LINECONDITIONALMEDIADETECTION = 6;
inline constexpr WORD TSPI_LINEDEVSPECIFIC = 7;
inline constexpr WORD TSPI_LINEDEVSPECIFICFEATURE = 8;
inline constexpr WORD TSPI_LINEDIAL = 9;
inline constexpr WORD TSPI_LINEFORWARD = 10;
inline constexpr WORD TSPI_LINEGATHERDIGITS = 11;
inline constexpr WORD TSPI_LINEGENERATEDIGITS = 12;
inline constexpr WORD TSPI_LINEGENERATETONE = 13;
inline constexpr WORD TSPI_LINEGETDEVCONFIG = 14;
inline constexpr WORD TSPI_LINEGETEXTENSIONID = 15;
inline constexpr WORD TSPI_LINEGETICON = 16;
inline constexpr WORD TSPI_LINEGETID = 17;
inline constexpr WORD TSPI_LINEGETLINEDEVSTATUS = 18;
inline constexpr WORD TSPI_LINEHOLD = 19;
inline constexpr WORD TSPI_LINEMAKECALL = 20;
inline constexpr WORD TSPI_LINEMONITORDIGITS = 21;
inline constexpr WORD TSPI_LINEMONITORMEDIA = 22;
inline constexpr WORD TSPI_LINEMONITORTONES = 23;
inline constexpr WORD TSPI_LINENEGOTIATEEXTVERSION = 24;
inline constexpr WORD TSPI_LINEPARK = 25;
inline constexpr WORD TSPI_LINEPICKUP = 26;
inline constexpr WORD TSPI_LINEPREPAREADDTOCONFERENCE = 27;
inline constexpr WORD TSPI_LINEREDIRECT = 28;
inline constexpr WORD TSPI_LINERELEASEUSERUSERINFO = 29;
inline constexpr WORD TSPI_LINEREMOVEFROMCONFERENCE = 30;
inline constexpr WORD TSPI_LINESECURECALL = 31;
inline constexpr WORD TSPI_LINESELECTEXTVERSION = 32;
inline constexpr WORD TSPI_LINESENDUSERUSERINFO = 33;
inline constexpr WORD TSPI_LINESETCALLDATA = 34;
inline constexpr WORD TSPI_LINESETCALLPARAMS = 35;
inline constexpr WORD TSPI_LINESETCALLQUALITYOFSERVICE = 36;
inline constexpr WORD TSPI_LINESETCALLTREATMENT = 37;
inline constexpr WORD TSPI_LINESETDEVCONFIG = 38;
inline constexpr WORD TSPI_LINESETLINEDEVSTATUS = 39;
inline constexpr WORD TSPI_LINESETMEDIACONTROL = 40;
inline constexpr WORD TSPI_LINESETTERMINAL = 41;
inline constexpr WORD TSPI_LINESETUPCONFERENCE = 42;
inline constexpr WORD TSPI_LINESETUPTRANSFER = 43;
inline constexpr WORD TSPI_LINESWAPHOLD = 44;
inline constexpr WORD TSPI_LINEUNCOMPLETECALL = 45;
inline constexpr WORD TSPI_LINEUNHOLD = 46;
inline constexpr WORD TSPI_LINEUNPARK = 47;
inline constexpr WORD TSPI_PHONEDEVSPECIFIC = 48;
inline constexpr WORD TSPI_PHONEGETBUTTONINFO = 49;
inline constexpr WORD TSPI_PHONEGETDATA = 50;
inline constexpr WORD TSPI_PHONEGETDISPLAY = 51;
inline constexpr WORD TSPI_PHONEGETEXTENSIONID = 52;
inline constexpr WORD TSPI_PHONEGETGAIN = 53;
inline constexpr WORD TSPI_PHONEGETHOOKSWITCH = 54;
inline constexpr WORD TSPI_PHONEGETICON = 55;
inline constexpr WORD TSPI_PHONEGETID = 56;
inline constexpr WORD TSPI_PHONEGETLAMP = 57;
inline constexpr WORD TSPI_PHONEGETRING = 58;
inline constexpr WORD TSPI_PHONEGETVOLUME = 59;
inline constexpr WORD TSPI_PHONENEGOTIATEEXTVERSION = 60;
inline constexpr WORD TSPI_PHONESELECTEXTVERSION = 61;
inline constexpr WORD TSPI_PHONESETBUTTONINFO = 62;
inline constexpr WORD TSPI_PHONESETDATA = 63;
inline constexpr WORD TSPI_PHONESETDISPLAY = 64;
inline constexpr WORD TSPI_PHONESETGAIN = 65;
inline constexpr WORD TSPI_PHONESETHOOKSWITCH = 66;
inline constexpr WORD TSPI_PHONESETLAMP = 67;
inline constexpr WORD TSPI_PHONESETRING = 68;
inline constexpr WORD TSPI_PHONESETVOLUME = 69;
inline constexpr WORD TSPI_PROVIDERCREATELINEDEVICE = 70;
inline constexpr WORD TSPI_PROVIDERCREATEPHONEDEVICE = 71;
