#include "MyRegistry/registry.h"

#include <cstring>
#include <vector>

namespace {

// "Type de données incorrect pour '%s'"
const char kBadTypeMessage[] =
    "Type de donn\xE9"
    "es incorrect pour '%s'";
// "Echec à l'obtention des données pour '%s'"
const char kFetchMessage[] =
    "Echec \xE0 l'obtention des donn\xE9"
    "es pour '%s'";

std::string Format(const char* pattern, const std::string& name) {
  std::string text = pattern;
  text.replace(text.find("%s"), 2, name);
  return text;
}

constexpr std::uint32_t kLastKnownType = 11;  // REG_QWORD

}  // namespace

TValueKind DecodeValueType(std::uint32_t typeCode) {
  if (typeCode > kLastKnownType) return TValueKind::vkUnknown;
  // The members after vkUnknown follow the type codes 0 to 11 in order.
  return static_cast<TValueKind>(typeCode + 1);
}

bool IsRelativePath(const std::string& path) { return path.empty() || path[0] != '\\'; }

void RaiseBadValueType(const std::string& valueName) {
  throw ERegistryException(Format(kBadTypeMessage, valueName));
}

TRegistry::TRegistry() { SelectRoot(RootKeyHandleOf(kHkeyCurrentUser)); }

TRegistry::~TRegistry() { LeaveKey(); }

void TRegistry::SelectRoot(platform::RegKey root) {
  if (root == rootKeyHandle_) return;
  if (ownsRootKey_) {
    platform::CloseRegKey(rootKeyHandle_);
    ownsRootKey_ = false;
  }
  rootKeyHandle_ = root;
  LeaveKey();
}

void TRegistry::LeaveKey() {
  if (openKeyHandle_ == 0) return;
  if (!lazyFlush_) platform::FlushRegKey(openKeyHandle_);
  platform::CloseRegKey(openKeyHandle_);
  openKeyHandle_ = 0;
  openKeyPath_.clear();
}

void TRegistry::AdoptKey(platform::RegKey key, const std::string& path) {
  LeaveKey();
  openKeyHandle_ = key;
  openKeyPath_ = path;
}

platform::RegKey TRegistry::BaseKeyFor(bool relative) const {
  return openKeyHandle_ != 0 && relative ? openKeyHandle_ : rootKeyHandle_;
}

bool TRegistry::EnterKey(const std::string& path, bool canCreate) {
  std::string s = path;
  const bool relative = IsRelativePath(s);
  if (!relative) s.erase(0, 1);
  const platform::RegKey base = BaseKeyFor(relative);
  platform::RegKey key = 0;
  const platform::RegStatus status = canCreate && !s.empty()
                                         ? platform::CreateRegKey(base, s, accessMask_, &key)
                                         : platform::OpenRegKey(base, s, accessMask_, &key);
  if (status != platform::kRegSuccess) return false;
  if (openKeyHandle_ != 0 && relative) s = openKeyPath_ + "\\" + s;
  AdoptKey(key, s);
  return true;
}

bool TRegistry::QueryValueInfo(const std::string& name, TValueInfo& info) {
  info = TValueInfo();
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  const platform::RegStatus status =
      platform::QueryRegValue(openKeyHandle_, name, &type, nullptr, &size);
  info.Size = static_cast<std::int32_t>(size);
  info.Kind = DecodeValueType(type);
  return status == platform::kRegSuccess;
}

std::int32_t TRegistry::QueryValueSize(const std::string& name) {
  TValueInfo info;
  return QueryValueInfo(name, info) ? info.Size : -1;
}

bool TRegistry::HasValue(const std::string& name) {
  TValueInfo info;
  return QueryValueInfo(name, info);
}

std::int32_t TRegistry::FetchValue(const std::string& name, void* buffer, std::int32_t bufferSize,
                                   TValueKind& kind) {
  std::uint32_t type = 0;
  std::uint32_t count = static_cast<std::uint32_t>(bufferSize);
  if (platform::QueryRegValue(openKeyHandle_, name, &type, buffer, &count) !=
      platform::kRegSuccess) {
    throw ERegistryException(Format(kFetchMessage, name));
  }
  kind = DecodeValueType(type);
  return static_cast<std::int32_t>(count);
}

std::string TRegistry::ReadText(const std::string& name) {
  const std::int32_t len = QueryValueSize(name);
  if (len <= 0) return std::string();
  std::vector<char> buffer(static_cast<std::size_t>(len));
  TValueKind kind;
  const std::int32_t count = FetchValue(name, buffer.data(), len, kind);
  if (kind != TValueKind::vkString && kind != TValueKind::vkExpandString) {
    RaiseBadValueType(name);
  }
  const char* data = buffer.data();
  const void* nul = std::memchr(data, 0, static_cast<std::size_t>(count));
  return std::string(data, nul != nullptr ? static_cast<const char*>(nul) : data + count);
}

std::int32_t TRegistry::ReadDWord(const std::string& name) {
  // Cleared first: a short value fills only part of the number.
  std::int32_t number = 0;
  TValueKind kind;
  FetchValue(name, &number, sizeof number, kind);
  if (kind != TValueKind::vkDWord) RaiseBadValueType(name);
  return number;
}

std::int64_t TRegistry::ReadQWord(const std::string& name) {
  std::int64_t number = 0;
  TValueKind kind;
  FetchValue(name, &number, sizeof number, kind);
  if (kind != TValueKind::vkQWord) RaiseBadValueType(name);
  return number;
}

std::int32_t TRegistry::ReadBytes(const std::string& name, void* buffer, std::int32_t bufferSize) {
  TValueInfo info;
  if (!QueryValueInfo(name, info)) return 0;
  const bool accepted = info.Kind == TValueKind::vkBinary || info.Kind == TValueKind::vkUnknown ||
                        info.Kind == TValueKind::vkMultiString;
  if (!accepted || info.Size > bufferSize) RaiseBadValueType(name);
  TValueKind kind;
  FetchValue(name, buffer, info.Size, kind);
  return info.Size;
}
