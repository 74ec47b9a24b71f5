// A small accessor over the registry: one root, at most one open key, and
// typed reads that raise ERegistryException.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Base/exception.h"
#include "Platform/registry.h"

class ERegistryException : public Exception {
 public:
  using Exception::Exception;
};

enum class TValueKind : std::uint8_t {
  vkUnknown,
  vkNone,
  vkString,
  vkExpandString,
  vkBinary,
  vkDWord,
  vkDWordBigEndian,
  vkLink,
  vkMultiString,
  vkResourceList,
  vkFullResourceDescriptor,
  vkResourceRequirementsList,
  vkQWord,
};

struct TValueInfo {
  TValueKind Kind = TValueKind::vkUnknown;
  std::int32_t Size = 0;
};

// The predefined roots, as their 32-bit handle values.
constexpr std::uint32_t kHkeyClassesRoot = 0x80000000;
constexpr std::uint32_t kHkeyCurrentUser = 0x80000001;
constexpr std::uint32_t kHkeyLocalMachine = 0x80000002;
constexpr std::uint32_t kHkeyUsers = 0x80000003;
constexpr std::uint32_t kHkeyPerformanceData = 0x80000004;
constexpr std::uint32_t kHkeyCurrentConfig = 0x80000005;
constexpr std::uint32_t kHkeyDynData = 0x80000006;

constexpr std::uint32_t kKeyAllAccess = 0xF003F;
constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kKeyWow64_64Key = 0x0100;

// A root's handle value as the platform takes it: sign-extended, as
// Windows defines the predefined keys.
inline platform::RegKey RootKeyHandleOf(std::uint32_t root) {
  return static_cast<platform::RegKey>(static_cast<std::intptr_t>(static_cast<std::int32_t>(root)));
}

TValueKind DecodeValueType(std::uint32_t typeCode);
bool IsRelativePath(const std::string& path);
[[noreturn]] void RaiseBadValueType(const std::string& valueName);

class TRegistry {
 public:
  TRegistry();
  virtual ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  void SelectRoot(platform::RegKey root);
  void LeaveKey();
  void AdoptKey(platform::RegKey key, const std::string& path);
  platform::RegKey BaseKeyFor(bool relative) const;
  bool EnterKey(const std::string& path, bool canCreate);

  bool QueryValueInfo(const std::string& name, TValueInfo& info);
  std::int32_t QueryValueSize(const std::string& name);
  bool HasValue(const std::string& name);
  std::int32_t FetchValue(const std::string& name, void* buffer, std::int32_t bufferSize,
                          TValueKind& kind);

  std::string ReadText(const std::string& name);
  std::int32_t ReadDWord(const std::string& name);
  std::int64_t ReadQWord(const std::string& name);
  std::int32_t ReadBytes(const std::string& name, void* buffer, std::int32_t bufferSize);

  platform::RegKey OpenKeyHandle() const { return openKeyHandle_; }
  platform::RegKey RootKeyHandle() const { return rootKeyHandle_; }
  const std::string& OpenKeyPath() const { return openKeyPath_; }
  bool LazyFlush() const { return lazyFlush_; }
  void SetLazyFlush(bool lazy) { lazyFlush_ = lazy; }
  std::uint32_t AccessMask() const { return accessMask_; }
  void SetAccessMask(std::uint32_t mask) { accessMask_ = mask; }

 private:
  platform::RegKey openKeyHandle_ = 0;
  platform::RegKey rootKeyHandle_ = 0;
  bool lazyFlush_ = true;
  std::string openKeyPath_;
  bool ownsRootKey_ = false;
  std::uint32_t accessMask_ = kKeyAllAccess;
};
