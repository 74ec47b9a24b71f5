#include "hivTAP/key_line.h"

#include "MyRegCtrl/reg_ctrl.h"
#include "MyRegistry/registry.h"
#include "hivTAP/key_time.h"

const TRecordKeyName RootKeyNames[7] = {
    {"HKCR", "HKEY_CLASSES_ROOT", kHkeyClassesRoot},
    {"HKCU", "HKEY_CURRENT_USER", kHkeyCurrentUser},
    {"HKLM", "HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
    {"HKU", "HKEY_USERS", kHkeyUsers},
    {"HKPD", "HKEY_PERFORMANCE_DATA", kHkeyPerformanceData},
    {"HKCC", "HKEY_CURRENT_CONFIG", kHkeyCurrentConfig},
    {"HKDD", "HKEY_DYN_DATA", kHkeyDynData},
};

namespace {

// Root names follow the ASCII rule alone, whatever the locale.
std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::string Trim(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlankOrControl(text[begin])) ++begin;
  while (end > begin && IsBlankOrControl(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// The key's last-write time and counts, through the ANSI calls that read
// its value.
bool ReadKeyInfo(std::uint32_t root, const std::string& subKeyPath, platform::RegKeyInfo& info) {
  TRegistry registry;
  registry.SelectRoot(RootKeyHandleOf(root));
  registry.SetAccessMask(kKeyRead | kKeyWow64_64Key);
  return registry.EnterKey(subKeyPath, false) &&
         platform::QueryRegKeyInfo(registry.OpenKeyHandle(), &info) == platform::kRegSuccess;
}

}  // namespace

std::uint32_t LookupRootKey(const std::string& name) {
  if (name.empty()) return 0;
  const std::string upper = UpperAscii(name);
  for (const TRecordKeyName& row : RootKeyNames) {
    if (upper == row.ShortName || upper == row.LongName) return row.RootKey;
  }
  return 0;
}

std::string RootShortName(std::uint32_t root) {
  for (const TRecordKeyName& row : RootKeyNames) {
    if (row.RootKey == root) return row.ShortName;
  }
  return std::string();
}

std::string StripTrailingChar(char c, const std::string& text) {
  std::size_t end = text.size();
  while (end > 0 && text[end - 1] == c) --end;
  return text.substr(0, end);
}

bool SplitKeySpec(const std::string& keySpec, std::uint32_t& rootKey, std::string& subKeyPath,
                  std::string& valueName) {
  rootKey = 0;
  subKeyPath.clear();
  valueName.clear();
  const std::string spec = StripTrailingChar('\\', Trim(keySpec));
  const std::size_t first = spec.find('\\');
  if (first == std::string::npos) return false;
  const std::uint32_t root = LookupRootKey(spec.substr(0, first));
  if (root == 0) return false;
  const std::size_t last = spec.rfind('\\');
  rootKey = root;
  subKeyPath = spec.substr(first + 1, last - first);
  valueName = spec.substr(last + 1);
  return true;
}

void SplitLabel(const std::string& keyLine, std::string& label, std::string& keySpec) {
  const std::size_t equals = keyLine.find('=');
  label = equals == std::string::npos ? std::string() : keyLine.substr(0, equals);
  keySpec = equals == std::string::npos ? keyLine : keyLine.substr(equals + 1);
}

std::string KeyTimeField(bool known, std::uint64_t lastWrite) {
  return (known ? FormatKeyTime(lastWrite) : std::string(kNoKeyTime)) + " ";
}

bool ComposeResultLine(const std::string& keyLine, const TRunSettings& settings,
                       std::string& resultLine) {
  resultLine = settings.ListMode ? keyLine : std::string();
  std::string label;
  std::string keySpec;
  SplitLabel(keyLine, label, keySpec);
  std::uint32_t root = 0;
  std::string subKeyPath;
  std::string valueName;
  if (!keySpec.empty() && SplitKeySpec(keySpec, root, subKeyPath, valueName)) {
    const std::string text = ReadValueAsText(root, subKeyPath, valueName, std::string());
    if (!settings.ShowValueName) {
      resultLine = text;
    } else if (!label.empty()) {
      resultLine = label + "= " + text;
    } else {
      resultLine = valueName + "=" + text;
    }
    if (settings.KeyTimes && (settings.ListMode || !resultLine.empty())) {
      platform::RegKeyInfo info;
      const bool known = ReadKeyInfo(root, subKeyPath, info);
      resultLine = KeyTimeField(known, info.lastWrite) + resultLine;
    }
  }
  return settings.ListMode || !resultLine.empty();
}
