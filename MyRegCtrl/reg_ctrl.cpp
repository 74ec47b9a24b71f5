#include "MyRegCtrl/reg_ctrl.h"

#include "Platform/beep.h"
#include "Platform/codepage.h"

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

// UTF-16LE data in the ANSI code page, as RegQueryValueExA delivers a
// string type's data; an odd trailing byte is dropped.
std::string NarrowedText(const std::string& data) {
  std::u16string units(data.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                     static_cast<unsigned char>(data[2 * i + 1]) << 8);
  }
  return platform::WideToAnsi(units);
}

std::uint64_t LittleEndian(const std::string& data) {
  std::uint64_t number = 0;
  for (std::size_t i = data.size(); i-- > 0;) {
    number = number << 8 | static_cast<unsigned char>(data[i]);
  }
  return number;
}

}  // namespace

// The list's strings joined by CR LF. The list ends with its own NUL after
// the last string's; either may be missing, and no string is lost when it is.
std::string JoinMultiString(const std::uint8_t* bytes, std::size_t size) {
  std::string result;
  std::size_t end = size;
  for (int i = 0; i < 2 && end > 0 && bytes[end - 1] == 0; ++i) --end;
  for (std::size_t i = 0; i < end; ++i) {
    if (bytes[i] == 0) {
      result += "\r\n";
    } else {
      result += static_cast<char>(bytes[i]);
    }
  }
  return result;
}

std::string ReadMultiStringValue(TRegistry& registry, const std::string& valueName) {
  const std::int32_t size = registry.QueryValueSize(valueName);
  if (size <= 0) return std::string();
  TByteBuffer buffer(static_cast<std::size_t>(size));
  registry.ReadBytes(valueName, buffer.data(), size);
  return JoinMultiString(buffer.data(), buffer.size());
}

std::string RenderValueText(std::uint32_t type, const std::string& data) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
  switch (DecodeValueType(type)) {
    case TValueKind::vkString:
    case TValueKind::vkExpandString: {
      const std::string text = NarrowedText(data);
      return text.substr(0, text.find('\0'));
    }
    case TValueKind::vkDWord:
      // Read into a cleared number: a short value fills part of it, and a
      // longer one does not fit.
      return data.size() > 4 ? std::string()
                             : SignedDecimal(static_cast<std::int32_t>(LittleEndian(data)));
    case TValueKind::vkQWord:
      return data.size() > 8 ? std::string()
                             : SignedDecimal(static_cast<std::int64_t>(LittleEndian(data)));
    case TValueKind::vkBinary:
      return data.size() > static_cast<std::size_t>(kBinaryLimit) ? std::string()
                                                                  : HexDigits(bytes, data.size());
    case TValueKind::vkMultiString: {
      const std::string text = NarrowedText(data);
      return JoinMultiString(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    }
    case TValueKind::vkUnknown:
      platform::Beep();
      return std::string();
    default:
      return std::string();
  }
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
