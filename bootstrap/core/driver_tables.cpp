// Tables of the driver families.
#include "bootstrap/core/driver_tables.h"

#include "bootstrap/core/text_util.h"

namespace qv::bootstrap {
namespace {

struct FamilyRow {
  int type;
  const wchar_t* preloadType;
  const wchar_t* subFolder;
};

constexpr FamilyRow kFamilies[] = {
    {kDriverUnison, L"unison", L"\\QV Electronics\\QV Unison Mobile Driver"},
    {kDriverCbwUnison, L"cbw_unison", L"\\QV Electronics\\QV CBW Unison Drivers"},
    {kDriverModem, L"modem", L"\\QV Electronics\\QV USB Modem Driver"},
    {kDriverAndroid, L"android", L"\\QV Electronics\\QV Android Platform Driver"},
    {kDriverZodavozUro, L"zodavozUro", L"\\QV Electronics\\QV ZodavozUro Driver"},
};

const std::vector<DriverFilePair> kModemSet = {{L"qvusbbus.sys", L"qvx64bus.sys"},
                                               {L"qvusbdiag.sys", L"qvx64diag.sys"},
                                               {L"qvusbmodem.sys", L"qvx64modem.sys"}};
const std::vector<DriverFilePair> kAndroidSet = {{L"qvandbus.sys", L"qvandbus64.sys"},
                                                 {L"qvanddiag.sys", L"qvanddiag64.sys"},
                                                 {L"qvandmodem.sys", L"qvandmodem64.sys"}};
const std::vector<DriverFilePair> kZodavozUroSet = {{L"qvandnetdiag.sys", L"qvandnetdiag64.sys"},
                                                    {L"qvandnetmodem.sys", L"qvandnetmodem64.sys"}};
const std::vector<DriverFilePair> kCbwZodavozUroSet = {
    {L"qvcbandnetdiag.sys", L"qvcbandnetdiag64.sys"},
    {L"qvcbandnetmdm.sys", L"qvcbandnetmdm64.sys"}};

void Append(std::vector<DriverFilePair>& to, const std::vector<DriverFilePair>& set) {
  to.insert(to.end(), set.begin(), set.end());
}

}  // namespace

int PreloadTypeFromText(const std::wstring& preloadType, int currentType) {
  for (const FamilyRow& row : kFamilies) {
    if (EqualsNoCase(preloadType, row.preloadType)) return row.type;
  }
  return currentType;
}

bool IsUnisonPreloadText(const std::wstring& preloadType) {
  return preloadType == kUnisonPreloadType;
}

const wchar_t* DriverSubFolder(int type) {
  for (const FamilyRow& row : kFamilies) {
    if (row.type == type) return row.subFolder;
  }
  return L"";
}

std::wstring GetDriverFolder(const std::wstring& programFiles, int type) {
  return programFiles.empty() ? std::wstring() : programFiles + DriverSubFolder(type);
}

std::wstring DriverFolderVariant(const std::wstring& folder) { return folder + L's'; }

std::vector<DriverFilePair> DriverFilePairs(int type) {
  std::vector<DriverFilePair> pairs;
  switch (type) {
    case kDriverUnison:
      Append(pairs, kModemSet);
      Append(pairs, kAndroidSet);
      Append(pairs, kZodavozUroSet);
      break;
    case kDriverCbwUnison:
      Append(pairs, kModemSet);
      Append(pairs, kAndroidSet);
      Append(pairs, kCbwZodavozUroSet);
      break;
    case kDriverModem:
      Append(pairs, kModemSet);
      break;
    case kDriverAndroid:
      Append(pairs, kAndroidSet);
      break;
    case kDriverZodavozUro:
      Append(pairs, kZodavozUroSet);
      break;
    default:
      break;
  }
  return pairs;
}

std::array<DriverVersionKey, 3> DriverVersionKeys(int type) {
  if (type == kDriverUnison) {
    return {{{L"driver_version", L"qvusbdiag.sys"},
             {L"and_driver_version", L"qvanddiag.sys"},
             {L"andnet_driver_version", L"qvandnetdiag.sys"}}};
  }
  return {{{L"cb_driver_version", L"qvusbdiag.sys"},
           {L"cb_and_driver_version", L"qvanddiag.sys"},
           {L"cb_andnet_driver_version", L"qvcbandnetdiag.sys"}}};
}

const wchar_t* DriverVersionSection(bool online) { return online ? L"FILES_DRIVER" : L"DRIVER"; }

}  // namespace qv::bootstrap
