#include "MyRegCtrl/reg_ctrl.h"

#include "Platform/beep.h"

namespace {

std::string SignedDecimal(std::int64_t number) { return std::to_string(number); }

std::string HexDigits(const std::uint8_t* bytes, std::size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(2 * count);
  for (std::size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

}  // namespace

std::string ReadMultiStringValue(TRegistry& registry, const std::string& valueName) {
  std::string result;
  const std::int32_t size = registry.QueryValueSize(valueName);
  if (size <= 0) return result;
  TByteBuffer buffer(static_cast<std::size_t>(size));
  registry.ReadBytes(valueName, buffer.data(), size);
  // The list ends with its own NUL after the last string's; either may be
  // missing, and no string is lost when it is.
  std::size_t end = buffer.size();
  for (int i = 0; i < 2 && end > 0 && buffer[end - 1] == 0; ++i) --end;
  for (std::size_t i = 0; i < end; ++i) {
    if (buffer[i] == 0) {
      result += "\r\n";
    } else {
      result += static_cast<char>(buffer[i]);
    }
  }
  return result;
}

std::string ReadValueAsText(std::uint32_t root, const std::string& keyPath,
                            const std::string& valueName, const std::string& defaultText) {
  std::string result = defaultText;
  try {
    TRegistry registry;
    registry.SelectRoot(RootKeyHandleOf(root));
    // Read access to the 64-bit view, also from a 32-bit process.
    registry.SetAccessMask(kKeyRead | kKeyWow64_64Key);
    if (!registry.EnterKey(keyPath, false)) return result;
    if (!registry.HasValue(valueName)) return result;
    TValueInfo info;
    if (!registry.QueryValueInfo(valueName, info)) return result;
    switch (info.Kind) {
      case TValueKind::vkString:
      case TValueKind::vkExpandString:
        result = registry.ReadText(valueName);
        break;
      case TValueKind::vkDWord:
        result = SignedDecimal(registry.ReadDWord(valueName));
        break;
      case TValueKind::vkQWord:
        result = SignedDecimal(registry.ReadQWord(valueName));
        break;
      case TValueKind::vkBinary: {
        std::uint8_t bytes[kBinaryLimit];
        const std::uint8_t count =
            static_cast<std::uint8_t>(registry.ReadBytes(valueName, bytes, kBinaryLimit));
        result = HexDigits(bytes, count);
        break;
      }
      case TValueKind::vkMultiString:
        result.clear();
        result = ReadMultiStringValue(registry, valueName);
        break;
      case TValueKind::vkUnknown:
        platform::Beep();
        break;
      default:
        break;
    }
  } catch (...) {
    // An unreadable value is the default; the caller never sees why.
  }
  return result;
}
