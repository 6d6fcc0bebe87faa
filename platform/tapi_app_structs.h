// TAPI 2.1 structures of the application side that the provider does not fill but
// may meet: assisted-telephony requests, address translation, countries, providers.
// Natural alignment gives the published 64-bit layout; the static_asserts hold each size and
// offset to it.
#pragma once

#include <cstddef>

#include "platform/tapi_constants.h"
#include "platform/wintypes.h"

// Assisted-telephony make-call request, 8-bit text.
struct LINEREQMAKECALL {
  char szDestAddress[TAPIMAXDESTADDRESSSIZE];
  char szAppName[TAPIMAXAPPNAMESIZE];
  char szCalledParty[TAPIMAXCALLEDPARTYSIZE];
  char szComment[TAPIMAXCOMMENTSIZE];
};
using LPLINEREQMAKECALL = LINEREQMAKECALL*;
static_assert(sizeof(LINEREQMAKECALL) == 240);
static_assert(offsetof(LINEREQMAKECALL, szDestAddress) == 0);
static_assert(offsetof(LINEREQMAKECALL, szAppName) == 80);
static_assert(offsetof(LINEREQMAKECALL, szCalledParty) == 120);
static_assert(offsetof(LINEREQMAKECALL, szComment) == 160);

// Assisted-telephony make-call request, UTF-16 text.
struct LINEREQMAKECALLW {
  WCHAR szDestAddress[TAPIMAXDESTADDRESSSIZE];
  WCHAR szAppName[TAPIMAXAPPNAMESIZE];
  WCHAR szCalledParty[TAPIMAXCALLEDPARTYSIZE];
  WCHAR szComment[TAPIMAXCOMMENTSIZE];
};
using LPLINEREQMAKECALLW = LINEREQMAKECALLW*;
static_assert(sizeof(LINEREQMAKECALLW) == 480);
static_assert(offsetof(LINEREQMAKECALLW, szDestAddress) == 0);
static_assert(offsetof(LINEREQMAKECALLW, szAppName) == 160);
static_assert(offsetof(LINEREQMAKECALLW, szCalledParty) == 240);
static_assert(offsetof(LINEREQMAKECALLW, szComment) == 320);

// Assisted-telephony media-call request, 8-bit text.
struct LINEREQMEDIACALL {
  HWND hWnd;
  WPARAM wRequestID;
  char szDeviceClass[TAPIMAXDEVICECLASSSIZE];
  unsigned char ucDeviceID[TAPIMAXDEVICEIDSIZE];
  DWORD dwSize;
  DWORD dwSecure;
  char szDestAddress[TAPIMAXDESTADDRESSSIZE];
  char szAppName[TAPIMAXAPPNAMESIZE];
  char szCalledParty[TAPIMAXCALLEDPARTYSIZE];
  char szComment[TAPIMAXCOMMENTSIZE];
};
using LPLINEREQMEDIACALL = LINEREQMEDIACALL*;
static_assert(sizeof(LINEREQMEDIACALL) == 344);
static_assert(offsetof(LINEREQMEDIACALL, hWnd) == 0);
static_assert(offsetof(LINEREQMEDIACALL, wRequestID) == 8);
static_assert(offsetof(LINEREQMEDIACALL, szDeviceClass) == 16);
static_assert(offsetof(LINEREQMEDIACALL, ucDeviceID) == 56);
static_assert(offsetof(LINEREQMEDIACALL, dwSize) == 96);
static_assert(offsetof(LINEREQMEDIACALL, dwSecure) == 100);
static_assert(offsetof(LINEREQMEDIACALL, szDestAddress) == 104);
static_assert(offsetof(LINEREQMEDIACALL, szAppName) == 184);
static_assert(offsetof(LINEREQMEDIACALL, szCalledParty) == 224);
static_assert(offsetof(LINEREQMEDIACALL, szComment) == 264);

// Assisted-telephony media-call request, UTF-16 text.
struct LINEREQMEDIACALLW {
  HWND hWnd;
  WPARAM wRequestID;
  WCHAR szDeviceClass[TAPIMAXDEVICECLASSSIZE];
  unsigned char ucDeviceID[TAPIMAXDEVICEIDSIZE];
  DWORD dwSize;
  DWORD dwSecure;
  WCHAR szDestAddress[TAPIMAXDESTADDRESSSIZE];
  WCHAR szAppName[TAPIMAXAPPNAMESIZE];
  WCHAR szCalledParty[TAPIMAXCALLEDPARTYSIZE];
  WCHAR szComment[TAPIMAXCOMMENTSIZE];
};
using LPLINEREQMEDIACALLW = LINEREQMEDIACALLW*;
static_assert(sizeof(LINEREQMEDIACALLW) == 624);
static_assert(offsetof(LINEREQMEDIACALLW, hWnd) == 0);
static_assert(offsetof(LINEREQMEDIACALLW, wRequestID) == 8);
static_assert(offsetof(LINEREQMEDIACALLW, szDeviceClass) == 16);
static_assert(offsetof(LINEREQMEDIACALLW, ucDeviceID) == 96);
static_assert(offsetof(LINEREQMEDIACALLW, dwSize) == 136);
static_assert(offsetof(LINEREQMEDIACALLW, dwSecure) == 140);
static_assert(offsetof(LINEREQMEDIACALLW, szDestAddress) == 144);
static_assert(offsetof(LINEREQMEDIACALLW, szAppName) == 304);
static_assert(offsetof(LINEREQMEDIACALLW, szCalledParty) == 384);
static_assert(offsetof(LINEREQMEDIACALLW, szComment) == 464);

// One calling card (entries of LINETRANSLATECAPS).
struct LINECARDENTRY {
  DWORD dwPermanentCardID;
  DWORD dwCardNameSize;
  DWORD dwCardNameOffset;
  DWORD dwCardNumberDigits;
  DWORD dwSameAreaRuleSize;
  DWORD dwSameAreaRuleOffset;
  DWORD dwLongDistanceRuleSize;
  DWORD dwLongDistanceRuleOffset;
  DWORD dwInternationalRuleSize;
  DWORD dwInternationalRuleOffset;
  DWORD dwOptions;
};
using LPLINECARDENTRY = LINECARDENTRY*;
static_assert(sizeof(LINECARDENTRY) == 44);
static_assert(offsetof(LINECARDENTRY, dwPermanentCardID) == 0);
static_assert(offsetof(LINECARDENTRY, dwCardNameSize) == 4);
static_assert(offsetof(LINECARDENTRY, dwCardNameOffset) == 8);
static_assert(offsetof(LINECARDENTRY, dwCardNumberDigits) == 12);
static_assert(offsetof(LINECARDENTRY, dwSameAreaRuleSize) == 16);
static_assert(offsetof(LINECARDENTRY, dwSameAreaRuleOffset) == 20);
static_assert(offsetof(LINECARDENTRY, dwLongDistanceRuleSize) == 24);
static_assert(offsetof(LINECARDENTRY, dwLongDistanceRuleOffset) == 28);
static_assert(offsetof(LINECARDENTRY, dwInternationalRuleSize) == 32);
static_assert(offsetof(LINECARDENTRY, dwInternationalRuleOffset) == 36);
static_assert(offsetof(LINECARDENTRY, dwOptions) == 40);

// One dialling location (entries of LINETRANSLATECAPS).
struct LINELOCATIONENTRY {
  DWORD dwPermanentLocationID;
  DWORD dwLocationNameSize;
  DWORD dwLocationNameOffset;
  DWORD dwCountryCode;
  DWORD dwCityCodeSize;
  DWORD dwCityCodeOffset;
  DWORD dwPreferredCardID;
  DWORD dwLocalAccessCodeSize;
  DWORD dwLocalAccessCodeOffset;
  DWORD dwLongDistanceAccessCodeSize;
  DWORD dwLongDistanceAccessCodeOffset;
  DWORD dwTollPrefixListSize;
  DWORD dwTollPrefixListOffset;
  DWORD dwCountryID;
  DWORD dwOptions;
  DWORD dwCancelCallWaitingSize;
  DWORD dwCancelCallWaitingOffset;
};
using LPLINELOCATIONENTRY = LINELOCATIONENTRY*;
static_assert(sizeof(LINELOCATIONENTRY) == 68);
static_assert(offsetof(LINELOCATIONENTRY, dwPermanentLocationID) == 0);
static_assert(offsetof(LINELOCATIONENTRY, dwLocationNameSize) == 4);
static_assert(offsetof(LINELOCATIONENTRY, dwLocationNameOffset) == 8);
static_assert(offsetof(LINELOCATIONENTRY, dwCountryCode) == 12);
static_assert(offsetof(LINELOCATIONENTRY, dwCityCodeSize) == 16);
static_assert(offsetof(LINELOCATIONENTRY, dwCityCodeOffset) == 20);
static_assert(offsetof(LINELOCATIONENTRY, dwPreferredCardID) == 24);
static_assert(offsetof(LINELOCATIONENTRY, dwLocalAccessCodeSize) == 28);
static_assert(offsetof(LINELOCATIONENTRY, dwLocalAccessCodeOffset) == 32);
static_assert(offsetof(LINELOCATIONENTRY, dwLongDistanceAccessCodeSize) == 36);
static_assert(offsetof(LINELOCATIONENTRY, dwLongDistanceAccessCodeOffset) == 40);
static_assert(offsetof(LINELOCATIONENTRY, dwTollPrefixListSize) == 44);
static_assert(offsetof(LINELOCATIONENTRY, dwTollPrefixListOffset) == 48);
static_assert(offsetof(LINELOCATIONENTRY, dwCountryID) == 52);
static_assert(offsetof(LINELOCATIONENTRY, dwOptions) == 56);
static_assert(offsetof(LINELOCATIONENTRY, dwCancelCallWaitingSize) == 60);
static_assert(offsetof(LINELOCATIONENTRY, dwCancelCallWaitingOffset) == 64);

// Dialling locations and calling cards.
struct LINETRANSLATECAPS {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
  DWORD dwNumLocations;
  DWORD dwLocationListSize;
  DWORD dwLocationListOffset;
  DWORD dwCurrentLocationID;
  DWORD dwNumCards;
  DWORD dwCardListSize;
  DWORD dwCardListOffset;
  DWORD dwCurrentPreferredCardID;
};
using LPLINETRANSLATECAPS = LINETRANSLATECAPS*;
static_assert(sizeof(LINETRANSLATECAPS) == 44);
static_assert(offsetof(LINETRANSLATECAPS, dwTotalSize) == 0);
static_assert(offsetof(LINETRANSLATECAPS, dwNeededSize) == 4);
static_assert(offsetof(LINETRANSLATECAPS, dwUsedSize) == 8);
static_assert(offsetof(LINETRANSLATECAPS, dwNumLocations) == 12);
static_assert(offsetof(LINETRANSLATECAPS, dwLocationListSize) == 16);
static_assert(offsetof(LINETRANSLATECAPS, dwLocationListOffset) == 20);
static_assert(offsetof(LINETRANSLATECAPS, dwCurrentLocationID) == 24);
static_assert(offsetof(LINETRANSLATECAPS, dwNumCards) == 28);
static_assert(offsetof(LINETRANSLATECAPS, dwCardListSize) == 32);
static_assert(offsetof(LINETRANSLATECAPS, dwCardListOffset) == 36);
static_assert(offsetof(LINETRANSLATECAPS, dwCurrentPreferredCardID) == 40);

// Result of an address translation.
struct LINETRANSLATEOUTPUT {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
  DWORD dwDialableStringSize;
  DWORD dwDialableStringOffset;
  DWORD dwDisplayableStringSize;
  DWORD dwDisplayableStringOffset;
  DWORD dwCurrentCountry;
  DWORD dwDestCountry;
  DWORD dwTranslateResults;
};
using LPLINETRANSLATEOUTPUT = LINETRANSLATEOUTPUT*;
static_assert(sizeof(LINETRANSLATEOUTPUT) == 40);
static_assert(offsetof(LINETRANSLATEOUTPUT, dwTotalSize) == 0);
static_assert(offsetof(LINETRANSLATEOUTPUT, dwNeededSize) == 4);
static_assert(offsetof(LINETRANSLATEOUTPUT, dwUsedSize) == 8);
static_assert(offsetof(LINETRANSLATEOUTPUT, dwDialableStringSize) == 12);
static_assert(offsetof(LINETRANSLATEOUTPUT, dwDialableStringOffset) == 16);
static_assert(offsetof(LINETRANSLATEOUTPUT, dwDisplayableStringSize) == 20);
static_assert(offsetof(LINETRANSLATEOUTPUT, dwDisplayableStringOffset) == 24);
static_assert(offsetof(LINETRANSLATEOUTPUT, dwCurrentCountry) == 28);
static_assert(offsetof(LINETRANSLATEOUTPUT, dwDestCountry) == 32);
static_assert(offsetof(LINETRANSLATEOUTPUT, dwTranslateResults) == 36);

// Dialling rules of one country (entries of LINECOUNTRYLIST).
struct LINECOUNTRYENTRY {
  DWORD dwCountryID;
  DWORD dwCountryCode;
  DWORD dwNextCountryID;
  DWORD dwCountryNameSize;
  DWORD dwCountryNameOffset;
  DWORD dwSameAreaRuleSize;
  DWORD dwSameAreaRuleOffset;
  DWORD dwLongDistanceRuleSize;
  DWORD dwLongDistanceRuleOffset;
  DWORD dwInternationalRuleSize;
  DWORD dwInternationalRuleOffset;
};
using LPLINECOUNTRYENTRY = LINECOUNTRYENTRY*;
static_assert(sizeof(LINECOUNTRYENTRY) == 44);
static_assert(offsetof(LINECOUNTRYENTRY, dwCountryID) == 0);
static_assert(offsetof(LINECOUNTRYENTRY, dwCountryCode) == 4);
static_assert(offsetof(LINECOUNTRYENTRY, dwNextCountryID) == 8);
static_assert(offsetof(LINECOUNTRYENTRY, dwCountryNameSize) == 12);
static_assert(offsetof(LINECOUNTRYENTRY, dwCountryNameOffset) == 16);
static_assert(offsetof(LINECOUNTRYENTRY, dwSameAreaRuleSize) == 20);
static_assert(offsetof(LINECOUNTRYENTRY, dwSameAreaRuleOffset) == 24);
static_assert(offsetof(LINECOUNTRYENTRY, dwLongDistanceRuleSize) == 28);
static_assert(offsetof(LINECOUNTRYENTRY, dwLongDistanceRuleOffset) == 32);
static_assert(offsetof(LINECOUNTRYENTRY, dwInternationalRuleSize) == 36);
static_assert(offsetof(LINECOUNTRYENTRY, dwInternationalRuleOffset) == 40);

// Dialling rules by country.
struct LINECOUNTRYLIST {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
  DWORD dwNumCountries;
  DWORD dwCountryListSize;
  DWORD dwCountryListOffset;
};
using LPLINECOUNTRYLIST = LINECOUNTRYLIST*;
static_assert(sizeof(LINECOUNTRYLIST) == 24);
static_assert(offsetof(LINECOUNTRYLIST, dwTotalSize) == 0);
static_assert(offsetof(LINECOUNTRYLIST, dwNeededSize) == 4);
static_assert(offsetof(LINECOUNTRYLIST, dwUsedSize) == 8);
static_assert(offsetof(LINECOUNTRYLIST, dwNumCountries) == 12);
static_assert(offsetof(LINECOUNTRYLIST, dwCountryListSize) == 16);
static_assert(offsetof(LINECOUNTRYLIST, dwCountryListOffset) == 20);

// One installed provider (entries of LINEPROVIDERLIST).
struct LINEPROVIDERENTRY {
  DWORD dwPermanentProviderID;
  DWORD dwProviderFilenameSize;
  DWORD dwProviderFilenameOffset;
};
using LPLINEPROVIDERENTRY = LINEPROVIDERENTRY*;
static_assert(sizeof(LINEPROVIDERENTRY) == 12);
static_assert(offsetof(LINEPROVIDERENTRY, dwPermanentProviderID) == 0);
static_assert(offsetof(LINEPROVIDERENTRY, dwProviderFilenameSize) == 4);
static_assert(offsetof(LINEPROVIDERENTRY, dwProviderFilenameOffset) == 8);

// The installed providers.
struct LINEPROVIDERLIST {
  DWORD dwTotalSize;
  DWORD dwNeededSize;
  DWORD dwUsedSize;
  DWORD dwNumProviders;
  DWORD dwProviderListSize;
  DWORD dwProviderListOffset;
};
using LPLINEPROVIDERLIST = LINEPROVIDERLIST*;
static_assert(sizeof(LINEPROVIDERLIST) == 24);
static_assert(offsetof(LINEPROVIDERLIST, dwTotalSize) == 0);
static_assert(offsetof(LINEPROVIDERLIST, dwNeededSize) == 4);
static_assert(offsetof(LINEPROVIDERLIST, dwUsedSize) == 8);
static_assert(offsetof(LINEPROVIDERLIST, dwNumProviders) == 12);
static_assert(offsetof(LINEPROVIDERLIST, dwProviderListSize) == 16);
static_assert(offsetof(LINEPROVIDERLIST, dwProviderListOffset) == 20);
